// The least a Qt Core program does to turn one file into another: start Qt, read the file,
// write its bytes. What a one-line convert of the tool is weighed against at start-up.
#include <QCoreApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    QFile in(QString::fromLocal8Bit(argv[1]));
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return 1;
    return out.write(in.readAll()) < 0 ? 1 : 0;
}
