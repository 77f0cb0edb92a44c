// The farthest baseline of the start-up benchmark: a bare Qt main window of the same size,
// built in the same tree with the same Qt.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(502, 434);
    window.show();
    return app.exec();
}
