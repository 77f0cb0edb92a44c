// The serial control against real pseudo-terminals.
#include "files.h"
#include "link/errors.h"
#include "link/record_framer.h"
#include "link/tmscomm.h"
#include "linktext/fault_text.h"
#include "pty_device.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Bytes count once the line was quiet after the opening: before, they may be the middle of a
// stream already flowing.
constexpr int kQuietStartMs = 2 * int(analyzer::RecordFramer::kStreamQuietMs);

// Every OnComm the control raises, with what the handler read in it.
struct EventLog {
    explicit EventLog(TMSComm &comm)
    {
        QObject::connect(&comm, &TMSComm::OnComm, [this, &comm] {
            events << comm.CommEvent();
            if (comm.CommEvent() == TMSComm::kCommEventReceive)
                blocks << comm.Input();
        });
    }
    QList<short> events;
    QList<QByteArray> blocks;
};

QString messageOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const analyzer::LinkError &e) {
        return linktext::describe(e.fault());
    }
    return QStringLiteral("(no error)");
}

} // namespace

class TestTMSComm : public QObject {
    Q_OBJECT
private slots:
    void init() { clearTestPortFolder(); }

    void lineSettings();
    void staleInputIsDiscarded();
    void aStreamJoinedMidwayIsDropped();
    void sixBytesPerEvent_data();
    void sixBytesPerEvent();
    void oneBytePerOutputCharacter();
    void refusals_data();
    void refusals();
    void portBusy();
    void permissionDenied();
    void deviceVanishes();
};

void TestTMSComm::lineSettings()
{
    PtyDevice device;
    device.linkAs(3);
    TMSComm comm;
    comm.setCommPort(3);
    comm.setPortOpen(true);
    QVERIFY(comm.PortOpen());

    termios t{};
    QVERIFY(device.lineSettings(&t));
    QCOMPARE(cfgetispeed(&t), speed_t(B2400));
    QCOMPARE(cfgetospeed(&t), speed_t(B2400));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));

    comm.setPortOpen(false);
    QVERIFY(!comm.PortOpen());
}

void TestTMSComm::staleInputIsDiscarded()
{
    PtyDevice device;
    device.linkAs(4);
    device.send("\x01\x02\x03\x04");
    QTest::qWait(50);

    TMSComm comm;
    EventLog log(comm);
    comm.setCommPort(4);
    comm.setPortOpen(true);
    QTest::qWait(kQuietStartMs);
    device.send("ABCDEF");
    QTRY_COMPARE(log.blocks.size(), 1);
    QTest::qWait(50);
    QCOMPARE(log.blocks, QList<QByteArray>{"ABCDEF"});
}

// The analyzer was sending when the port opened: its bytes give no block until the line falls
// quiet, and the next byte then starts a record.
void TestTMSComm::aStreamJoinedMidwayIsDropped()
{
    PtyDevice device;
    device.linkAs(4);
    TMSComm comm;
    EventLog log(comm);
    comm.setCommPort(4);
    comm.setPortOpen(true);
    for (const QByteArray piece : {"cdef", "ghijkl", "mnopqr"}) {
        device.send(piece);
        QTest::qWait(30);
    }
    QTest::qWait(kQuietStartMs);
    device.send("abcdef");
    QTRY_COMPARE(log.blocks.size(), 1);
    QTest::qWait(50);
    QCOMPARE(log.blocks, QList<QByteArray>{"abcdef"});
}

void TestTMSComm::sixBytesPerEvent_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<QByteArray>>("blocks");
    QTest::newRow("one record") << QList<QByteArray>{"abcdef"} << QList<QByteArray>{"abcdef"};
    QTest::newRow("twelve bytes at once")
        << QList<QByteArray>{"abcdefghijkl"} << QList<QByteArray>{"abcdef", "ghijkl"};
    QTest::newRow("a record split 2+3+1")
        << QList<QByteArray>{"ab", "cde", "f"} << QList<QByteArray>{"abcdef"};
    QTest::newRow("five bytes raise nothing") << QList<QByteArray>{"abcde"} << QList<QByteArray>{};
    QTest::newRow("records split across reads") << QList<QByteArray>{"abcdefgh", "ijklmnopq", "r"}
                                                << QList<QByteArray>{"abcdef", "ghijkl", "mnopqr"};
}

void TestTMSComm::sixBytesPerEvent()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<QByteArray>, blocks);
    PtyDevice device;
    device.linkAs(3);
    TMSComm comm;
    EventLog log(comm);
    comm.setCommPort(3);
    comm.setPortOpen(true);
    QTest::qWait(kQuietStartMs);

    for (const QByteArray &piece : pieces) {
        device.send(piece);
        // Lets the control read each piece on its own.
        QTest::qWait(30);
    }
    QTRY_COMPARE(log.blocks.size(), blocks.size());
    QTest::qWait(50);
    QCOMPARE(log.blocks, blocks);
    QCOMPARE(log.events, QList<short>(blocks.size(), TMSComm::kCommEventReceive));
}

void TestTMSComm::oneBytePerOutputCharacter()
{
    PtyDevice device;
    device.linkAs(3);
    TMSComm comm;
    comm.setCommPort(3);
    comm.setPortOpen(true);
    comm.setOutput(QStringLiteral("S"));
    comm.setOutput(QStringLiteral("K"));
    comm.setOutput(QString(QChar(0xE9)));
    QCOMPARE(device.received(3), QByteArray("SK\xE9"));
}

using Refusal = std::function<void(TMSComm &, const PtyDevice &)>;
Q_DECLARE_METATYPE(Refusal)

void TestTMSComm::refusals_data()
{
    QTest::addColumn<Refusal>("action");
    QTest::addColumn<QString>("expected"); // {folder}: the port folder, {pty}: the test's pty

    const QString invalid =
        QStringLiteral("Invalid port number %1: COM ports are numbered 1 to 255");
    for (int n : {0, -1, 256, 65537})
        QTest::addRow("port number %d", n)
            << Refusal([n](TMSComm &c, const PtyDevice &) { c.setCommPort(n); }) << invalid.arg(n);

    if (!QFile::exists(QStringLiteral("/dev/ttyS254")))
        QTest::newRow("no entry and no built-in port")
            << Refusal([](TMSComm &c, const PtyDevice &) {
                   c.setCommPort(255);
                   c.setPortOpen(true);
               })
            << QStringLiteral("COM 255 has no device: /dev/ttyS254 does not "
                              "exist; to use an adapter, make {folder}/com255 a link to it");
    QTest::newRow("entry naming a missing device")
        << Refusal([](TMSComm &c, const PtyDevice &) {
               QDir().mkpath(testPortFolder());
               QFile::link(QStringLiteral("/dev/ttyUSB-gone"), testPortFolder() + "/com7");
               c.setCommPort(7);
               c.setPortOpen(true);
           })
        << QStringLiteral("COM 7 has no device: /dev/ttyUSB-gone, named by "
                          "{folder}/com7, does not exist");
    QTest::newRow("entry naming a plain file")
        << Refusal([](TMSComm &c, const PtyDevice &) {
               QDir().mkpath(testPortFolder());
               QFile f(testPortFolder() + "/not-a-port");
               QVERIFY(f.open(QIODevice::WriteOnly));
               QFile::link(f.fileName(), testPortFolder() + "/com8");
               c.setCommPort(8);
               c.setPortOpen(true);
           })
        << QStringLiteral("Cannot open COM 8 ({folder}/not-a-port): it is not a "
                          "serial port (Inappropriate ioctl for device)");
    QTest::newRow("another number while open")
        << Refusal([](TMSComm &c, const PtyDevice &pty) {
               pty.linkAs(3);
               c.setCommPort(3);
               c.setPortOpen(true);
               c.setCommPort(4);
           })
        << QStringLiteral("COM 4 cannot be chosen while COM 3 ({pty}) is open; "
                          "disconnect first");
    QTest::newRow("opening twice") << Refusal([](TMSComm &c, const PtyDevice &pty) {
        pty.linkAs(3);
        c.setCommPort(3);
        c.setPortOpen(true);
        c.setPortOpen(true);
    }) << QStringLiteral("COM 3 ({pty}) is already open");
    QTest::newRow("write while closed")
        << Refusal([](TMSComm &c, const PtyDevice &) { c.setOutput(QStringLiteral("S")); })
        << QStringLiteral("COM 1 is not open");
    QTest::newRow("read while closed") << Refusal([](TMSComm &c, const PtyDevice &) { c.Input(); })
                                       << QStringLiteral("COM 1 is not open");
}

void TestTMSComm::refusals()
{
    QFETCH(Refusal, action);
    QFETCH(QString, expected);
    PtyDevice pty;
    TMSComm comm;
    const short portBefore = comm.CommPort();
    const QString message = messageOf([&] { action(comm, pty); });
    expected.replace(QLatin1String("{folder}"), testPortFolder());
    expected.replace(QLatin1String("{pty}"), pty.path());
    QCOMPARE(message, expected);
    if (message.contains(QLatin1String("Invalid port number")))
        QCOMPARE(comm.CommPort(), portBefore);
}

void TestTMSComm::portBusy()
{
    PtyDevice device;
    device.linkAs(3);
    device.linkAs(9);
    TMSComm first;
    first.setCommPort(3);
    first.setPortOpen(true);

    TMSComm second;
    second.setCommPort(9);
    QCOMPARE(messageOf([&] { second.setPortOpen(true); }),
             QStringLiteral("COM 9 (%1) is in use by another program").arg(device.path()));
    QVERIFY(!second.PortOpen());

    first.setPortOpen(false);
    second.setPortOpen(true);
    QVERIFY(second.PortOpen());
}

void TestTMSComm::permissionDenied()
{
    // A configuration folder that an ordinary user can reach, whatever the test's own is.
    QTemporaryDir config;
    QVERIFY(QFile::setPermissions(config.path(), QFileDevice::Permissions(0x7755)));
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", savedConfig); });
    QVERIFY(QDir().mkpath(testPortFolder()));
    for (const QString &folder : {config.path() + "/battery-analyzer", testPortFolder()})
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7755)));

    const QString device = testPortFolder() + "/locked";
    QFile f(device);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(f.setPermissions(QFileDevice::Permissions()));
    QVERIFY(QFile::link(device, testPortFolder() + "/com2"));

    auto openCom2 = [] {
        TMSComm comm;
        comm.setCommPort(2);
        return messageOf([&] { comm.setPortOpen(true); });
    };
    QString message;
    if (::geteuid() != 0) {
        message = openCom2();
    } else {
        // Root opens any device; the refusal needs an ordinary user, so a child process
        // becomes one and reports the message through a pipe.
        int pipeFds[2];
        QVERIFY(::pipe(pipeFds) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            const QByteArray text = dropped ? openCom2().toUtf8() : QByteArray("(setuid failed)");
            [[maybe_unused]] const ssize_t n =
                ::write(pipeFds[1], text.constData(), size_t(text.size()));
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        QByteArray text;
        char buffer[1024];
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, n);
        ::close(pipeFds[0]);
        ::waitpid(child, nullptr, 0);
        message = QString::fromUtf8(text);
    }
    QCOMPARE(message,
             QStringLiteral("Permission denied opening COM 2 (%1): add your user "
                            "to the dialout group, then log in again")
                 .arg(device));
}

void TestTMSComm::deviceVanishes()
{
    auto device = std::make_unique<PtyDevice>();
    device->linkAs(3);
    const QString path = device->path();
    TMSComm comm;
    EventLog log(comm);
    comm.setCommPort(3);
    comm.setPortOpen(true);
    QTest::qWait(kQuietStartMs);

    device->send("abcdefgh");
    QTRY_COMPARE(log.blocks.size(), 1);
    device->vanish();

    QTRY_VERIFY(!comm.PortOpen());
    QTest::qWait(100);
    QCOMPARE(log.events.size(), 2);
    QVERIFY(log.events.last() != TMSComm::kCommEventReceive);
    QCOMPARE(log.blocks, QList<QByteArray>{"abcdef"});

    const double cpuBefore = processCpuSeconds();
    QTest::qWait(500);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpuUsed < 0.1, qPrintable(QStringLiteral("%1 s of CPU while idle").arg(cpuUsed)));
    QCOMPARE(log.events.size(), 2);

    QCOMPARE(messageOf([&] { comm.setOutput(QStringLiteral("S")); }),
             QStringLiteral("COM 3 is not open: its device %1 went away; connect "
                            "again once the analyzer is back")
                 .arg(path));
}

QTEST_GUILESS_MAIN(TestTMSComm)
#include "tst_tmscomm.moc"
