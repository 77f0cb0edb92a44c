// The report's parts that carry numbers: round axes, bins that hold every cell once,
// verdicts from the rules, and the cell names given on the command line.
#include "cli/common/errors.h"
#include "cli/options/options.h"
#include "cli/pictures/batch_register.h"
#include "cli/register/cell_labels.h"
#include "report/axis.h"
#include "report/batch.h"
#include "report/captions.h"
#include "report/register/register_batch.h"

#include <QtTest>

#include <cmath>

using Values = std::vector<std::int64_t>;
Q_DECLARE_METATYPE(Values)

namespace {

bool isRoundStep(double step)
{
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    return std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9
        || std::abs(mantissa - 5) < 1e-9;
}

bool isMultiple(double value, double step)
{
    const double q = value / step;
    return std::abs(q - std::round(q)) < 1e-6;
}

} // namespace

class TestReportParts : public QObject {
    Q_OBJECT
private slots:
    void axes_data();
    void axes();
    void bins_data();
    void bins();
    void verdicts_data();
    void verdicts();
    void cellNames_data();
    void cellNames();
    void badArguments_data();
    void badArguments();
    void registerVerdicts_data();
    void registerVerdicts();
};

void TestReportParts::axes_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("milliohms of a batch") << 30.5 << 69.8;
    QTest::newRow("voltages") << 3.909 << 4.181;
    QTest::newRow("one value") << 4.2 << 4.2;
    QTest::newRow("zero alone") << 0.0 << 0.0;
    QTest::newRow("counts") << 0.0 << 1317.0;
    QTest::newRow("below zero") << -0.35 << 2.1;
    QTest::newRow("tiny spread") << 3.7001 << 3.7004;
}

void TestReportParts::axes()
{
    QFETCH(double, low);
    QFETCH(double, high);
    const report::Axis a = report::roundAxis(low, high);
    QVERIFY(isRoundStep(a.step));
    // Ends within rounding of the values count as covering them.
    const double slack = a.step * 1e-9;
    QVERIFY(a.low <= low + slack && a.high >= high - slack && a.high > a.low);
    QVERIFY(isMultiple(a.low, a.step) && isMultiple(a.high, a.step));
    const std::vector<double> ticks = a.ticks();
    QVERIFY2(ticks.size() >= 2 && ticks.size() <= 12, qPrintable(QString::number(ticks.size())));
    // Every tick's text reads back as its value.
    for (double t : ticks)
        QVERIFY2(std::abs(a.tickText(t).toDouble() - t) < a.step / 1000, qPrintable(a.tickText(t)));
}

void TestReportParts::bins_data()
{
    QTest::addColumn<Values>("values");
    QTest::newRow("milliohms in 0.1 steps") << Values{30500, 44800, 55000, 69800, 70000, 61200};
    QTest::newRow("maximum on a round edge") << Values{30000, 40000, 50000, 60000, 70000};
    QTest::newRow("all equal") << Values{4123000, 4123000, 4123000};
    QTest::newRow("one value") << Values{56700};
    QTest::newRow("steps of 10 mV") << Values{3600000, 3610000, 3650000, 4200000};
    QTest::newRow("steps of 3") << Values{3, 6, 9, 12, 300};
    QTest::newRow("below zero") << Values{-1500, -20, 0, 900};
    // 1 200 good cells of 15 to 60 mΩ, five dead ones at 700 mΩ and one shorted.
    Values batch;
    for (int i = 0; i < 1200; ++i)
        batch.push_back(15'000 + (i * 7919) % 45'001);
    batch.insert(batch.end(), 5, 700'000);
    batch.push_back(1);
    QTest::newRow("a few dead cells far out") << batch;
}

void TestReportParts::bins()
{
    QFETCH(Values, values);
    const report::Bins b = report::roundBins(values);
    std::size_t total = b.below + b.above;
    for (std::size_t n : b.counts)
        total += n;
    QCOMPARE(total, values.size());
    QVERIFY(b.width > 0);
    QCOMPARE(b.start % b.width, 0);
    QVERIFY(b.counts.size() <= 40);
    QVERIFY(b.counts.front() > 0 && b.counts.back() > 0);
    // Each value lies in a bin whose edges hold it, with the last bin closed, or is counted
    // beside them.
    const std::int64_t end = b.start + b.width * std::int64_t(b.counts.size());
    std::size_t below = 0, above = 0;
    for (std::int64_t v : values) {
        below += v < b.start;
        above += v > end;
    }
    QCOMPARE(below, b.below);
    QCOMPARE(above, b.above);
    // The middle half of the values spreads over several bars once there are enough of them.
    Values sorted = values;
    std::sort(sorted.begin(), sorted.end());
    if (values.size() >= 100)
        QVERIFY((sorted[sorted.size() * 3 / 4] - sorted[sorted.size() / 4]) / b.width >= 4);
}

void TestReportParts::verdicts_data()
{
    QTest::addColumn<qint64>("microohms");
    QTest::addColumn<double>("discharge"); // below zero: unknown
    QTest::addColumn<qint64>("capacity"); // 0: unknown
    QTest::addColumn<QStringList>("failed");
    const QStringList none;
    QTest::newRow("within every rule") << qint64(45000) << 1.0 << qint64(2500) << none;
    QTest::newRow("resistance on the limit passes") << qint64(60000) << 1.0 << qint64(2500) << none;
    QTest::newRow("resistance above")
        << qint64(60001) << 1.0 << qint64(2500) << QStringList{"resistance"};
    QTest::newRow("every rule broken") << qint64(90000) << 7.5 << qint64(1200)
                                       << QStringList{"resistance", "self-discharge", "capacity"};
    QTest::newRow("unknown values fail the rules that need them")
        << qint64(45000) << -1.0 << qint64(0) << QStringList{"self-discharge", "capacity"};
}

void TestReportParts::verdicts()
{
    QFETCH(qint64, microohms);
    QFETCH(double, discharge);
    QFETCH(qint64, capacity);
    QFETCH(QStringList, failed);
    analysis::Rules rules;
    rules.maxMicroohms = 60000;
    rules.maxSelfDischargeMvPerDay = 5;
    rules.minCapacityMicroampHours = 2'000'000;
    report::Cell cell;
    cell.ohms = {microohms, 6};
    if (discharge >= 0)
        cell.selfDischargeMvPerDay = discharge;
    if (capacity > 0)
        cell.capacityMicroampHours = capacity * 1000;
    report::judge(cell, rules);
    QStringList rulesBroken;
    for (const analysis::Failure &f : cell.failures)
        rulesBroken << report::captions(report::Language::English).ruleName(f.rule);
    QCOMPARE(rulesBroken, failed);
    QCOMPARE(cell.pass, failed.isEmpty());
}

void TestReportParts::cellNames_data()
{
    QTest::addColumn<QString>("range");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QStringList>("labels"); // empty: refused
    QTest::newRow("range") << "A001..A004"
                           << "" << QStringList{"A001", "A002", "A003", "A004"};
    QTest::newRow("range of one") << "B7..B7"
                                  << "" << QStringList{"B7"};
    QTest::newRow("prefix with digits") << "R2-09..R2-11"
                                        << "" << QStringList{"R2-09", "R2-10", "R2-11"};
    QTest::newRow("first cell, past its width") << ""
                                                << "A998" << QStringList{"A998", "A999", "A1000"};
    QTest::newRow("reversed") << "A020..A001"
                              << "" << QStringList{};
    QTest::newRow("prefixes differ") << "A001..B003"
                                     << "" << QStringList{};
    QTest::newRow("widths differ") << "A01..A003"
                                   << "" << QStringList{};
    QTest::newRow("no number") << "A..B"
                               << "" << QStringList{};
    QTest::newRow("three ends") << "A1..A2..A3"
                                << "" << QStringList{};
    QTest::newRow("first cell without a number") << ""
                                                 << "cell" << QStringList{};
}

void TestReportParts::cellNames()
{
    QFETCH(QString, range);
    QFETCH(QString, first);
    QFETCH(QStringList, labels);
    try {
        const QStringList got = range.isEmpty() ? cli::labelsFrom(first, 3, "report")
                                                : cli::namedCells(range, {}, "report");
        QCOMPARE(got, labels);
    } catch (const EUsageError &e) {
        QVERIFY2(labels.isEmpty(), qPrintable(e.message()));
        QVERIFY(e.message().startsWith(QStringLiteral("report: --")));
        QVERIFY(
            e.message().endsWith(QStringLiteral("\nTry 'battery-analyzer-cli report --help'.")));
    }
}

void TestReportParts::badArguments_data()
{
    QTest::addColumn<bool>("labels");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("fault"); // empty: accepted
    QTest::newRow("help wins over a fault") << false << QStringList{"--bogus", "--help"} << "";
    // Without a file the cells come from the register.
    QTest::newRow("no file: the register") << false << QStringList{"--output", "r.html"} << "";
    QTest::newRow("files and a register") << false << QStringList{"f.txt", "--db", "c.sqlite"}
                                          << "--db and reading files exclude each other";
    QTest::newRow("a register's rule on files")
        << false << QStringList{"f.txt", "--min-capacity", "2000"}
        << "--min-capacity needs the cell register, not reading files";
    QTest::newRow("a register's labels without a choice")
        << true << QStringList{"--db", "c.sqlite", "--output", "l.pdf"}
        << "--cells A001..A020, --cells-from FILE, --pack NAME or --only pass|fail is required";
    QTest::newRow("a range and a pack")
        << true << QStringList{"--cells", "A1..A2", "--pack", "P1", "--output", "l.pdf"}
        << "--cells or --cells-from and --pack exclude each other";
    QTest::newRow("matching from the register")
        << false << QStringList{"--series", "2", "--parallel", "2"}
        << "--series needs reading files, not the cell register";
    QTest::newRow("self-discharge limit with too many decimals")
        << false << QStringList{"--max-self-discharge", "0.0001"}
        << "--max-self-discharge takes mV/day from 0 to 100000, not '0.0001'";
    QTest::newRow("unknown option")
        << false << QStringList{"f.txt", "--bogus"} << "unknown option '--bogus'";
    QTest::newRow("missing value")
        << false << QStringList{"f.txt", "--output"} << "--output needs a value";
    QTest::newRow("language") << false << QStringList{"f.txt", "--language", "fr"}
                              << "--language takes en or zh, not 'fr'";
    QTest::newRow("open needs a file")
        << false << QStringList{"f.txt", "--open"} << "--open needs --output FILE";
    QTest::newRow("labels on standard output")
        << true << QStringList{"f.txt", "--first-cell", "A1"} << "--output FILE is required";
    QTest::newRow("labels without names")
        << true << QStringList{"f.txt", "--output", "l.pdf"}
        << "--cells A001..A020, --cells-from FILE or --first-cell A001 is required: a label's "
           "code is its cell's name";
    QTest::newRow("both ways of naming")
        << false << QStringList{"f.txt", "--cells", "A1..A2", "--first-cell", "A1"}
        << "--cells, --cells-from and --first-cell exclude each other";
    QTest::newRow("short options as everywhere")
        << true << QStringList{"f.txt", "--first-cell", "A1", "-o", "l.pdf"} << "";
    QTest::newRow("size too small")
        << true
        << QStringList{"f.txt", "--first-cell", "A1", "--output", "l.pdf", "--size", "11x29mm"}
        << "--size takes WIDTHxHEIGHTmm with each from 12 to 150, like 62x29mm, not '11x29mm'";
    QTest::newRow("size without unit")
        << true
        << QStringList{"f.txt", "--first-cell", "A1", "--output", "l.pdf", "--size", "62x29"}
        << "--size takes WIDTHxHEIGHTmm with each from 12 to 150, like 62x29mm, not '62x29'";
    QTest::newRow("largest size") << true
                                  << QStringList{"f.txt", "--first-cell", "A1",       "--output",
                                                 "l.pdf", "--size",       "150x150mm"}
                                  << "";
    QTest::newRow("series alone") << false << QStringList{"f.txt", "--series", "3"}
                                  << "--series S and --parallel P go together";
    QTest::newRow("resistance limit with too many decimals")
        << false << QStringList{"f.txt", "--max-resistance", "0.0000001"}
        << "--max-resistance takes ohms from 0.000001 to 1000, not '0.0000001'";
    QTest::newRow("only what") << true << QStringList{"f.txt", "--first-cell", "A1",  "--output",
                                                      "l.pdf", "--only",       "good"}
                               << "--only takes pass or fail, not 'good'";
}

void TestReportParts::badArguments()
{
    QFETCH(bool, labels);
    QFETCH(QStringList, args);
    QFETCH(QString, fault);
    const QString name = labels ? QStringLiteral("labels") : QStringLiteral("report");
    try {
        cli::parseArguments(QStringList{name} + args);
        QVERIFY2(fault.isEmpty(), "accepted");
    } catch (const EUsageError &e) {
        QCOMPARE(e.message(),
                 QStringLiteral("%1: %2\nTry 'battery-analyzer-cli %1 --help'.").arg(name, fault));
    }
}

void TestReportParts::registerVerdicts_data()
{
    QTest::addColumn<qint64>("capacityMicroampHours"); // negative: unknown
    QTest::addColumn<double>("restDays");
    QTest::addColumn<qint64>("microvolts");
    QTest::addColumn<QStringList>("rules"); // the reasons' rules, in order
    QTest::addColumn<QStringList>("inChinese"); // the reasons as the Chinese report words them
    QTest::newRow("passes everything")
        << qint64(2'200'500) << 8.0 << qint64(4'100'000) << QStringList{} << QStringList{};
    QTest::newRow("no capacity known") << qint64(-1) << 8.0 << qint64(4'100'000)
                                       << QStringList{"capacity"} << QStringList{"容量 未知"};
    QTest::newRow("too little capacity")
        << qint64(2'199'999) << 8.0 << qint64(4'100'000) << QStringList{"capacity"}
        << QStringList{"容量 2199.999 mAh < 2200 mAh"};
    QTest::newRow("rest too short, resistance too high")
        << qint64(2'300'000) << 3.0 << qint64(4'100'000)
        << QStringList{"resistance", "self-discharge"}
        << QStringList{"内阻 61 mΩ > 60 mΩ", "自放电 未知（已静置 3 d 0 h，需 7 d）"};
    QTest::newRow("no rest start, resistance too high")
        << qint64(2'300'000) << -1.0 << qint64(4'100'000)
        << QStringList{"resistance", "self-discharge"}
        << QStringList{"内阻 61 mΩ > 60 mΩ", "自放电 未知（没有静置起点）"};
    QTest::newRow("voltage too low")
        << qint64(2'300'000) << 8.0 << qint64(2'999'999) << QStringList{"voltage"}
        << QStringList{"电压 2.999999 V < 3 V"};
    QTest::newRow("voltage too high")
        << qint64(2'300'000) << 8.0 << qint64(4'300'000) << QStringList{"voltage"}
        << QStringList{"电压 4.3 V > 4.25 V"};
}

// A register cell keeps the register's verdict, its reasons under the report's rule names.
void TestReportParts::registerVerdicts()
{
    QFETCH(qint64, capacityMicroampHours);
    QFETCH(double, restDays);
    QFETCH(qint64, microvolts);
    QFETCH(QStringList, rules);
    QFETCH(QStringList, inChinese);
    cellregister::CellSummary c;
    c.label = QStringLiteral("A001");
    c.microohms = restDays < 7 ? 61'000 : 40'000;
    c.microvolts = microvolts;
    c.latest = QDateTime(QDate(2026, 12, 9), QTime(9, 0), Qt::UTC);
    if (restDays >= 0)
        c.restStart = c.latest.addSecs(qint64(-restDays * 86400));
    c.restStartMicrovolts = microvolts + 5'000;
    if (capacityMicroampHours >= 0)
        c.capacityMicroampHours = capacityMicroampHours;
    analysis::Rules r;
    r.maxMicroohms = 60'000;
    r.maxSelfDischargeMvPerDay = 1;
    r.minCapacityMicroampHours = 2'200'000;
    r.minMicrovolts = 3'000'000;
    r.maxMicrovolts = 4'250'000;
    const report::Cell cell = report::reportCell(c, r);
    QStringList got, worded;
    for (const analysis::Failure &f : cell.failures) {
        got << report::captions(report::Language::English).ruleName(f.rule);
        worded << report::captions(report::Language::Chinese).failureText(f, r);
    }
    QCOMPARE(got, rules);
    QCOMPARE(worded, inChinese);
    QCOMPARE(cell.pass, rules.isEmpty());
    QCOMPARE(cell.microohms(), c.microohms);
    QCOMPARE(bool(cell.selfDischargeMvPerDay), restDays >= 7);
}

QTEST_GUILESS_MAIN(TestReportParts)
#include "tst_report_parts.moc"
