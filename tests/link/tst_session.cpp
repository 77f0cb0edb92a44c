// The analyzer session over a pseudo-terminal: commands out, readings and faults in.
#include "files.h"
#include "line_faults.h"
#include "link/errors.h"
#include "link/protocol.h"
#include "link_rig.h"
#include "pty_device.h"

#include <QtTest>

using namespace sample;

namespace {

// A line from the analyzer's side as a test script step: "send HEX", "wait MS",
// "download", "echo" (the adapter hands back the command just written).
using Script = QStringList;

} // namespace

Q_DECLARE_METATYPE(linefault::Delivery)

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void init() { clearTestPortFolder(); }

    void openOnOpenPort_data();
    void openOnOpenPort();
    void connectCommandFailsClosesThePort();
    void disconnectCommandFails_data();
    void disconnectCommandFails();
    void commandsInOrder();
    void recordsStayAligned_data();
    void recordsStayAligned();
    void lineFaultsMidDownload_data();
    void lineFaultsMidDownload();
    void downloadWaitsForAQuietLine();
    void deviceVanishesMidDownload();
};

void TestSession::openOnOpenPort_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("message"); // empty: Connect goes out
    QTest::newRow("same number") << 3 << "";
    QTest::newRow("another number")
        << 4 << "COM 4 cannot be chosen while COM 3 ({pty}) is open; disconnect first";
}

void TestSession::openOnOpenPort()
{
    QFETCH(int, port);
    QFETCH(QString, message);
    PtyDevice device;
    device.linkAs(3);
    device.linkAs(4);
    Rig rig;
    rig.comm.setCommPort(3);
    rig.comm.setPortOpen(true);

    rig.run([&] { rig.session.open(port); });
    QVERIFY(rig.session.isOpen());
    QCOMPARE(rig.comm.CommPort(), short(3));
    if (message.isEmpty()) {
        QVERIFY(rig.errors.isEmpty());
        QCOMPARE(device.received(2), QByteArray("SE"));
    } else {
        QCOMPARE(rig.errors, QStringList{QString(message).replace("{pty}", device.path())});
        QCOMPARE(device.received(0, 0), QByteArray());
    }
}

void TestSession::connectCommandFailsClosesThePort()
{
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.comm.setCommPort(3);
    rig.comm.setPortOpen(true);
    // The cable is pulled before the event loop notices: only the write finds out.
    device.vanish();
    rig.run([&] { rig.session.open(3); });
    QCOMPARE(rig.errors.size(), 1);
    QVERIFY2(rig.errors.first().startsWith("Cannot write to COM 3"),
             qPrintable(rig.errors.first()));
    QVERIFY(!rig.session.isOpen());
}

void TestSession::disconnectCommandFails_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("byPath"); // opened by its device's path, not by a COM number
    for (const bool byPath : {false, true}) {
        const QByteArray how = byPath ? ", opened by path" : "";
        QTest::newRow("line hung up, the device still there" + how) << "hang up" << byPath;
        QTest::newRow("analyzer stopped reading" + how) << "stall" << byPath;
        QTest::newRow("device pulled" + how) << "pull" << byPath;
    }
}

void TestSession::disconnectCommandFails()
{
    QFETCH(QString, fault);
    QFETCH(bool, byPath);
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    byPath ? rig.session.open(device.path()) : rig.session.open(3);
    const QString port = byPath ? device.path() : QStringLiteral("COM 3");
    QCOMPARE(device.received(2), QByteArray("SE"));
    // Each before the event loop notices: only the write finds out.
    if (fault == "pull")
        device.vanish();
    else if (fault == "stall")
        device.stall();
    else if (!device.hangUp())
        QSKIP("hanging up a terminal needs CAP_SYS_ADMIN (scripts/test runs as root)");
    rig.run([&] { rig.session.close(); });
    QCOMPARE(rig.errors.size(), 1);
    QVERIFY2(rig.errors.first().startsWith("Cannot write to " + port),
             qPrintable(rig.errors.first()));
    // A stalled line keeps its port, whichever way it was opened.
    QCOMPARE(rig.session.isOpen(), fault == "stall");
    if (fault != "stall")
        return;
    // The command that failed never goes out, not even once the line moves again.
    device.resume();
    rig.run([&] { rig.session.close(); });
    QCOMPARE(rig.errors.size(), 1);
    QVERIFY(!rig.session.isOpen());
    QCOMPARE(device.received(2), QByteArray("ST"));
    QCOMPARE(device.receivedSoFar(), QByteArray("SEST"));
}

void TestSession::commandsInOrder()
{
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.session.open(3);
    // Download goes out at once only on a line known to be quiet.
    QTest::qWait(2 * analyzer::Session::kQuietBeforeDownloadMs);
    rig.session.download();
    rig.session.download();
    rig.session.clearMemory();
    rig.session.close();
    QCOMPARE(device.received(10), QByteArray("SESKSKSUST"));
    QVERIFY(!rig.session.isOpen());
    QVERIFY(rig.errors.isEmpty());
}

void TestSession::recordsStayAligned_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<bool>("rm40a");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("noData");
    using L = QList<QByteArray>;
    const QString r7 = "send " + kRecord7.toHex(), r12 = "send " + kRecord12.toHex(),
                  r1 = "send " + kRecord1.toHex();

    QTest::newRow("one record") << Script{"download", r7} << true << L{kLine7} << 0;
    QTest::newRow("RM-40B") << Script{"download", r7} << false << L{kLine7OtherModel} << 0;
    QTest::newRow("twelve bytes give two lines")
        << Script{"download", "send " + (kRecord7 + kRecord12).toHex()} << true
        << L{kLine7, kLine12} << 0;
    QTest::newRow("a stray byte before Download")
        << Script{"send 06", "wait 50", "download", r7, r12, r1} << true
        << L{kLine7, kLine12, kLine1} << 0;
    QTest::newRow("whole records waiting are kept, their tail is not")
        << Script{"download", "send " + kRecord7.toHex() + "0c0030", "wait 50", "download", r12}
        << true << L{kLine7, kLine12} << 0;
    QTest::newRow("a record split 2+3+1 over half a second")
        << Script{"download", "send 0705", "wait 250", "send 023710", "wait 250", "send 1b"} << true
        << L{kLine7} << 0;
    QTest::newRow("two-byte no-data reply, then a download")
        << Script{"download", "send 0588", "wait 400", "download", r7} << true << L{kLine7} << 1;
    // A no-data reply with more bytes behind it is a disturbed transfer, and says nothing.
    QTest::newRow("five-byte no-data reply, a record 0.4 s later")
        << Script{"download", "send 0588000000", "wait 400", r7} << true << L{} << 0;
    QTest::newRow("six-byte no-data reply")
        << Script{"download", "send 058800000000"} << true << L{} << 1;
    QTest::newRow("seven-byte no-data reply, then a download")
        << Script{"download", "send 05880000000000", "wait 400", "download", r7} << true
        << L{kLine7} << 0;
    QTest::newRow("loopback plug: every command byte comes back")
        << Script{"echo", "download", "echo", "download", "echo", "wait 400"} << true << L{} << 0;
}

void TestSession::recordsStayAligned()
{
    QFETCH(Script, script);
    QFETCH(bool, rm40a);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, noData);
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.session.setModel(rm40a ? analyzer::AnalyzerModel::RM40A : analyzer::AnalyzerModel::RM40B);
    rig.session.open(3);
    QByteArray written = device.received(2);

    for (const QString &step : script) {
        const QString arg = step.section(' ', 1);
        if (step == "download") {
            rig.session.download();
            written = device.received(2);
        } else if (step == "echo") {
            device.send(written);
        } else if (step.startsWith("send ")) {
            device.send(QByteArray::fromHex(arg.toLatin1()));
        } else if (step.startsWith("wait ")) {
            QTest::qWait(arg.toInt());
        }
        QTest::qWait(20);
    }
    QTRY_COMPARE(rig.lines() + rig.noDataShown, lines.size() + noData);
    QTest::qWait(400);
    QCOMPARE(rig.board.text(), boardText(lines));
    QCOMPARE(rig.noDataShown, noData);
    QCOMPARE(rig.errors, QStringList());
}

void TestSession::lineFaultsMidDownload_data()
{
    QTest::addColumn<linefault::Delivery>("delivery");
    QTest::addColumn<bool>("echo");
    const QList<linefault::Delivery> sample = linefault::sample();
    for (const linefault::Delivery &d : sample)
        QTest::newRow(qPrintable(d.name)) << d << false;
    for (const linefault::Delivery &d : sample.mid(0, 2) + sample.mid(sample.size() - 5, 2))
        QTest::newRow(qPrintable("echoing adapter, " + d.name)) << d << true;
}

// Every line on the board is the true reading at its place, or one report comes that names
// no later reading than the first line that is not.
void TestSession::lineFaultsMidDownload()
{
    QFETCH(linefault::Delivery, delivery);
    QFETCH(bool, echo);
    echo = echo || delivery.echo;
    PtyDevice device(3);
    Rig rig;
    rig.session.open(3);
    const QByteArray connect = device.received(2);
    if (echo)
        device.send(connect);
    for (const linefault::Step &step : delivery.before) {
        QTest::qWait(step.pauseMs);
        device.send(step.bytes);
    }
    QTest::qWait(std::max(delivery.askMs, 2 * analyzer::Session::kQuietBeforeDownloadMs));
    const QByteArray before = rig.board.text();
    const qsizetype reportsBefore = rig.disturbed.size();
    rig.session.download();
    const QByteArray command = device.received(2, 1000);
    QCOMPARE(command, QByteArray("SK"));
    if (echo)
        device.send(command);
    for (const linefault::Step &step : delivery.steps) {
        QTest::qWait(step.pauseMs);
        device.send(step.bytes);
    }
    QTest::qWait(linefault::kVerdictMs);
    QCOMPARE(rig.errors, QStringList());
    // One message for the download, whatever was said of bytes nobody asked for.
    QVERIFY(rig.disturbed.size() - reportsBefore <= 1);
    const QString report = rig.disturbed.value(reportsBefore);
    const QString broken = linefault::violation(
        delivery, linefault::shown(rig.board.text(), report, rig.noDataShown > 0, before));
    QVERIFY2(broken.isEmpty(), qPrintable(broken + "\n" + rig.disturbed.join("\n")));
}

// The analyzer is still sending a transfer the program did not see start: Download drops it
// and goes out once the line has fallen quiet; Clear Memory cannot overtake it.
void TestSession::downloadWaitsForAQuietLine()
{
    PtyDevice device(3);
    Rig rig;
    rig.session.open(3);
    QCOMPARE(device.received(2), QByteArray("SE"));
    const QByteArray earlier = linefault::batchRecords(1, 20);
    for (int i = 0; i < earlier.size(); i += 6) {
        device.send(earlier.mid(i + (i == 0 ? 3 : 0), i == 0 ? 3 : 6)); // joined mid-record
        QTest::qWait(25);
        if (i == 30) {
            rig.session.download();
            rig.run([&] { rig.session.clearMemory(); });
        }
    }
    QCOMPARE(rig.errors.size(), 1);
    QVERIFY2(rig.errors.first().contains("Clear Memory was not sent"),
             qPrintable(rig.errors.first()));
    QCOMPARE(device.received(2, 1000), QByteArray("SK"));
    device.send(kRecord7);
    QTRY_VERIFY(rig.board.text().endsWith(kLine7 + "\r\n"));
    QTest::qWait(300);
    // Whole readings of the earlier transfer that came before Download may stay; none is
    // wrong.
    QList<QByteArray> lines = rig.board.text().split('\n');
    lines.removeLast();
    lines.removeLast();
    for (const QByteArray &l : lines) {
        bool known = false;
        for (int n = 1; n <= 20; ++n)
            known =
                known || l == analyzer::decodeRecord(linefault::batchRecord(n), true).line + '\r';
        QVERIFY2(known, l.constData());
    }
}

void TestSession::deviceVanishesMidDownload()
{
    auto device = std::make_unique<PtyDevice>();
    device->linkAs(3);
    const QString path = device->path();
    Rig rig;
    rig.connectAndDownload();
    device->send(kRecord7 + kRecord12.left(4));
    QTRY_COMPARE(rig.lines(), 1);

    device->vanish();
    QTRY_COMPARE(rig.lost.size(), 1);
    QCOMPARE(rig.lost.first(),
             QStringLiteral("COM 3 (%1) lost its device and was closed").arg(path));
    QVERIFY(!rig.session.isOpen());
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(500);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpuUsed < 0.1, qPrintable(QStringLiteral("%1 s of CPU while idle").arg(cpuUsed)));
    QCOMPARE(rig.lost.size(), 1);
    QVERIFY(rig.errors.isEmpty());

    PtyDevice back;
    back.linkAs(3);
    rig.session.open(3);
    QCOMPARE(back.received(2), QByteArray("SE"));
    QCOMPARE(rig.board.text(), boardText({kLine7}));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
