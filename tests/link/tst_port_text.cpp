// The COM-port field read as a whole number.
#include "link/errors.h"
#include "link/port_text.h"

#include <QtTest>

using namespace analyzer;

class TestPortText : public QObject {
    Q_OBJECT
private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
};

void TestPortText::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");
    const struct {
        const char *text;
        qint64 value;
    } rows[] = {
        {"3", 3},
        {" 3", 3},
        {"   10", 10},
        {"+7", 7},
        {"-1", -1},
        {"007", 7},
        {"$A", 10},
        {"xff", 255},
        {"Xff", 255},
        {"0x1F", 31},
        {"0X1f", 31},
        {"-$A", -10},
        {"65537", 65537},
        {"2147483647", 2147483647LL},
        {"-2147483648", -2147483648LL},
        {"$FFFFFFFF", -1},
        {"$7FFFFFFF", 2147483647LL},
        {"0", 0},
        {"$00000001", 1},
    };
    for (const auto &row : rows)
        QTest::newRow(row.text) << QString::fromLatin1(row.text) << row.value;
}

void TestPortText::accepted()
{
    QFETCH(QString, text);
    QFETCH(qint64, value);
    QCOMPARE(qint64(portTextToNumber(text)), value);
}

void TestPortText::refused_data()
{
    QTest::addColumn<QString>("text");
    const char *rows[] = {"",
                          "3 ",
                          " ",
                          "abc",
                          "+",
                          "-",
                          "$",
                          "0x",
                          "x",
                          "3a",
                          "1.5",
                          "$G",
                          "2147483648",
                          "-2147483649",
                          "$100000000",
                          "$000000001",
                          "+-3",
                          "\t3",
                          "99999999999999999999",
                          "１"};
    for (const char *row : rows)
        QTest::newRow(row[0] ? row : "(empty)") << QString::fromUtf8(row);
}

void TestPortText::refused()
{
    QFETCH(QString, text);
    try {
        portTextToNumber(text);
        QFAIL("accepted");
    } catch (const analyzer::LinkError &e) {
        QCOMPARE(e.fault().kind, analyzer::LinkFault::Kind::NotAnInteger);
        QCOMPARE(e.fault().typed, text);
    }
}

QTEST_APPLESS_MAIN(TestPortText)
#include "tst_port_text.moc"
