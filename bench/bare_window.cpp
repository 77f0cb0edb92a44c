// The baselines of the start-up benchmark: a bare Qt main window of the same size, built in
// the same tree with the same Qt; and the same window with one menu caption and one label,
// which is what any window that shows the program's texts pays for the font system
// (fontconfig's set-up and a Latin and a Chinese font).
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("bare window"));
#ifdef BARE_WINDOW_WITH_TEXT
    window.menuBar()->addMenu(QString::fromUtf8("\u8BED\u8A00(Language)"));
    window.setCentralWidget(new QLabel(QStringLiteral("Connect")));
#endif
    window.resize(502, 434);
    window.show();
    return app.exec();
}
