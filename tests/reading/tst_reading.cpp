// The reading value and its board line: every record decodes to a value whose line reads
// back as the same value, the numbers exact; no other line is a reading.
#include "link/protocol.h"
#include "reading/line_format.h"
#include "samples.h"

#include <QtTest>

using reading::decimalText;
using reading::parseBoardLine;
using Model = reading::Model;

Q_DECLARE_METATYPE(reading::Model)

class TestReading : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void decodedLines_data();
    void decodedLines();
    void everyRangeGivesCountTimesStep();
    void notReadings_data();
    void notReadings();
    void decimalTexts_data();
    void decimalTexts();
    void fixedPoint_data();
    void fixedPoint();
    void numbersOfEveryLength();
    void numberFieldsOfEveryShape();
    void textsComeBackFromValues();
    void valuesOutsideTheirShape_data();
    void valuesOutsideTheirShape();
};

namespace {

int shapeOf(int places, reading::ResistanceUnit unit, int voltagePlaces)
{
    reading::Reading r;
    r.resistance.decimals = places;
    r.unit = unit;
    r.voltage.decimals = voltagePlaces;
    return reading::textShape(r);
}

} // namespace

void TestReading::roundTrip_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<int>("flags");
    for (const Model model : {Model::RM40A, Model::RM40B, Model::RM40C}) {
        for (int code = 0; code < 4; ++code) {
            for (const int millivolts : {0, 4})
                QTest::addRow("%s range %d%s", reading::modelName(model), code,
                              millivolts ? " mV" : "")
                    << model << (code | millivolts);
        }
    }
}

// Decoder, formatter and parser agree: the value's line is the decoder's, and it reads back
// as the same value (which model read it, no line tells).
void TestReading::roundTrip()
{
    QFETCH(Model, model);
    QFETCH(int, flags);
    for (const std::uint8_t group : {0, 255}) {
        for (const std::uint16_t resistance : {0, 65535}) {
            for (const std::uint16_t voltage : {0, 65535}) {
                const analyzer::AnalyzerRecord record{group, std::uint8_t(flags), resistance,
                                                      voltage};
                const analyzer::DecodeResult decoded =
                    analyzer::decodeRecord(analyzer::encodeRecord(record), model);
                QCOMPARE(decoded.reading.model, model);
                QCOMPARE(reading::boardLine(decoded.reading), decoded.line);
                const auto parsed = parseBoardLine(decoded.line);
                QVERIFY2(parsed, decoded.line.constData());
                QVERIFY(!parsed->model);
                reading::Reading back = *parsed;
                back.model = model;
                QVERIFY2(back == decoded.reading, decoded.line.constData());
                QCOMPARE(reading::boardLine(*parsed), decoded.line);
            }
        }
    }
}

void TestReading::decodedLines_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("rm40a");
    QTest::addColumn<int>("group");
    QTest::addColumn<QByteArray>("ohms");
    QTest::addColumn<QByteArray>("volts");
    QTest::addColumn<bool>("milliohm");
    const auto row = [](const char *name, const char *hex, bool a, int g, const char *ohms,
                        const char *volts, bool m) {
        QTest::newRow(name) << QByteArray::fromHex(hex) << a << g << QByteArray(ohms)
                            << QByteArray(volts) << m;
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
    const auto r = parseBoardLine(line);
    QVERIFY2(r, line.constData());
    QTEST(r->group, "group");
    QTEST(decimalText(r->ohms()), "ohms");
    QTEST(decimalText(r->volts()), "volts");
    QTEST(r->unit == reading::ResistanceUnit::Milliohm, "milliohm");
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
                const analyzer::AnalyzerRecord record{std::uint8_t(count % 256),
                                                      std::uint8_t(flags), count,
                                                      std::uint16_t(65535 - count)};
                const QByteArray line =
                    analyzer::decodeRecord(analyzer::encodeRecord(record), rm40a).line;
                const auto r = parseBoardLine(line);
                QVERIFY2(r, line.constData());
                QCOMPARE(r->microohms(), count * (rm40a ? stepA : stepOther)[flags & 3]);
                QCOMPARE(r->microvolts(),
                         std::int64_t(65535 - count) * ((flags & 4) ? 1000 : 10000));
                QCOMPARE(r->group, record.group);
            }
        }
    }
}

void TestReading::notReadings_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("group only") << line(" Group 7");
    QTest::newRow("no leading blank") << line("Group 7       056.7m~     4.123V");
    QTest::newRow("group with leading zero") << line(" Group 07       056.7m~     4.123V");
    QTest::newRow("group 256") << line(" Group 256       056.7m~     4.123V");
    QTest::newRow("six blanks after group") << line(" Group 7      056.7m~     4.123V");
    QTest::newRow("three digits") << line(" Group 7       56.7m~     4.123V");
    QTest::newRow("five digits under 10000") << line(" Group 7       0056.7m~     4.123V");
    QTest::newRow("five voltage digits under 10000") << line(" Group 7       056.7m~     04.123V");
    QTest::newRow("six digits") << line(" Group 7       65536.7m~     4.123V");
    QTest::newRow("four decimals") << line(" Group 7       0.0567m~     4.123V");
    QTest::newRow("no point") << line(" Group 7       0567m~     4.123V");
    QTest::newRow("ohm without blank") << line(" Group 7       0.300~     4.123V");
    QTest::newRow("ohm sign in UTF-8")
        << QByteArray(" Group 7       056.7m").append(reading::kOhmUtf8).append("     4.123V");
    QTest::newRow("one voltage decimal") << line(" Group 7       056.7m~     412.3V");
    QTest::newRow("no volt sign") << line(" Group 7       056.7m~     4.123");
    QTest::newRow("trailing blank") << line(" Group 7       056.7m~     4.123V ");
    QTest::newRow("trailing CR") << line(" Group 7       056.7m~     4.123V\r");
    QTest::newRow("two points") << line(" Group 7       05.6.7m~     4.123V");
    QTest::newRow("sign in number") << line(" Group 7       -56.7m~     4.123V");
}

void TestReading::notReadings()
{
    QFETCH(QByteArray, line);
    QVERIFY(!parseBoardLine(line));
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

void TestReading::fixedPoint_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("567/1") << 567 << 1 << QByteArray("056.7");
    QTest::newRow("567/2") << 567 << 2 << QByteArray("05.67");
    QTest::newRow("5/3") << 5 << 3 << QByteArray("0.005");
    QTest::newRow("12345/2") << 12345 << 2 << QByteArray("123.45");
    QTest::newRow("65535/3") << 65535 << 3 << QByteArray("65.535");
    QTest::newRow("10000/1") << 10000 << 1 << QByteArray("1000.0");
    QTest::newRow("9999/3") << 9999 << 3 << QByteArray("9.999");
    QTest::newRow("0/1") << 0 << 1 << QByteArray("000.0");
}

void TestReading::fixedPoint()
{
    QFETCH(int, value);
    QFETCH(int, decimals);
    QFETCH(QByteArray, text);
    QCOMPARE(reading::fixedPointText(std::uint32_t(value), decimals), text);
}

// The writers take a number's digits a word at a time; written digit by digit instead,
// every length of number, with zeros inside, at either end or none, gives the same text.
void TestReading::numbersOfEveryLength()
{
    QList<qint64> values;
    for (qint64 power = 1; power <= 100'000'000'000; power *= 10)
        values << power - 1 << power << power + 1 << power * 7 / 5 << power * 123 / 100;
    values << 0 << 4'294'967'295 << 4'294'967'296 << 10'203'000 << 99'990'000;
    for (const qint64 value : values) {
        const QByteArray digits = QByteArray::number(value);
        for (int decimals = 0; decimals <= 9; ++decimals) {
            QByteArray text = digits.rightJustified(decimals + 1, '0');
            if (decimals > 0) {
                text.insert(text.size() - decimals, '.');
                while (text.endsWith('0'))
                    text.chop(1);
                if (text.endsWith('.'))
                    text.chop(1);
            }
            QCOMPARE(decimalText({value, decimals}), text);
            QCOMPARE(decimalText({-value, decimals}), value == 0 ? text : '-' + text);
        }
        if (value > 0xFFFF'FFFF)
            continue;
        for (int places = 1; places <= 3; ++places) {
            QByteArray text = digits.rightJustified(4, '0');
            text.insert(text.size() - places, '.');
            QCOMPARE(reading::fixedPointText(std::uint32_t(value), places), text);
        }
    }
}

// The reader takes a field's bytes a word at a time; every short run of digits, points and
// other bytes, in the middle of a line and at its end, is read as the rule says: digits, a
// point, one to three places (two or three for volts), four digits in all, or five from
// 10000 on.
void TestReading::numberFieldsOfEveryShape()
{
    const auto expected = [](const QByteArray &text, int minPlaces) -> std::optional<qint64> {
        const qsizetype point = text.indexOf('.');
        const QByteArray digits = QByteArray(text).remove(point, 1);
        const qsizetype places = text.size() - point - 1;
        if (point < 1 || places < minPlaces || places > 3 || digits.size() < 4 || digits.size() > 5
            || !std::all_of(digits.begin(), digits.end(),
                            [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        const qint64 units = digits.toLongLong();
        return digits.size() == 5 && units < 10000 ? std::nullopt : std::optional(units);
    };
    const char alphabet[] = {'0', '7', '.', 'x'};
    QByteArray text;
    for (int length = 0; length <= 7; ++length) {
        for (int code = 0; code < 1 << (2 * length); ++code) {
            text.resize(length);
            for (int i = 0; i < length; ++i)
                text[i] = alphabet[(code >> (2 * i)) & 3];
            const auto ohms = parseBoardLine(" Group 1       " + text + "m\xA6\xB8     3.600V");
            const auto ohmsExpected = expected(text, 1);
            QVERIFY2(bool(ohms) == bool(ohmsExpected), text.constData());
            if (ohms)
                QCOMPARE(ohms->resistance.units, *ohmsExpected);
            const auto volts = parseBoardLine(" Group 1       040.0m\xA6\xB8     " + text + "V");
            const auto voltsExpected = expected(text, 2);
            QVERIFY2(bool(volts) == bool(voltsExpected), text.constData());
            if (volts)
                QCOMPARE(volts->voltage.units, *voltsExpected);
        }
    }
}

// A store keeps a reading's values and shape: they give its texts back exactly, for readings
// of every model and range, and the texts read back give the same shape.
void TestReading::textsComeBackFromValues()
{
    QRandomGenerator random(27);
    for (int i = 0; i < 20'000; ++i) {
        const analyzer::AnalyzerRecord record{
            std::uint8_t(random.bounded(256)), std::uint8_t(random.bounded(8)),
            std::uint16_t(random.bounded(65536)), std::uint16_t(random.bounded(65536))};
        const auto model = Model(random.bounded(3));
        const reading::Reading r =
            analyzer::decodeRecord(analyzer::encodeRecord(record), model).reading;
        const QByteArray line = reading::boardLine(r);
        const int shape = reading::textShape(r);
        const auto back = reading::readingOf(r.microohms(), r.microvolts(), shape);
        QVERIFY2(back, line.constData());
        QCOMPARE(reading::resistanceText(*back, reading::kOhmUtf8),
                 reading::resistanceText(r, reading::kOhmUtf8));
        QCOMPARE(reading::voltageText(*back), reading::voltageText(r));
        const auto parsed = reading::parseTexts(reading::resistanceText(r, reading::kOhmUtf8),
                                                reading::voltageText(r), reading::kOhmUtf8);
        QVERIFY2(parsed, line.constData());
        QCOMPARE(reading::textShape(*parsed), shape);
        QCOMPARE(parsed->microohms(), r.microohms());
    }
}

void TestReading::valuesOutsideTheirShape_data()
{
    QTest::addColumn<qint64>("microohms");
    QTest::addColumn<qint64>("microvolts");
    QTest::addColumn<int>("shape");
    QTest::addColumn<QByteArray>("texts"); // none: ""
    using enum reading::ResistanceUnit;
    const struct {
        const char *name;
        qint64 microohms, microvolts;
        int shape;
        const char *texts;
    } rows[] = {
        {"fits", 56'700, 4'123'000, shapeOf(1, Milliohm, 3), "056.7m\xCE\xA9 4.123V"},
        {"ohms, five digits", 12'345'000, 12'340'000, shapeOf(3, Ohm, 2), "12.345 \xCE\xA9 12.34V"},
        {"a resistance digit beyond the places", 56'701, 4'123'000, shapeOf(1, Milliohm, 3), ""},
        {"a voltage digit beyond the places", 56'700, 4'123'400, shapeOf(1, Milliohm, 3), ""},
        {"six digits", 100'000'000, 4'123'000, shapeOf(3, Milliohm, 3), ""},
        {"negative", -56'700, 4'123'000, shapeOf(1, Milliohm, 3), ""},
        {"no resistance places", 56'000, 4'123'000, shapeOf(0, Milliohm, 3), ""},
        {"one voltage place", 56'700, 4'100'000, shapeOf(1, Milliohm, 1), ""},
        {"beyond every shape", 56'700, 4'123'000, shapeOf(1, Milliohm, 3) | 64, ""},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.microohms << r.microvolts << r.shape << QByteArray(r.texts);
}

void TestReading::valuesOutsideTheirShape()
{
    QFETCH(qint64, microohms);
    QFETCH(qint64, microvolts);
    QFETCH(int, shape);
    QFETCH(QByteArray, texts);
    const auto r = reading::readingOf(microohms, microvolts, shape);
    QCOMPARE(r ? reading::resistanceText(*r, reading::kOhmUtf8) + ' ' + reading::voltageText(*r)
               : QByteArray(),
             texts);
}

QTEST_APPLESS_MAIN(TestReading)
#include "tst_reading.moc"
