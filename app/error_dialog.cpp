#include "app/error_dialog.h"

#include "app/link_faults.h"
#include "app/program_title.h"
#include "core/error.h"
#include "link/errors.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace app {

QString withFinalPeriod(const QString &message)
{
    // Every non-ASCII character starts with a byte of 0x80 or more in GBK and in UTF-8, as
    // does a lone surrogate half, so the code unit itself decides.
    if (!message.isEmpty() && message.back().unicode() > 0x2E)
        return message + u'.';
    return message;
}

void showErrorDialog(const QString &message)
{
    // A grab left by a pressed button or an open drop-down list would keep the box from
    // getting the mouse.
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    while (QWidget *popup = QApplication::activePopupWidget()) {
        popup->close();
        if (QApplication::activePopupWidget() == popup)
            break;
    }

    QMessageBox box(QMessageBox::Critical, programTitle(), withFinalPeriod(message),
                    QMessageBox::Ok, QApplication::activeWindow());
    // Messages carry file names, device paths and what the user typed: never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void runHandler(const std::function<void()> &handler) noexcept
{
    try {
        handler();
    } catch (const analyzer::LinkError &error) {
        showErrorDialog(linkFaultText(error.fault()));
    } catch (const core::Error &error) {
        showErrorDialog(error.message());
    } catch (const std::exception &error) {
        showErrorDialog(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace app
