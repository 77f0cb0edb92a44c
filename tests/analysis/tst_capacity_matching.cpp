// The capacity-first match against an exhaustive search of its own on small instances, and
// the arrangement rules on a large one.
#include "match_reference.h"

#include "analysis/capacity_matching.h"
#include "analysis/errors.h"

#include <QRandomGenerator>
#include <QTest>

#include <random>
#include <set>

using namespace analysis;

Q_DECLARE_METATYPE(MissingCapacity)

namespace {

std::vector<CapacityCell> randomCells(quint32 seed, int count, std::int64_t voltSpread)
{
    QRandomGenerator random(seed);
    std::vector<CapacityCell> cells;
    for (int i = 0; i < count; ++i)
        cells.push_back({random.bounded(qint64(18'000), qint64(55'001)),
                         4'100'000 + random.bounded(qint64(voltSpread + 1)),
                         1000 * random.bounded(qint64(2000), qint64(3001))});
    return cells;
}

// How far the capacity spread of these groups lies beyond the tolerance.
double excess(const CapacityScore &s, const std::vector<GroupTotals> &totals, double tolerance)
{
    double mean = 0;
    for (const GroupTotals &t : totals)
        mean += double(t.microampHours) / double(totals.size());
    return std::max(0.0, double(s.capacitySpread) - tolerance * mean);
}

std::vector<GroupTotals> totalsOf(const std::vector<CapacityCell> &cells,
                                  const std::vector<std::vector<std::size_t>> &groups)
{
    std::vector<GroupTotals> totals;
    for (const auto &g : groups)
        totals.push_back(CapacityFirstObjective::totals(cells, g));
    return totals;
}

// Every way to put each cell in a group or leave it out, groups full: the true optimum.
struct BruteForce {
    const std::vector<CapacityCell> &cells;
    PackShape shape;
    double tolerance;
    std::vector<int> fill;
    std::vector<GroupTotals> totals;
    int out = 0;
    bool found = false;
    CapacityScore best;
    double bestExcess = 0;

    void go(std::size_t k)
    {
        if (k == cells.size()) {
            const CapacityScore s = CapacityFirstObjective::score(totals);
            const double e = excess(s, totals, tolerance);
            if (!found || e < bestExcess
                || (e == bestExcess && s.resistanceSpread < best.resistanceSpread))
                best = s, bestExcess = e, found = true;
            return;
        }
        if (out < int(cells.size() - shape.cells())) {
            ++out;
            go(k + 1);
            --out;
        }
        for (std::size_t g = 0; g < totals.size(); ++g) {
            if (fill[g] == shape.parallel)
                continue;
            ++fill[g];
            totals[g].add(cells[k]);
            go(k + 1);
            totals[g].add(cells[k], -1);
            --fill[g];
        }
    }
};

// S groups of P cells whose capacities add up to the same sum, so that an arrangement
// without any capacity spread exists, among `extra` cells drawn at random.
std::vector<CapacityCell> feasibleCells(quint32 seed, int series, int parallel, int extra)
{
    QRandomGenerator random(seed);
    const auto resistance = [&] { return random.bounded(qint64(18'000), qint64(55'001)); };
    const auto volts = [&] { return 4'100'000 + random.bounded(qint64(40'001)); };
    std::vector<CapacityCell> cells;
    const std::int64_t sum = 2500 * parallel;
    for (int g = 0; g < series; ++g) {
        std::int64_t rest = sum;
        for (int k = 1; k < parallel; ++k) {
            // Room for the cells still to come to fit between 2000 and 3000 mAh.
            const std::int64_t low = std::max<std::int64_t>(2000, rest - 3000 * (parallel - k));
            const std::int64_t high = std::min<std::int64_t>(3000, rest - 2000 * (parallel - k));
            const std::int64_t c = random.bounded(qint64(low), qint64(high + 1));
            cells.push_back({resistance(), volts(), 1000 * c});
            rest -= c;
        }
        cells.push_back({resistance(), volts(), 1000 * rest});
    }
    for (int k = 0; k < extra; ++k)
        cells.push_back({resistance(), volts(), 1000 * random.bounded(qint64(2000), qint64(3001))});
    // The planted groups must not sit together at the start of the input.
    std::shuffle(cells.begin(), cells.end(), std::mt19937(seed));
    return cells;
}

// The naive resistance match of the same chosen cells: dealt by resistance, then swaps
// between the highest and lowest group.
double referenceResistanceSpread(const std::vector<CapacityCell> &cells,
                                 const std::vector<std::vector<std::size_t>> &groups)
{
    std::vector<Cell> plain;
    std::vector<std::size_t> chosen;
    for (const auto &g : groups)
        for (std::size_t c : g) {
            chosen.push_back(plain.size());
            plain.push_back({cells[c].microohms, cells[c].microvolts});
        }
    const PackShape shape{int(groups.size()), int(groups.front().size()), 1'000'000};
    auto dealt = previous_matching::deal(plain, chosen, shape);
    previous_matching::improveBySwaps(plain, dealt);
    return spreadOf(makeGroups(plain, dealt)).ohms;
}

} // namespace

class TestCapacityMatching : public QObject {
    Q_OBJECT

private slots:
    void reachesTheOptimumOnSmallInstances_data()
    {
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("series");
        QTest::addColumn<int>("parallel");
        QTest::addColumn<double>("tolerance");
        for (const double tolerance : {0.0, 0.001, 0.01}) {
            QTest::addRow("8 into 3S2P, tolerance %g", tolerance) << 8 << 3 << 2 << tolerance;
            QTest::addRow("11 into 2S4P, tolerance %g", tolerance) << 11 << 2 << 4 << tolerance;
            QTest::addRow("12 into 3S3P, tolerance %g", tolerance) << 12 << 3 << 3 << tolerance;
            QTest::addRow("12 into 4S3P, tolerance %g", tolerance) << 12 << 4 << 3 << tolerance;
        }
    }
    void reachesTheOptimumOnSmallInstances()
    {
        QFETCH(int, cells);
        QFETCH(int, series);
        QFETCH(int, parallel);
        QFETCH(double, tolerance);
        const PackShape shape{series, parallel, 1'000'000};
        for (quint32 seed = 1; seed <= 5; ++seed) {
            const auto input = randomCells(seed, cells, 40'000);
            BruteForce exact{input,
                             shape,
                             tolerance,
                             std::vector<int>(std::size_t(series)),
                             std::vector<GroupTotals>(std::size_t(series)),
                             0,
                             false,
                             {}};
            exact.go(0);
            const CapacityMatch m = matchByCapacity(input, shape, {tolerance});
            const double got = excess(m.score, totalsOf(input, m.groups), tolerance);
            QVERIFY2(got <= 1.05 * exact.bestExcess,
                     qPrintable(QStringLiteral("seed %1: %2 beyond the tolerance against %3")
                                    .arg(seed)
                                    .arg(got)
                                    .arg(exact.bestExcess)));
            if (got == exact.bestExcess)
                QVERIFY(m.score.resistanceSpread <= 1.05 * exact.best.resistanceSpread + 1e-12);
        }
    }

    void arrangesEveryCellOnceWithinTheWindow_data()
    {
        QTest::addColumn<int>("cells");
        QTest::addColumn<qint64>("voltSpread");
        QTest::newRow("2000 cells, all in the window") << 2000 << qint64(40'000);
        QTest::newRow("2000 cells, a third in the window") << 2000 << qint64(150'000);
    }
    void arrangesEveryCellOnceWithinTheWindow()
    {
        QFETCH(int, cells);
        QFETCH(qint64, voltSpread);
        const PackShape shape{20, 10, 50'000};
        const auto input = randomCells(7, cells, voltSpread);
        const CapacityMatch m = matchByCapacity(input, shape);
        std::set<std::size_t> seen(m.leftOut.begin(), m.leftOut.end());
        std::int64_t lo = INT64_MAX, hi = INT64_MIN;
        std::vector<std::size_t> chosen;
        QCOMPARE(m.groups.size(), std::size_t(20));
        for (const auto &g : m.groups) {
            QCOMPARE(g.size(), std::size_t(10));
            for (std::size_t c : g) {
                QVERIFY(seen.insert(c).second);
                lo = std::min(lo, input[c].microvolts);
                hi = std::max(hi, input[c].microvolts);
                chosen.push_back(c);
            }
        }
        QCOMPARE(seen.size(), input.size());
        QVERIFY(hi - lo <= shape.maxVoltageSpreadMicrovolts);
        // Far better than dealing the same cells by hand, or within the tolerance.
        const CapacityScore dealt = scoreOf(input, serpentineDeal(input, chosen, 20));
        QVERIFY2(double(m.score.capacitySpread)
                     <= std::max(m.toleranceMicroampHours, 0.1 * double(dealt.capacitySpread)),
                 qPrintable(QStringLiteral("%1 against %2")
                                .arg(m.score.capacitySpread)
                                .arg(dealt.capacitySpread)));
    }

    void capacityWithinToleranceResistanceDecides_data()
    {
        QTest::addColumn<int>("series");
        QTest::addColumn<int>("parallel");
        QTest::addColumn<int>("extra");
        QTest::newRow("3S3P, every choice tried") << 3 << 3 << 3;
        QTest::newRow("13S4P of 600") << 13 << 4 << 548;
        QTest::newRow("14S10P of 1200") << 14 << 10 << 1060;
        QTest::newRow("20S10P of 200, no cell to spare") << 20 << 10 << 0;
    }
    // Whenever the tolerance can be held it is, and the resistances are then balanced no
    // worse than by capacity strictly first and, given cells to choose from, no worse than
    // by a plain resistance match of the same cells that ignores their capacities.
    void capacityWithinToleranceResistanceDecides()
    {
        QFETCH(int, series);
        QFETCH(int, parallel);
        QFETCH(int, extra);
        const PackShape shape{series, parallel, 50'000};
        for (quint32 seed = 1; seed <= 3; ++seed) {
            const auto input = feasibleCells(seed, series, parallel, extra);
            const CapacityMatch m = matchByCapacity(input, shape);
            const CapacityMatch strict = matchByCapacity(input, shape, {0});
            const QString facts =
                QStringLiteral("seed %1: %2 µAh (tolerance %3), %4 Ω, strictly %5 Ω")
                    .arg(seed)
                    .arg(m.score.capacitySpread)
                    .arg(m.toleranceMicroampHours)
                    .arg(m.score.resistanceSpread)
                    .arg(strict.score.resistanceSpread);
            QVERIFY2(double(m.score.capacitySpread) <= m.toleranceMicroampHours, qPrintable(facts));
            QVERIFY2(m.score.resistanceSpread <= strict.score.resistanceSpread, qPrintable(facts));
            if (extra > int(shape.cells()))
                QVERIFY2(m.score.resistanceSpread <= referenceResistanceSpread(input, m.groups),
                         qPrintable(facts));
        }
    }

    void cellsWithoutACapacity_data()
    {
        QTest::addColumn<MissingCapacity>("choice");
        QTest::addColumn<int>("missing");
        QTest::addColumn<bool>("refused");
        QTest::newRow("left out, and counted") << MissingCapacity::LeaveOut << 5 << false;
        QTest::newRow("refused") << MissingCapacity::Refuse << 5 << true;
        QTest::newRow("none missing, nothing refused") << MissingCapacity::Refuse << 0 << false;
    }
    void cellsWithoutACapacity()
    {
        QFETCH(MissingCapacity, choice);
        QFETCH(int, missing);
        QFETCH(bool, refused);
        auto input = randomCells(11, 40, 40'000);
        for (int k = 0; k < missing; ++k)
            input[std::size_t(7 * k)].microampHours.reset();
        const PackShape shape{3, 4, 50'000};
        try {
            const CapacityMatch m = matchByCapacity(input, shape, {0.001, choice});
            QVERIFY(!refused);
            QCOMPARE(m.withoutCapacity, std::size_t(missing));
            QCOMPARE(m.leftOut.size(), input.size() - shape.cells());
            for (const auto &g : m.groups)
                for (std::size_t c : g)
                    QVERIFY(input[c].microampHours.has_value());
        } catch (const EMissingCapacity &e) {
            QVERIFY(refused);
            QCOMPARE(e.missing, std::size_t(missing));
            QCOMPARE(e.message(), QStringLiteral("5 of the 40 cells have no capacity"));
        }
    }

    void refusesTooNarrowAWindow()
    {
        QVERIFY_THROWS_EXCEPTION(
            ENotEnoughCells,
            matchByCapacity(randomCells(3, 30, 1'000'000), PackShape{5, 5, 10'000}));
    }
};

QTEST_GUILESS_MAIN(TestCapacityMatching)
#include "tst_capacity_matching.moc"
