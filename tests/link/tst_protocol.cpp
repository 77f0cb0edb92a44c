// Record decoder and command table, checked against byte vectors.
#include "link/errors.h"
#include "link/protocol.h"

#include <QtTest>

using namespace analyzer;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Builds the expected line from its pieces; "~" stands for the GBK sign Ω.
QByteArray line(int group, const char *resistance, const char *voltage)
{
    QByteArray r(resistance);
    r.replace("~", kOhmGbk);
    return " Group " + QByteArray::number(group) + "       " + r + "     " + voltage;
}

} // namespace

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void commandTable();
    void decodesLine_data();
    void decodesLine();
    void noData_data();
    void noData();
    void shortBlockFails_data();
    void shortBlockFails();
    void encodeRoundTrip();
};

void TestProtocol::commandTable()
{
    const struct {
        Command command;
        QByteArray bytes;
    } rows[] = {{Command::Connect, "SE"},
                {Command::Disconnect, "ST"},
                {Command::Download, "SK"},
                {Command::ClearMemory, "SU"}};
    for (const auto &row : rows) {
        const CommandBytes &c = commandBytes(row.command);
        QCOMPARE(c.command, row.command);
        QCOMPARE(QByteArray() + c.first + c.second, row.bytes);
    }
}

void TestProtocol::decodesLine_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("rm40a");
    QTest::addColumn<QByteArray>("expected");

    // The sample records, both model cases.
    QTest::newRow("example1 RM-40A") << hex("07050237101B") << true << line(7, "056.7m~", "4.123V");
    QTest::newRow("example1 other") << hex("07050237101B") << false << line(7, "05.67m~", "4.123V");
    QTest::newRow("example2 RM-40A")
        << hex("0C00303904D2") << true << line(12, "123.45m~", "12.34V");
    QTest::newRow("example2 other")
        << hex("0C00303904D2") << false << line(12, "12.345m~", "12.34V");
    QTest::newRow("example3 RM-40A") << hex("0106012C0E74") << true << line(1, "0.300 ~", "3.700V");
    QTest::newRow("example3 other") << hex("0106012C0E74") << false << line(1, "030.0m~", "3.700V");
    QTest::newRow("example4 RM-40A")
        << hex("020700053039") << true << line(2, "00.05 ~", "12.345V");
    QTest::newRow("example4 other")
        << hex("020700053039") << false << line(2, "0.005 ~", "12.345V");
    QTest::newRow("example5 RM-40A")
        << hex("1203FFFF0000") << true << line(18, "655.35 ~", "00.00V");
    QTest::newRow("example5 other")
        << hex("1203FFFF0000") << false << line(18, "65.535 ~", "00.00V");

    // Flags bits 3 to 7 are ignored unless the whole byte is the marker.
    QTest::newRow("flags 140 is range 0 with mV")
        << hex("018C00000000") << true << line(1, "00.00m~", "0.000V");
    QTest::newRow("flags 8 decodes like 0")
        << hex("010800000000") << true << line(1, "00.00m~", "00.00V");
    QTest::newRow("flags 0 zero values")
        << hex("010000000000") << true << line(1, "00.00m~", "00.00V");
    QTest::newRow("zero values other model")
        << hex("010000000000") << false << line(1, "0.000m~", "00.00V");

    // 65535 at every range code, both models.
    const char *ra[4] = {"655.35m~", "6553.5m~", "65.535 ~", "655.35 ~"};
    const char *ro[4] = {"65.535m~", "655.35m~", "6553.5m~", "65.535 ~"};
    for (int code = 0; code < 4; ++code) {
        QByteArray block = hex("00") + char(code) + hex("FFFFFFFF");
        QTest::addRow("65535 range %d RM-40A", code)
            << block << true << line(0, ra[code], "655.35V");
        QTest::addRow("65535 range %d other", code)
            << block << false << line(0, ro[code], "655.35V");
    }

    QTest::newRow("group 255") << hex("FF0000010001") << true << line(255, "00.01m~", "00.01V");
    QTest::newRow("bytes after the sixth ignored") << hex("07050237101B"
                                                          "0C00303904D2")
                                                   << true << line(7, "056.7m~", "4.123V");
}

void TestProtocol::decodesLine()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, rm40a);
    QFETCH(QByteArray, expected);
    const DecodeResult result = decodeRecord(block, rm40a);
    QVERIFY(!result.isNoData());
    QCOMPARE(result.line, expected);
}

void TestProtocol::noData_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("six bytes") << hex("058800000000");
    QTest::newRow("other bytes ignored") << hex("FF88FFFFFFFF");
    QTest::newRow("only two bytes") << hex("0588");
    QTest::newRow("five bytes") << hex("0588000000");
    QTest::newRow("twelve bytes") << hex("058800000000"
                                         "07050237101B");
}

void TestProtocol::noData()
{
    QFETCH(QByteArray, block);
    for (bool rm40a : {true, false}) {
        const DecodeResult result = decodeRecord(block, rm40a);
        QVERIFY(result.isNoData());
        QVERIFY(result.line.isEmpty());
    }
}

void TestProtocol::shortBlockFails_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << hex("05");
    QTest::newRow("one byte 136") << hex("88");
    QTest::newRow("two bytes") << hex("0705");
    QTest::newRow("three bytes") << hex("070502");
    QTest::newRow("four bytes") << hex("07050237");
    QTest::newRow("five bytes") << hex("0705023710");
}

void TestProtocol::shortBlockFails()
{
    QFETCH(QByteArray, block);
    try {
        decodeRecord(block, true);
        QFAIL("a short block decoded");
    } catch (const LinkError &e) {
        QCOMPARE(e.fault().kind, LinkFault::Kind::ShortBlock);
    }
}

void TestProtocol::encodeRoundTrip()
{
    const AnalyzerRecord r{7, 5, 0x0237, 0x101B};
    QCOMPARE(encodeRecord(r), hex("07050237101B"));
    // The first sample line is 33 characters, 34 bytes with Ω as two bytes.
    const QByteArray l = decodeRecord(encodeRecord(r), true).line;
    QCOMPARE(l.size(), 34);
    QCOMPARE(QString::fromUtf8(QByteArray(l).replace(kOhmGbk, reading::kOhmUtf8)).size(), 33);
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
