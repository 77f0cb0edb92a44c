// Connect, Disconnect, Download, Clear Memory and receive, over a pseudo-terminal.
#include "link/errors.h"
#include "link/protocol.h"
#include "link_rig.h"
#include "pty_device.h"

#include <QtTest>

#include <ctime>

using namespace sample;

namespace {

const QStringList kToConnected{"Connect off", "Disconnect on", "ClearMemory on", "Download on"};
const QStringList kToDisconnected{"Connect on", "Disconnect off", "ClearMemory off", "Download off"};

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void init() { clearTestPortFolder(); }

    void connect_data();
    void connect();
    void connectRefused_data();
    void connectRefused();
    void connectOnOpenPort_data();
    void connectOnOpenPort();
    void disconnect();
    void downloadTwiceAndClearMemory();
    void receive_data();
    void receive();
    void recordArrivesWhileNoDataBoxIsOpen();
    void deviceVanishesMidDownload();
};

void TestConnection::connect_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("3") << "3" << 3;
    QTest::newRow("blank before the digits") << " 3" << 3;
    QTest::newRow("$A is COM 10") << "$A" << 10;
}

void TestConnection::connect()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    PtyDevice device;
    device.linkAs(port);
    Rig rig;
    rig.view.port = text;
    rig.connection.connectClicked();
    QCOMPARE(device.received(2), QByteArray("SE"));
    QCOMPARE(rig.view.buttonChanges, kToConnected);
    QVERIFY(rig.comm.PortOpen());
    QCOMPARE(rig.comm.CommPort(), short(port));
}

void TestConnection::connectRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("blank after the digits") << "3 " << "'3 ' is not a valid integer value";
    QTest::newRow("empty") << "" << "'' is not a valid integer value";
    QTest::newRow("65537 does not wrap to COM 1")
        << "65537" << "Invalid port number 65537: COM ports are numbered 1 to 255";
    QTest::newRow("0") << "0" << "Invalid port number 0: COM ports are numbered 1 to 255";
    QTest::newRow("-1") << "-1" << "Invalid port number -1: COM ports are numbered 1 to 255";
    QTest::newRow("256") << "256" << "Invalid port number 256: COM ports are numbered 1 to 255";
}

void TestConnection::connectRefused()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    // COM 1 and COM 3 lead to the device, so a number that wrapped or a text cut short
    // would reach it.
    PtyDevice device;
    device.linkAs(1);
    device.linkAs(3);
    Rig rig;
    rig.view.port = text;
    rig.run([&] { rig.connection.connectClicked(); });
    QCOMPARE(rig.errors, QStringList{message});
    QVERIFY(rig.view.buttonChanges.isEmpty());
    QVERIFY(!rig.comm.PortOpen());
    QCOMPARE(device.received(0, 0), QByteArray());
}

void TestConnection::connectOnOpenPort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message"); // empty: the Connect completes
    QTest::newRow("same number") << "3" << "";
    QTest::newRow("another number") << "4"
                                    << "COM 4 cannot be chosen while COM 3 ({pty}) is open; "
                                       "disconnect first";
}

void TestConnection::connectOnOpenPort()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    PtyDevice device;
    device.linkAs(3);
    device.linkAs(4);
    Rig rig;
    // What a Connect leaves behind when it opened the port and then failed at its command.
    rig.comm.setCommPort(3);
    rig.comm.setPortOpen(true);

    rig.view.port = text;
    rig.run([&] { rig.connection.connectClicked(); });
    QVERIFY(rig.comm.PortOpen());
    QCOMPARE(rig.comm.CommPort(), short(3));
    if (message.isEmpty()) {
        QVERIFY(rig.errors.isEmpty());
        QCOMPARE(device.received(2), QByteArray("SE"));
        QCOMPARE(rig.view.buttonChanges, kToConnected);
    } else {
        QCOMPARE(rig.errors, QStringList{QString(message).replace("{pty}", device.path())});
        QCOMPARE(device.received(0, 0), QByteArray());
        QVERIFY(rig.view.buttonChanges.isEmpty());
    }
}

void TestConnection::disconnect()
{
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.connection.connectClicked();
    rig.connection.disconnectClicked();
    QCOMPARE(device.received(4), QByteArray("SEST"));
    QVERIFY(!rig.comm.PortOpen());
    QCOMPARE(rig.view.buttonChanges, kToConnected + kToDisconnected);
}

void TestConnection::downloadTwiceAndClearMemory()
{
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.connection.connectClicked();
    QCOMPARE(device.received(2), QByteArray("SE"));

    rig.connection.downloadClicked();
    QCOMPARE(device.received(2), QByteArray("SK"));
    device.send(kRecord7);
    QTRY_COMPARE(rig.lines(), 1);

    rig.connection.downloadClicked();
    QCOMPARE(device.received(2), QByteArray("SK"));
    device.send(kRecord12);
    QTRY_COMPARE(rig.lines(), 2);
    QCOMPARE(rig.board.text(), boardText({kLine7, kLine12}));

    rig.connection.clearMemoryClicked();
    QCOMPARE(device.received(2), QByteArray("SU"));
    QCOMPARE(rig.board.text(), boardText({kLine7, kLine12}));
    QCOMPARE(rig.view.buttonChanges, kToConnected);
    QVERIFY(rig.errors.isEmpty());
}

void TestConnection::receive_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<bool>("rm40a");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("noData");
    using L = QList<QByteArray>;
    QTest::newRow("one record") << L{kRecord7} << true << L{kLine7} << 0;
    QTest::newRow("RM-40B selected") << L{kRecord7} << false << L{kLine7OtherModel} << 0;
    QTest::newRow("twelve bytes at once give two lines")
        << L{kRecord7 + kRecord12} << true << L{kLine7, kLine12} << 0;
    QTest::newRow("no-data reply") << L{kNoData} << true << L{} << 1;
}

void TestConnection::receive()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, rm40a);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, noData);
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.view.rm40a = rm40a;
    rig.connectAndDownload();

    for (const QByteArray &piece : pieces) {
        device.send(piece);
        QTest::qWait(30);
    }
    QTRY_COMPARE(rig.lines() + rig.view.noDataShown, lines.size() + noData);
    QTest::qWait(50);
    QCOMPARE(rig.board.text(), boardText(lines));
    QCOMPARE(rig.view.noDataShown, noData);
    QCOMPARE(rig.connection.lastReceivedBlock(), pieces.join().right(6));
    QVERIFY(rig.errors.isEmpty());
}

void TestConnection::recordArrivesWhileNoDataBoxIsOpen()
{
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.connectAndDownload();

    qsizetype linesWhileBoxOpen = -1;
    QByteArray blockWhileBoxOpen;
    rig.view.whileNoDataShown = [&] {
        // The box's own event loop, as a modal box runs one.
        QEventLoop box;
        QObject::connect(&rig.board, &board::DataBoard::appended, &box, &QEventLoop::quit);
        QTimer::singleShot(3000, &box, &QEventLoop::quit);
        device.send(kRecord12);
        box.exec();
        linesWhileBoxOpen = rig.lines();
        blockWhileBoxOpen = rig.connection.lastReceivedBlock();
    };
    device.send(kNoData);
    QTRY_COMPARE(rig.view.noDataShown, 1);
    QTRY_VERIFY(linesWhileBoxOpen >= 0);

    QCOMPARE(linesWhileBoxOpen, 1);
    QCOMPARE(blockWhileBoxOpen, kRecord12);
    QCOMPARE(rig.board.text(), boardText({kLine12}));
    QCOMPARE(rig.connection.lastReceivedBlock(), kRecord12);
    QVERIFY(rig.errors.isEmpty());
}

void TestConnection::deviceVanishesMidDownload()
{
    auto device = std::make_unique<PtyDevice>();
    device->linkAs(3);
    const QString path = device->path();
    Rig rig;
    rig.connectAndDownload();
    device->send(kRecord7 + kRecord12.left(4));
    QTRY_COMPARE(rig.lines(), 1);

    device->vanish();
    QTRY_VERIFY(!rig.comm.PortOpen());
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(500);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpuUsed < 0.1, qPrintable(QStringLiteral("%1 s of CPU while idle").arg(cpuUsed)));
    QVERIFY(rig.errors.isEmpty());
    QCOMPARE(rig.view.buttonChanges, kToConnected);

    // Disconnect cannot send its command, yet returns to Disconnected before it reports.
    rig.run([&] { rig.connection.disconnectClicked(); });
    QCOMPARE(rig.errors, QStringList{QStringLiteral("COM 3 is not open: its device %1 went away; "
                                                    "connect again once the analyzer is back")
                                         .arg(path)});
    QCOMPARE(rig.view.buttonChanges, kToConnected + kToDisconnected);

    PtyDevice back;
    back.linkAs(3);
    rig.connection.connectClicked();
    QCOMPARE(back.received(2), QByteArray("SE"));
    QCOMPARE(rig.view.buttonChanges, kToConnected + kToDisconnected + kToConnected);
    QCOMPARE(rig.board.text(), boardText({kLine7}));
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
