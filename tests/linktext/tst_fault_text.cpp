// The shared words of the link's faults, for the facts no device suite reaches.
#include "linktext/fault_text.h"

#include <QtTest>

using analyzer::LinkFault;
using Kind = LinkFault::Kind;

class TestFaultText : public QObject {
    Q_OBJECT
private slots:
    void describe_data();
    void describe();
};

void TestFaultText::describe_data()
{
    QTest::addColumn<LinkFault>("fault");
    QTest::addColumn<QString>("text");
    const auto on = [](Kind kind, int port, const QString &device) {
        return LinkFault{kind, port, device};
    };
    LinkFault typed = on(Kind::NotAnInteger, 0, {});
    typed.typed = QStringLiteral("COM3.");
    LinkFault afterSeven = on(Kind::TransferDisturbed, 3, "/dev/ttyUSB0");
    afterSeven.afterReading = 7;
    LinkFault busy = on(Kind::LineBusy, 2, "/dev/ttyS1");
    busy.waitedMs = 10'250;
    LinkFault refused = on(Kind::CannotOpen, 0, "/dev/ttyACM0");
    refused.systemText = QStringLiteral("Input/output error.\n");
    LinkFault missing = on(Kind::NoSuchDevice, 9, "/dev/ttyS8");
    missing.folder = QStringLiteral("/home/u/.config/battery-analyzer/ports");
    LinkFault dangling = on(Kind::NoSuchDevice, 7, "/dev/ttyUSB-gone");
    dangling.entry = QStringLiteral("/ports/com7");
    LinkFault other = on(Kind::OtherPortOpen, 3, "/dev/pts/4");
    other.requestedPort = 4;

    QTest::newRow("text typed") << typed << "'COM3.' is not a valid integer value";
    QTest::newRow("short block") << on(Kind::ShortBlock, 3, "/dev/pts/1")
                                 << "Variant or safe array index out of bounds";
    QTest::newRow("port number") << on(Kind::InvalidPortNumber, 256, {})
                                 << "Invalid port number 256: COM ports are numbered 1 to 255";
    QTest::newRow("disturbed from the first")
        << on(Kind::TransferDisturbed, 3, "/dev/ttyUSB0")
        << "COM 3 (/dev/ttyUSB0): bytes were lost or added on the line during the download, so "
           "every reading of it, from the first one on, may be wrong; download them again";
    QTest::newRow("disturbed after seven")
        << afterSeven
        << "COM 3 (/dev/ttyUSB0): bytes were lost or added on the line during the download, so "
           "the readings after reading 7 may be wrong; download them again";
    QTest::newRow("line busy")
        << busy
        << "COM 2 (/dev/ttyS1) kept receiving for 10.25 s without a pause, so Download was not "
           "sent; wait until the analyzer has finished sending and try again";
    QTest::newRow("by device, system text tidied")
        << refused << "Cannot open /dev/ttyACM0: Input/output error";
    QTest::newRow("no device, no entry")
        << missing
        << "COM 9 has no device: /dev/ttyS8 does not exist; to use an adapter, make "
           "/home/u/.config/battery-analyzer/ports/com9 a link to it";
    QTest::newRow("no device, by entry")
        << dangling
        << "COM 7 has no device: /dev/ttyUSB-gone, named by /ports/com7, does not exist";
    QTest::newRow("no device, by path")
        << on(Kind::NoSuchDevice, 0, "/dev/nothing") << "/dev/nothing does not exist";
    QTest::newRow("another port open")
        << other << "COM 4 cannot be chosen while COM 3 (/dev/pts/4) is open; disconnect first";
    QTest::newRow("not open, by path") << on(Kind::NotOpen, 0, {}) << "The port is not open";
    QTest::newRow("lost") << on(Kind::DeviceLost, 0, "/dev/ttyUSB1")
                          << "/dev/ttyUSB1 lost its device and was closed";
}

void TestFaultText::describe()
{
    QFETCH(LinkFault, fault);
    QFETCH(QString, text);
    QCOMPARE(linktext::describe(fault), text);
}

QTEST_APPLESS_MAIN(TestFaultText)
#include "tst_fault_text.moc"
