// The capacity-first match against an exhaustive search of its own on small instances, and
// the arrangement rules on a large one.
#include "analysis/capacity_matching.h"
#include "analysis/errors.h"

#include <QRandomGenerator>
#include <QTest>

#include <set>

using namespace analysis;

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

// Every way to put each cell in a group or leave it out, groups full: the true optimum.
struct BruteForce {
    const std::vector<CapacityCell> &cells;
    PackShape shape;
    std::vector<int> fill;
    std::vector<GroupTotals> totals;
    int out = 0;
    bool found = false;
    CapacityScore best;

    void go(std::size_t k)
    {
        if (k == cells.size()) {
            const CapacityScore s = CapacityFirstObjective::score(totals);
            if (!found || s.capacitySpread < best.capacitySpread
                || (s.capacitySpread == best.capacitySpread
                    && s.resistanceSpread < best.resistanceSpread))
                best = s, found = true;
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

} // namespace

class TestCapacityMatching : public QObject {
    Q_OBJECT

private slots:
    void reachesTheOptimumOnSmallInstances_data()
    {
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("series");
        QTest::addColumn<int>("parallel");
        QTest::newRow("8 into 3S2P") << 8 << 3 << 2;
        QTest::newRow("11 into 2S4P") << 11 << 2 << 4;
        QTest::newRow("12 into 3S3P") << 12 << 3 << 3;
        QTest::newRow("12 into 4S3P") << 12 << 4 << 3;
    }
    void reachesTheOptimumOnSmallInstances()
    {
        QFETCH(int, cells);
        QFETCH(int, series);
        QFETCH(int, parallel);
        const PackShape shape{series, parallel, 1'000'000};
        for (quint32 seed = 1; seed <= 5; ++seed) {
            const auto input = randomCells(seed, cells, 40'000);
            BruteForce exact{input,
                             shape,
                             std::vector<int>(std::size_t(series)),
                             std::vector<GroupTotals>(std::size_t(series)),
                             0,
                             false,
                             {}};
            exact.go(0);
            const CapacityScore got = matchByCapacity(input, shape).score;
            QVERIFY2(double(got.capacitySpread) <= 1.05 * double(exact.best.capacitySpread),
                     qPrintable(QStringLiteral("seed %1: %2 against %3")
                                    .arg(seed)
                                    .arg(got.capacitySpread)
                                    .arg(exact.best.capacitySpread)));
            if (got.capacitySpread == exact.best.capacitySpread)
                QVERIFY(got.resistanceSpread <= 1.05 * exact.best.resistanceSpread + 1e-12);
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
        // Far better than dealing the same cells by hand.
        const CapacityScore dealt = scoreOf(input, serpentineDeal(input, chosen, 20));
        QVERIFY2(m.score.capacitySpread * 10 <= dealt.capacitySpread,
                 qPrintable(QStringLiteral("%1 against %2")
                                .arg(m.score.capacitySpread)
                                .arg(dealt.capacitySpread)));
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
