// The verdict on a cell: each limit with the cell's value below, at and above it, and unknown.
#include "analysis/verdict.h"

#include <QtTest>

namespace {

// "resistance 60001>60000", "capacity ?<2000000": a failure as the table states it.
QString shown(const analysis::Failure &f)
{
    static const char *const names[] = {"resistance", "self-discharge", "capacity", "min-voltage",
                                        "max-voltage"};
    const auto number = [](const analysis::Quantity &q) {
        return std::visit([](auto v) { return QString::number(v); }, q);
    };
    return QString::fromLatin1(names[int(f.rule)]) + u' '
        + (f.known() ? number(*f.value) : QStringLiteral("?"))
        + (f.rule == analysis::Rule::Capacity || f.rule == analysis::Rule::MinVoltage ? u'<' : u'>')
        + number(f.limit);
}

} // namespace

class TestVerdict : public QObject {
    Q_OBJECT
private slots:
    void failures_data();
    void failures();
    void voltage_data();
    void voltage();
};

void TestVerdict::failures_data()
{
    QTest::addColumn<bool>("limits"); // false: no limit set at all
    QTest::addColumn<qint64>("microohms");
    QTest::addColumn<double>("discharge"); // below zero: not known
    QTest::addColumn<qint64>("capacity"); // below zero: not known
    QTest::addColumn<QStringList>("failed");
    const auto row = [](const char *name, bool limits, qint64 microohms, double discharge,
                        qint64 capacity, const QStringList &failed) {
        QTest::newRow(name) << limits << microohms << discharge << capacity << failed;
    };
    // Limits: 60000 µΩ, 2.5 mV/day, 2000000 µAh.
    row("within every limit", true, 59'999, 2.49, 2'000'001, {});
    row("every value on its limit passes", true, 60'000, 2.5, 2'000'000, {});
    row("resistance above", true, 60'001, 1, 2'500'000, {"resistance 60001>60000"});
    row("self-discharge above", true, 40'000, 2.51, 2'500'000, {"self-discharge 2.51>2.5"});
    row("self-discharge not known yet", true, 40'000, -1, 2'500'000, {"self-discharge ?>2.5"});
    row("capacity below", true, 40'000, 1, 1'999'999, {"capacity 1999999<2000000"});
    row("capacity not known", true, 40'000, 1, -1, {"capacity ?<2000000"});
    row("every rule, in rule order", true, 90'000, -1, 1'000,
        {"resistance 90000>60000", "self-discharge ?>2.5", "capacity 1000<2000000"});
    // Reading files: no limit but resistance, perhaps none, and nothing else known.
    row("no limits, nothing known", false, 90'000, -1, -1, {});
}

void TestVerdict::failures()
{
    QFETCH(bool, limits);
    QFETCH(qint64, microohms);
    QFETCH(double, discharge);
    QFETCH(qint64, capacity);
    QFETCH(QStringList, failed);
    analysis::Rules rules;
    if (limits) {
        rules.maxMicroohms = 60'000;
        rules.maxSelfDischargeMvPerDay = 2.5;
        rules.minCapacityMicroampHours = 2'000'000;
    }
    analysis::CellValues cell;
    cell.microohms = microohms;
    if (discharge >= 0)
        cell.selfDischargeMvPerDay = discharge;
    if (capacity >= 0)
        cell.capacityMicroampHours = capacity;
    QStringList got;
    for (const analysis::Failure &f : analysis::failures(cell, rules))
        got << shown(f);
    QCOMPARE(got, failed);
}

// The voltage rules: no default, each limit inclusive, listed after the other rules.
void TestVerdict::voltage_data()
{
    QTest::addColumn<bool>("limits"); // false: no voltage rule
    QTest::addColumn<qint64>("microvolts");
    QTest::addColumn<QStringList>("failed");
    QTest::newRow("no voltage rule: 1 V passes") << false << qint64(1'000'000) << QStringList{};
    QTest::newRow("on the minimum") << true << qint64(3'000'000) << QStringList{};
    QTest::newRow("below the minimum")
        << true << qint64(2'999'999) << QStringList{"min-voltage 2999999<3000000"};
    QTest::newRow("on the maximum") << true << qint64(4'250'000) << QStringList{};
    QTest::newRow("above the maximum, after resistance")
        << true << qint64(4'250'001)
        << QStringList{"resistance 90000>60000", "max-voltage 4250001>4250000"};
}

void TestVerdict::voltage()
{
    QFETCH(bool, limits);
    QFETCH(qint64, microvolts);
    QFETCH(QStringList, failed);
    analysis::Rules rules;
    rules.maxMicroohms = microvolts == 4'250'001 ? 60'000 : 100'000;
    if (limits) {
        rules.minMicrovolts = 3'000'000;
        rules.maxMicrovolts = 4'250'000;
    }
    analysis::CellValues cell;
    cell.microohms = 90'000;
    cell.microvolts = microvolts;
    QStringList got;
    for (const analysis::Failure &f : analysis::failures(cell, rules))
        got << shown(f);
    QCOMPARE(got, failed);
}

QTEST_GUILESS_MAIN(TestVerdict)
#include "tst_verdict.moc"
