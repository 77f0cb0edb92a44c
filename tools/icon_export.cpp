// Writes the program's icon as PNG files of 16, 32 and 48 pixels for the desktop's icon
// theme, from the same drawing the window uses.
//   icon-export FOLDER      writes FOLDER/16.png, FOLDER/32.png and FOLDER/48.png
#include "app/app_icon.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: icon-export FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "icon-export: cannot create %s\n", argv[1]);
        return 1;
    }
    for (int size : {16, 32, 48}) {
        const QString file = folder.filePath(QStringLiteral("%1.png").arg(size));
        if (!app::appIconPixmap(size).save(file, "PNG")) {
            std::fprintf(stderr, "icon-export: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
