// Pictures drawn by the program itself, for its developers, on Qt's offscreen platform:
//   window-pictures screenshots FOLDER   the main window in English and in Chinese, to compare
//       its layout by eye: window-en.png, window-zh.png, window-connected-en.png,
//       window-connected-zh.png, menu.png and icon-16/32/48.png
//   window-pictures icons FOLDER         the icon for the desktop's icon theme, from the same
//       drawing the window uses: 16.png, 32.png and 48.png (app/icons after it changed)
#include "app/app_icon.h"
#include "app/form1.h"
#include "app/wrapping_button.h"
#include "boardview/board_view.h"
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

bool writeIcons(const QDir &folder)
{
    bool ok = true;
    for (const int size : {16, 32, 48})
        ok &= save(app::appIconPixmap(size), folder, QStringLiteral("%1.png").arg(size));
    return ok;
}

bool writeScreenshots(const QDir &folder)
{
    TForm1 window;
    window.show();
    window.Timer2Timer();
    // A few readings of both models, as a download would leave them.
    const analyzer::AnalyzerRecord records[] = {
        {7, 5, 567, 4123}, {12, 0, 12345, 1234}, {1, 6, 300, 3700},
        {2, 7, 5, 12345},  {18, 3, 65535, 0},
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
    for (QPushButton *button : {window.Button2, static_cast<QPushButton *>(window.Button14),
                                static_cast<QPushButton *>(window.Button4)})
        button->setEnabled(true);
    ok &= save(settled(&window), folder, QStringLiteral("window-connected-en.png"));
    window.N1Click();
    ok &= save(settled(&window), folder, QStringLiteral("window-connected-zh.png"));

    window.Language1->popup(window.mapToGlobal(QPoint(0, 20)));
    ok &= save(settled(window.Language1), folder, QStringLiteral("menu.png"));
    window.Language1->close();

    for (const int size : {16, 32, 48})
        ok &= save(app::appIconPixmap(size), folder, QStringLiteral("icon-%1.png").arg(size));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString what = argc == 3 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (what != u"screenshots" && what != u"icons") {
        std::fprintf(stderr, "usage: window-pictures screenshots|icons FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "window-pictures: cannot create %s\n", argv[2]);
        return 1;
    }
    const bool ok = what == u"icons" ? writeIcons(folder) : writeScreenshots(folder);
    return ok ? 0 : 1;
}
