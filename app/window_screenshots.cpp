// Writes the main window to PNG files, in English and in Chinese, so that its layout can be
// compared by eye: window-en.png, window-zh.png, window-connected-en.png, menu.png and
// icon-16/32/48.png in the folder given as the only argument.
#include "app/app_icon.h"
#include "app/board_view.h"
#include "app/form1.h"
#include "app/wrapping_button.h"
#include "link/protocol.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTimer>
#include <cstdio>

namespace {

bool save(const QPixmap &pixmap, const QDir &folder, const QString &name)
{
    const QString path = folder.filePath(name);
    if (!pixmap.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

QPixmap settled(QWidget *widget)
{
    QApplication::processEvents();
    return widget->grab();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window-screenshots FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;

    TForm1 window;
    window.show();
    window.Timer2Timer();
    // A few readings of both models, as a download would leave them.
    const analyzer::AnalyzerRecord records[] = {
        {7, 5, 567, 4123}, {12, 0, 12345, 1234}, {1, 6, 300, 3700}, {2, 7, 5, 12345},
        {18, 3, 65535, 0},
    };
    for (const auto &record : records)
        window.board().AppendLine(
            analyzer::decodeRecord(analyzer::encodeRecord(record), true).line);
    window.Memo1->flushAppended();

    bool ok = save(settled(&window), folder, QStringLiteral("window-en.png"));
    window.N1Click();
    ok &= save(settled(&window), folder, QStringLiteral("window-zh.png"));
    window.English1Click();
    // The buttons as a Connect leaves them; no analyzer is needed for a picture.
    window.Button1->setEnabled(false);
    for (QPushButton *button :
         {window.Button2, static_cast<QPushButton *>(window.Button14), static_cast<QPushButton *>(window.Button4)})
        button->setEnabled(true);
    ok &= save(settled(&window), folder, QStringLiteral("window-connected-en.png"));
    window.N1Click();
    ok &= save(settled(&window), folder, QStringLiteral("window-connected-zh.png"));

    window.Language1->popup(window.mapToGlobal(QPoint(0, 20)));
    ok &= save(settled(window.Language1), folder, QStringLiteral("menu.png"));
    window.Language1->close();

    for (const int size : {16, 32, 48})
        ok &= save(app::appIconPixmap(size), folder, QStringLiteral("icon-%1.png").arg(size));
    return ok ? 0 : 1;
}
