// Board lines read back into exact numbers: every line the decoder writes, and no other.
#include "analysis/reading.h"
#include "link/protocol.h"

#include <QtTest>

using analysis::decimalText;
using analysis::parseReading;

namespace {

QByteArray gbk(const char *text)
{
    QByteArray l(text);
    l.replace("~", analyzer::kOhmGbk);
    return l;
}

} // namespace

class TestReading : public QObject {
    Q_OBJECT
private slots:
    void decodedLines_data();
    void decodedLines();
    void everyRangeGivesCountTimesStep();
    void notReadings_data();
    void notReadings();
    void decimalTexts_data();
    void decimalTexts();
};

void TestReading::decodedLines_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("rm40a");
    QTest::addColumn<int>("group");
    QTest::addColumn<QByteArray>("ohms");
    QTest::addColumn<QByteArray>("volts");
    QTest::addColumn<bool>("milliohm");
    const auto row = [](const char *name, const char *hex, bool a, int g, const char *ohms, const char *volts, bool m) {
        QTest::newRow(name) << QByteArray::fromHex(hex) << a << g << QByteArray(ohms) << QByteArray(volts) << m;
    };
    row("056.7mΩ RM-40A", "07050237101B", true, 7, "0.0567", "4.123", true);
    row("05.67mΩ RM-40B", "07050237101B", false, 7, "0.00567", "4.123", true);
    row("123.45mΩ", "0C00303904D2", true, 12, "0.12345", "12.34", true);
    row("12.345mΩ", "0C00303904D2", false, 12, "0.012345", "12.34", true);
    row("0.300 Ω", "0106012C0E74", true, 1, "0.3", "3.7", false);
    row("030.0mΩ", "0106012C0E74", false, 1, "0.03", "3.7", true);
    row("00.05 Ω", "020700053039", true, 2, "0.05", "12.345", false);
    row("0.005 Ω", "020700053039", false, 2, "0.005", "12.345", false);
    row("655.35 Ω", "1203FFFF0000", true, 18, "655.35", "0", false);
    row("65.535 Ω", "1203FFFF0000", false, 18, "65.535", "0", false);
    row("00.00mΩ, 0.000V", "000400000000", true, 0, "0", "0", true);
    row("finest steps", "FF0400010001", false, 255, "0.000001", "0.001", true);
    row("6553.5mΩ", "FF01FFFF0001", true, 255, "6.5535", "0.01", true);
}

void TestReading::decodedLines()
{
    QFETCH(QByteArray, record);
    QFETCH(bool, rm40a);
    const QByteArray line = analyzer::decodeRecord(record, rm40a).line;
    const auto r = parseReading(line);
    QVERIFY2(r, line.constData());
    QTEST(r->group, "group");
    QTEST(decimalText(r->ohms), "ohms");
    QTEST(decimalText(r->volts), "volts");
    QTEST(r->milliohmUnit, "milliohm");
    // The texts are the line's own pieces.
    QCOMPARE(" Group " + QByteArray::number(r->group) + "       " + r->resistanceText.toByteArray() + "     " +
                 r->voltageText.toByteArray(),
             line);
}

// For every range code, model and voltage scale, the number read back is the record's count
// times the step the line's unit stands for.
void TestReading::everyRangeGivesCountTimesStep()
{
    // Steps in micro-ohms by range code: RM-40A, then the other models.
    const std::int64_t stepA[4] = {10, 100, 1000, 10000};
    const std::int64_t stepOther[4] = {1, 10, 100, 1000};
    for (bool rm40a : {true, false}) {
        for (int flags = 0; flags < 8; ++flags) {
            for (std::uint16_t count : {0, 1, 9, 10, 999, 1000, 4321, 9999, 10000, 40123, 65535}) {
                const analyzer::AnalyzerRecord record{std::uint8_t(count % 256), std::uint8_t(flags), count,
                                                      std::uint16_t(65535 - count)};
                const QByteArray line = analyzer::decodeRecord(analyzer::encodeRecord(record), rm40a).line;
                const auto r = parseReading(line);
                QVERIFY2(r, line.constData());
                QCOMPARE(r->microohms(), count * (rm40a ? stepA : stepOther)[flags & 3]);
                QCOMPARE(r->microvolts(), std::int64_t(65535 - count) * ((flags & 4) ? 1000 : 10000));
                QCOMPARE(r->group, record.group);
            }
        }
    }
}

void TestReading::notReadings_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("group only") << gbk(" Group 7");
    QTest::newRow("no leading blank") << gbk("Group 7       056.7m~     4.123V");
    QTest::newRow("group with leading zero") << gbk(" Group 07       056.7m~     4.123V");
    QTest::newRow("group 256") << gbk(" Group 256       056.7m~     4.123V");
    QTest::newRow("six blanks after group") << gbk(" Group 7      056.7m~     4.123V");
    QTest::newRow("three digits") << gbk(" Group 7       56.7m~     4.123V");
    QTest::newRow("six digits") << gbk(" Group 7       65536.7m~     4.123V");
    QTest::newRow("four decimals") << gbk(" Group 7       0.0567m~     4.123V");
    QTest::newRow("no point") << gbk(" Group 7       0567m~     4.123V");
    QTest::newRow("ohm without blank") << gbk(" Group 7       0.300~     4.123V");
    QTest::newRow("ohm sign in UTF-8") << QByteArray(" Group 7       056.7m\xCE\xA9     4.123V");
    QTest::newRow("one voltage decimal") << gbk(" Group 7       056.7m~     412.3V");
    QTest::newRow("no volt sign") << gbk(" Group 7       056.7m~     4.123");
    QTest::newRow("trailing blank") << gbk(" Group 7       056.7m~     4.123V ");
    QTest::newRow("trailing CR") << gbk(" Group 7       056.7m~     4.123V\r");
    QTest::newRow("two points") << gbk(" Group 7       05.6.7m~     4.123V");
    QTest::newRow("sign in number") << gbk(" Group 7       -56.7m~     4.123V");
}

void TestReading::notReadings()
{
    QFETCH(QByteArray, line);
    QVERIFY(!parseReading(line));
}

void TestReading::decimalTexts_data()
{
    QTest::addColumn<qint64>("units");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("point inside") << qint64(4123) << 3 << QByteArray("4.123");
    QTest::newRow("zeros after point") << qint64(567) << 4 << QByteArray("0.0567");
    QTest::newRow("trailing zeros dropped") << qint64(3000) << 4 << QByteArray("0.3");
    QTest::newRow("whole") << qint64(1200) << 2 << QByteArray("12");
    QTest::newRow("zero") << qint64(0) << 5 << QByteArray("0");
    QTest::newRow("no decimals") << qint64(120) << 0 << QByteArray("120");
    QTest::newRow("negative") << qint64(-5) << 2 << QByteArray("-0.05");
}

void TestReading::decimalTexts()
{
    QFETCH(qint64, units);
    QFETCH(int, decimals);
    QTEST(decimalText({units, decimals}), "text");
}

QTEST_APPLESS_MAIN(TestReading)
#include "tst_reading.moc"
