#include "app/startup.h"

#include "app/program_title.h"
#include "app/screen_centre.h"
#include "core/error.h"

#include <QApplication>
#include <QMessageBox>

#include <dlfcn.h>
#include <memory>

namespace app {
namespace {

// Where in the program the failure was caught, as an offset into the executable.
[[gnu::noinline]] quintptr callerOffset()
{
    void *address = __builtin_extract_return_addr(__builtin_return_address(0));
    Dl_info info{};
    if (dladdr(address, &info) != 0 && info.dli_fbase != nullptr)
        return quintptr(address) - quintptr(info.dli_fbase);
    return quintptr(address);
}

void showStartupFailure(const QString &kind, const QString &message, quintptr address)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Application Error"),
                    startupFailureText(kind, programFileName(), address, message), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

QString startupFailureText(const QString &kind, const QString &module, quintptr address,
                           const QString &message)
{
    const QString where =
        QStringLiteral("Exception %1 in module %2 at %3.")
            .arg(kind, module,
                 QStringLiteral("%1").arg(address, 8, 16, QLatin1Char('0')).toUpper());
    return where + u'\n' + (message.endsWith(u'.') ? message : message + u'.');
}

int runApplication(const TForm1::CommFactory &makeComm)
{
    std::unique_ptr<TForm1> window;
    try {
        window = std::make_unique<TForm1>(makeComm);
    } catch (const core::Error &error) {
        showStartupFailure(core::errorClassName(error), error.message(), callerOffset());
        return 1;
    } catch (const std::exception &error) {
        showStartupFailure(core::errorClassName(error), QString::fromLocal8Bit(error.what()),
                           callerOffset());
        return 1;
    }
    centreOnScreen(window.get());
    window->show();
    return QApplication::exec();
}

} // namespace app
