// Cell matching judged by properties of its result, never by a copy of an earlier output.
#include "analysis/errors.h"
#include "analysis/matching.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <set>

using analysis::Cell;
using Cells = std::vector<Cell>;
Q_DECLARE_METATYPE(Cells)
Q_DECLARE_METATYPE(std::vector<std::size_t>)

namespace {

// Cells around mean ± spread (micro-units), uniformly drawn with a fixed seed.
Cells drawCells(int count, std::int64_t ohms, std::int64_t ohmSpread, std::int64_t volts,
                std::int64_t voltSpread, quint32 seed)
{
    QRandomGenerator random(seed);
    Cells cells;
    for (int i = 0; i < count; ++i)
        cells.push_back(
            {ohms + std::int64_t(random.bounded(quint32(2 * ohmSpread + 1))) - ohmSpread,
             volts + std::int64_t(random.bounded(quint32(2 * voltSpread + 1))) - voltSpread});
    return cells;
}

double spreadOfChunks(const Cells &cells, std::vector<std::size_t> chosen, int series, int parallel)
{
    std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microohms < cells[b].microohms;
    });
    auto chunks = std::vector<std::vector<std::size_t>>(std::size_t(series));
    for (std::size_t i = 0; i < chosen.size(); ++i)
        chunks[i / std::size_t(parallel)].push_back(chosen[i]);
    return analysis::spreadOf(analysis::makeGroups(cells, chunks)).ohms;
}

// The least spread of any choice of cells within the window and any grouping of them:
// every cell tried unused or in each group, by brute force.
double optimumSpread(const Cells &cells, int series, int parallel, std::int64_t window)
{
    auto groups = std::vector<std::vector<std::size_t>>(std::size_t(series));
    double best = HUGE_VAL;
    const auto place = [&](auto &self, std::size_t cell) -> void {
        if (cell == cells.size()) {
            std::int64_t lo = INT64_MAX, hi = INT64_MIN;
            for (const auto &g : groups) {
                if (int(g.size()) != parallel)
                    return;
                for (std::size_t c : g) {
                    lo = std::min(lo, cells[c].microvolts);
                    hi = std::max(hi, cells[c].microvolts);
                }
            }
            if (hi - lo <= window)
                best = std::min(best, analysis::spreadOf(analysis::makeGroups(cells, groups)).ohms);
            return;
        }
        self(self, cell + 1);
        for (auto &g : groups) {
            if (int(g.size()) < parallel && cells[cell].microohms > 0) {
                g.push_back(cell);
                self(self, cell + 1);
                g.pop_back();
            }
        }
    };
    place(place, 0);
    return best;
}

} // namespace

class TestMatching : public QObject {
    Q_OBJECT
private slots:
    void properties_data();
    void properties();
    void prefersTheBestMatchingCells();
    void optimumOnSmallInstances_data();
    void optimumOnSmallInstances();
    void choiceOfCells_data();
    void choiceOfCells();
    void tooFewCells_data();
    void tooFewCells();
};

void TestMatching::properties_data()
{
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<qint64>("window");
    QTest::newRow("exactly enough")
        << drawCells(12, 40000, 5000, 3600000, 20000, 1) << 4 << 3 << qint64(50000);
    QTest::newRow("many more cells, narrow window")
        << drawCells(2000, 40000, 5000, 3600000, 20000, 2) << 20 << 10 << qint64(5000);
    QTest::newRow("one group") << drawCells(50, 40000, 5000, 3600000, 20000, 3) << 1 << 7
                               << qint64(50000);
    QTest::newRow("one cell a group")
        << drawCells(50, 40000, 5000, 3600000, 20000, 4) << 9 << 1 << qint64(50000);
    QTest::newRow("wide resistances, zero voltage spread")
        << drawCells(400, 20000, 15000, 3600000, 2, 5) << 8 << 6 << qint64(0);
    Cells withZero = drawCells(30, 40000, 5000, 3600000, 1000, 6);
    withZero[3].microohms = 0;
    QTest::newRow("a cell of zero resistance") << withZero << 29 << 1 << qint64(50000);
}

void TestMatching::properties()
{
    QFETCH(Cells, cells);
    QFETCH(int, series);
    QFETCH(int, parallel);
    QFETCH(qint64, window);
    const analysis::PackMatch m = analysis::matchCells(cells, {series, parallel, window});

    QCOMPARE(int(m.groups.size()), series);
    std::set<std::size_t> seen;
    std::vector<std::size_t> chosen;
    std::int64_t lowV = INT64_MAX, highV = INT64_MIN;
    for (const analysis::CellGroup &g : m.groups) {
        QCOMPARE(int(g.cells.size()), parallel);
        double conductance = 0;
        for (std::size_t c : g.cells) {
            QVERIFY(c < cells.size());
            QVERIFY2(seen.insert(c).second, "a cell is used twice");
            QVERIFY(cells[c].microohms > 0);
            conductance += 1e6 / double(cells[c].microohms);
            lowV = std::min(lowV, cells[c].microvolts);
            highV = std::max(highV, cells[c].microvolts);
            chosen.push_back(c);
        }
        QVERIFY(std::abs(g.ohms - 1 / conductance) <= 1e-12 * g.ohms);
    }
    QVERIFY2(highV - lowV <= window, "the voltage window is not held");
    for (std::size_t c : m.leftOut)
        QVERIFY2(seen.insert(c).second, "a chosen cell is also left out");
    QCOMPARE(seen.size(), cells.size());

    const auto [lo, hi] =
        std::minmax_element(m.groups.begin(), m.groups.end(),
                            [](const auto &a, const auto &b) { return a.ohms < b.ohms; });
    QCOMPARE(m.spread.ohms, hi->ohms - lo->ohms);
    double sum = 0;
    for (const auto &g : m.groups)
        sum += g.ohms;
    QVERIFY(std::abs(m.spread.meanOhms - sum / series) <= 1e-12 * m.spread.meanOhms);
    // The arrangement is never worse than dealing the same cells out in sorted order.
    QVERIFY(m.spread.ohms <= spreadOfChunks(cells, chosen, series, parallel));

    const analysis::PackMatch again = analysis::matchCells(cells, {series, parallel, window});
    for (std::size_t g = 0; g < m.groups.size(); ++g)
        QCOMPARE(again.groups[g].cells, m.groups[g].cells);
}

// Four identical cells and four far off: the pack is made of the identical ones.
void TestMatching::prefersTheBestMatchingCells()
{
    const Cells cells{{30000, 3600000}, {40000, 3600000}, {50000, 3601000}, {40000, 3610000},
                      {40000, 3590000}, {20000, 3600000}, {40000, 3605000}, {70000, 3600000}};
    const analysis::PackMatch m = analysis::matchCells(cells, {2, 2, 50000});
    QCOMPARE(m.leftOut, (std::vector<std::size_t>{0, 2, 5, 7}));
    QCOMPARE(m.spread.ohms, 0.0);
}

void TestMatching::optimumOnSmallInstances_data()
{
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<qint64>("window");
    for (quint32 seed = 1; seed <= 4; ++seed) {
        QTest::addRow("every cell, 3S2P, seed %u", seed)
            << drawCells(6, 36500, 18500, 3600000, 20000, seed) << 3 << 2 << qint64(50000);
        QTest::addRow("8 cells into 2S3P, seed %u", seed)
            << drawCells(8, 36500, 18500, 3600000, 20000, seed) << 2 << 3 << qint64(50000);
        QTest::addRow("8 cells into 3S2P, narrow window, seed %u", seed)
            << drawCells(8, 36500, 18500, 3600000, 20000, seed) << 3 << 2 << qint64(30000);
        QTest::addRow("9 cells into 2S2P, seed %u", seed)
            << drawCells(9, 36500, 18500, 3600000, 20000, seed) << 2 << 2 << qint64(50000);
    }
}

void TestMatching::optimumOnSmallInstances()
{
    QFETCH(Cells, cells);
    QFETCH(int, series);
    QFETCH(int, parallel);
    QFETCH(qint64, window);
    const double optimum = optimumSpread(cells, series, parallel, window);
    const analysis::PackMatch m = analysis::matchCells(cells, {series, parallel, window});
    QVERIFY2(m.spread.ohms <= optimum * (1 + 1e-9),
             qPrintable(QString("%1 > %2").arg(m.spread.ohms).arg(optimum)));
}

void TestMatching::choiceOfCells_data()
{
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<qint64>("maxMicroohms");
    QTest::addColumn<bool>("preferLow");
    QTest::addColumn<std::vector<std::size_t>>("leftOut");
    const Cells pairs{{40000, 3600000}, {20000, 3600000}, {40000, 3600000}, {20000, 3600000},
                      {40000, 3600000}, {20000, 3600000}, {40000, 3600000}, {20000, 3600000}};
    QTest::newRow("low cells preferred among equal spreads")
        << pairs << qint64(0) << true << std::vector<std::size_t>{0, 2, 4, 6};
    QTest::newRow("limit leaves out the high ones")
        << pairs << qint64(30000) << false << std::vector<std::size_t>{0, 2, 4, 6};
    Cells many = drawCells(40, 40000, 15000, 3600000, 20000, 9);
    std::vector<std::size_t> above;
    for (std::size_t i = 0; i < many.size(); ++i) {
        if (many[i].microohms > 45000)
            above.push_back(i);
    }
    QTest::newRow("limit above the exhaustive size") << many << qint64(45000) << false << above;
}

void TestMatching::choiceOfCells()
{
    QFETCH(Cells, cells);
    QFETCH(qint64, maxMicroohms);
    QFETCH(bool, preferLow);
    QFETCH(std::vector<std::size_t>, leftOut);
    const std::size_t chosen = cells.size() - leftOut.size();
    const analysis::PackMatch m =
        analysis::matchCells(cells, {int(chosen / 2), 2, 50000}, {maxMicroohms, preferLow, 0});
    QCOMPARE(m.leftOut, leftOut);
}

void TestMatching::tooFewCells_data()
{
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<qint64>("window");
    QTest::addColumn<QString>("message");
    QTest::newRow("voltages too far apart")
        << Cells{{40000, 3500000}, {40000, 3600000}, {40000, 3700000}, {40000, 3710000}}
        << qint64(50000)
        << "2S2P needs 4 cells whose voltages lie within 0.05 V of each other; the most there are "
           "is 2, 2 missing";
    QTest::newRow("zero resistance does not count")
        << Cells{{40000, 3600000}, {0, 3600000}, {40000, 3600000}, {40000, 3600000}} << qint64(1000)
        << "2S2P needs 4 cells whose voltages lie within 0.001 V of each other; the most there are "
           "is 3, 1 missing";
    QTest::newRow("no cells")
        << Cells{} << qint64(50000)
        << "2S2P needs 4 cells whose voltages lie within 0.05 V of each other; the most there "
           "are is 0, 4 missing";
}

void TestMatching::tooFewCells()
{
    QFETCH(Cells, cells);
    QFETCH(qint64, window);
    QFETCH(QString, message);
    try {
        analysis::matchCells(cells, {2, 2, window});
        QFAIL("no error");
    } catch (const ENotEnoughCells &e) {
        QCOMPARE(e.message(), message);
    }
}

QTEST_APPLESS_MAIN(TestMatching)
#include "tst_matching.moc"
