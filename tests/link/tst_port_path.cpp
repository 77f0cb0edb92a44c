// COM numbers to devices through the port folder.
#include "link/port_path.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestPortPath : public QObject {
    Q_OBJECT
private slots:
    void folderFollowsConfigHome_data();
    void folderFollowsConfigHome();
    void device_data();
    void device();

private:
    QTemporaryDir home_;
};

void TestPortPath::folderFollowsConfigHome_data()
{
    QTest::addColumn<QByteArray>("configHome"); // "-" leaves it unset
    QTest::addColumn<QString>("expected"); // %1: the home folder
    QTest::newRow("set") << QByteArray("/srv/cfg") << "/srv/cfg/battery-analyzer/ports";
    QTest::newRow("unset") << QByteArray("-") << "%1/.config/battery-analyzer/ports";
    QTest::newRow("empty") << QByteArray("") << "%1/.config/battery-analyzer/ports";
    QTest::newRow("relative, so ignored")
        << QByteArray("cfg") << "%1/.config/battery-analyzer/ports";
}

void TestPortPath::folderFollowsConfigHome()
{
    QFETCH(QByteArray, configHome);
    QFETCH(QString, expected);
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home_.path().toLocal8Bit());
    if (configHome == "-")
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", configHome);
    const QString folder = analyzer::portFolder();
    qputenv("XDG_CONFIG_HOME", saved);
    qputenv("HOME", savedHome);
    QCOMPARE(folder, expected.contains("%1") ? expected.arg(home_.path()) : expected);
}

void TestPortPath::device_data()
{
    QTest::addColumn<QString>("entry"); // what com3 is in the port folder; empty: none
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("expected"); // %1: the port folder
    QTest::newRow("no entry: COM 3 is ttyS2") << QString() << 3 << "/dev/ttyS2";
    QTest::newRow("no entry: COM 1 is ttyS0") << QString() << 1 << "/dev/ttyS0";
    QTest::newRow("no entry: COM 255 is ttyS254") << QString() << 255 << "/dev/ttyS254";
    QTest::newRow("link to a device") << "link:/dev/null" << 3 << "%1/com3";
    QTest::newRow("link to a missing device") << "link:/dev/ttyUSB-gone" << 3 << "%1/com3";
    QTest::newRow("a file of its own") << "file" << 3 << "%1/com3";
    QTest::newRow("another port's entry") << "link:/dev/null" << 4 << "/dev/ttyS3";
}

void TestPortPath::device()
{
    QFETCH(QString, entry);
    QFETCH(int, port);
    QFETCH(QString, expected);
    const QString folder = analyzer::portFolder();
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    if (entry.startsWith("link:"))
        QVERIFY(QFile::link(entry.mid(5), folder + "/com3"));
    else if (entry == "file")
        QVERIFY(QFile(folder + "/com3").open(QIODevice::WriteOnly));
    QCOMPARE(analyzer::portDevicePath(port),
             expected.contains("%1") ? expected.arg(folder) : expected);
}

QTEST_GUILESS_MAIN(TestPortPath)
#include "tst_port_path.moc"
