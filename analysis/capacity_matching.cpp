#include "analysis/capacity_matching.h"

#include "analysis/decimal.h"
#include "analysis/errors.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>

namespace analysis {

namespace {

constexpr std::size_t kExhaustiveCells = 12;
// Spares kept for swapping in: the nearest in resistance to the pack's cells.
constexpr std::size_t kMinSpares = 2000;
constexpr qint64 kBudgetMilliseconds = 800;

// The densest voltage window: the most usable cells within the allowed spread.
std::vector<std::size_t> voltageWindow(const std::vector<CapacityCell> &cells, const PackShape &shape)
{
    std::vector<std::size_t> usable;
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i].microohms > 0)
            usable.push_back(i);
    std::sort(usable.begin(), usable.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microvolts != cells[b].microvolts ? cells[a].microvolts < cells[b].microvolts : a < b;
    });
    std::size_t bestBegin = 0, bestEnd = 0, end = 0;
    for (std::size_t begin = 0; begin < usable.size(); ++begin) {
        while (end < usable.size()
               && cells[usable[end]].microvolts - cells[usable[begin]].microvolts <= shape.maxVoltageSpreadMicrovolts)
            ++end;
        if (end - begin > bestEnd - bestBegin)
            bestBegin = begin, bestEnd = end;
    }
    if (bestEnd - bestBegin < shape.cells())
        throw ENotEnoughCells(QStringLiteral("%1S%2P needs %3 cells whose voltages lie within %4 V of each other; "
                                             "the most there are is %5, %6 missing")
                                  .arg(shape.series)
                                  .arg(shape.parallel)
                                  .arg(shape.cells())
                                  .arg(QString::fromLatin1(decimalText({shape.maxVoltageSpreadMicrovolts, 6})))
                                  .arg(bestEnd - bestBegin)
                                  .arg(shape.cells() - (bestEnd - bestBegin)));
    return {usable.begin() + std::ptrdiff_t(bestBegin), usable.begin() + std::ptrdiff_t(bestEnd)};
}

// Every choice of cells and every arrangement of them, each once.
class Exhaustive {
public:
    Exhaustive(const std::vector<CapacityCell> &cells, const std::vector<std::size_t> &window, const PackShape &shape)
        : cells_(cells), window_(window), shape_(shape), groups_(std::size_t(shape.series)),
          totals_(std::size_t(shape.series))
    {
        place(0, 0);
    }
    const std::vector<std::vector<std::size_t>> &best() const { return best_; }

private:
    void place(std::size_t k, std::size_t leftOut)
    {
        if (k == window_.size()) {
            const CapacityScore s = CapacityFirstObjective::score(totals_);
            if (best_.empty() || s.betterThan(bestScore_, false))
                best_ = groups_, bestScore_ = s;
            return;
        }
        const CapacityCell &c = cells_[window_[k]];
        if (leftOut + shape_.cells() < window_.size())
            place(k + 1, leftOut + 1);
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            if (int(groups_[g].size()) == shape_.parallel)
                continue;
            const bool empty = groups_[g].empty();
            groups_[g].push_back(window_[k]);
            totals_[g].add(c);
            place(k + 1, leftOut);
            totals_[g].add(c, -1);
            groups_[g].pop_back();
            // Empty groups are alike: trying the first one is enough.
            if (empty)
                break;
        }
    }

    const std::vector<CapacityCell> &cells_;
    const std::vector<std::size_t> &window_;
    const PackShape &shape_;
    std::vector<std::vector<std::size_t>> groups_;
    std::vector<GroupTotals> totals_;
    std::vector<std::vector<std::size_t>> best_;
    CapacityScore bestScore_;
};

// Swaps between groups and with spares, first on capacity (its squared deviations
// breaking ties) and then on resistance with the capacity spread held.
class SwapSearch {
public:
    SwapSearch(const std::vector<CapacityCell> &cells, std::vector<std::vector<std::size_t>> groups,
               std::vector<std::size_t> spares)
        : cells_(cells), groups_(std::move(groups)), spares_(std::move(spares))
    {
        for (const auto &g : groups_)
            totals_.push_back(CapacityFirstObjective::totals(cells_, g));
        sortSpares();
        timer_.start();
    }

    std::vector<std::vector<std::size_t>> run()
    {
        for (const bool capacityPhase : {true, false}) {
            capacityPhase_ = capacityPhase;
            score_ = CapacityFirstObjective::score(totals_);
            while (!outOfTime() && (swapBetweenGroups() | swapWithSpares())) {
            }
        }
        return groups_;
    }

private:
    bool outOfTime() const { return timer_.elapsed() > kBudgetMilliseconds; }

    void sortSpares()
    {
        std::sort(spares_.begin(), spares_.end(), [&](std::size_t a, std::size_t b) {
            return cells_[a].microampHours != cells_[b].microampHours ? cells_[a].microampHours < cells_[b].microampHours
                                                                      : a < b;
        });
    }

    // Tries the change of cells; keeps it when the score improves.
    bool accept(std::size_t a, const CapacityCell &out, const CapacityCell &in, std::size_t b = SIZE_MAX)
    {
        totals_[a].add(out, -1);
        totals_[a].add(in);
        if (b != SIZE_MAX) {
            totals_[b].add(in, -1);
            totals_[b].add(out);
        }
        const CapacityScore s = CapacityFirstObjective::score(totals_);
        if (s.betterThan(score_, capacityPhase_) && (capacityPhase_ || s.capacitySpread <= score_.capacitySpread)) {
            score_ = s;
            return true;
        }
        totals_[a].add(in, -1);
        totals_[a].add(out);
        if (b != SIZE_MAX) {
            totals_[b].add(out, -1);
            totals_[b].add(in);
        }
        return false;
    }

    bool swapBetweenGroups()
    {
        bool improved = false;
        for (std::size_t a = 0; a < groups_.size() && !outOfTime(); ++a)
            for (std::size_t b = a + 1; b < groups_.size(); ++b)
                for (std::size_t &x : groups_[a])
                    for (std::size_t &y : groups_[b])
                        if (x != y && accept(a, cells_[x], cells_[y], b)) {
                            std::swap(x, y);
                            improved = true;
                        }
        return improved;
    }

    bool swapWithSpares()
    {
        if (spares_.empty())
            return false;
        bool improved = false;
        const auto capacityOf = [&](std::size_t i) { return cells_[i].microampHours; };
        for (std::size_t a = 0; a < groups_.size() && !outOfTime(); ++a) {
            for (std::size_t &x : groups_[a]) {
                // The spares whose capacity brings this group where it should be: towards
                // the mean on capacity; within the present spread on resistance.
                std::int64_t lowWanted, highWanted;
                if (capacityPhase_) {
                    double mean = 0;
                    for (const GroupTotals &t : totals_)
                        mean += double(t.microampHours);
                    mean /= double(totals_.size());
                    const auto wanted = std::int64_t(double(capacityOf(x)) - (double(totals_[a].microampHours) - mean));
                    lowWanted = highWanted = wanted;
                } else {
                    std::int64_t lo = INT64_MAX, hi = INT64_MIN;
                    for (const GroupTotals &t : totals_)
                        lo = std::min(lo, t.microampHours), hi = std::max(hi, t.microampHours);
                    lowWanted = capacityOf(x) + lo - totals_[a].microampHours;
                    highWanted = capacityOf(x) + hi - totals_[a].microampHours;
                }
                auto from = std::lower_bound(spares_.begin(), spares_.end(), lowWanted,
                                             [&](std::size_t s, std::int64_t v) { return capacityOf(s) < v; });
                auto to = std::upper_bound(spares_.begin(), spares_.end(), highWanted,
                                           [&](std::int64_t v, std::size_t s) { return v < capacityOf(s); });
                // On capacity the nearest on either side; on resistance a bounded scan.
                from = spares_.begin() + std::max<std::ptrdiff_t>(0, (from - spares_.begin()) - 2);
                to = spares_.begin()
                    + std::min<std::ptrdiff_t>(std::ptrdiff_t(spares_.size()), (to - spares_.begin()) + 2);
                if (to - from > 64)
                    to = from + 64;
                for (auto it = from; it != to; ++it) {
                    if (accept(a, cells_[x], cells_[*it])) {
                        std::swap(x, *it);
                        sortSpares();
                        improved = true;
                        break;
                    }
                }
            }
        }
        return improved;
    }

    const std::vector<CapacityCell> &cells_;
    std::vector<std::vector<std::size_t>> groups_;
    std::vector<std::size_t> spares_;
    std::vector<GroupTotals> totals_;
    CapacityScore score_;
    bool capacityPhase_ = true;
    QElapsedTimer timer_;
};

std::vector<std::vector<std::size_t>> heuristic(const std::vector<CapacityCell> &cells, std::vector<std::size_t> window,
                                                const PackShape &shape)
{
    const std::size_t n = shape.cells();
    std::sort(window.begin(), window.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microohms != cells[b].microohms ? cells[a].microohms < cells[b].microohms : a < b;
    });
    // The tightest run of resistances, ties to the lowest.
    std::size_t start = 0;
    for (std::size_t k = 1; k + n <= window.size(); ++k)
        if (cells[window[k + n - 1]].microohms - cells[window[k]].microohms
            < cells[window[start + n - 1]].microohms - cells[window[start]].microohms)
            start = k;
    std::vector<std::size_t> chosen(window.begin() + std::ptrdiff_t(start), window.begin() + std::ptrdiff_t(start + n));

    // Spares nearest the run in resistance, taken from either side.
    std::vector<std::size_t> spares;
    const std::size_t wanted = std::max(kMinSpares, 4 * n);
    std::size_t below = start, above = start + n;
    while (spares.size() < wanted && (below > 0 || above < window.size())) {
        const bool takeBelow = above >= window.size()
            || (below > 0
                && cells[window[start]].microohms - cells[window[below - 1]].microohms
                    <= cells[window[above]].microohms - cells[window[start + n - 1]].microohms);
        spares.push_back(takeBelow ? window[--below] : window[above++]);
    }

    std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microampHours != cells[b].microampHours ? cells[a].microampHours > cells[b].microampHours
                                                                : a < b;
    });
    // Largest capacity first into the group of the lowest sum with room.
    std::vector<std::vector<std::size_t>> groups(std::size_t(shape.series));
    std::vector<std::int64_t> sums(groups.size(), 0);
    for (std::size_t c : chosen) {
        std::size_t best = SIZE_MAX;
        for (std::size_t g = 0; g < groups.size(); ++g)
            if (int(groups[g].size()) < shape.parallel && (best == SIZE_MAX || sums[g] < sums[best]))
                best = g;
        groups[best].push_back(c);
        sums[best] += cells[c].microampHours;
    }
    return SwapSearch(cells, std::move(groups), std::move(spares)).run();
}

} // namespace

CapacityScore scoreOf(const std::vector<CapacityCell> &cells, const std::vector<std::vector<std::size_t>> &groups)
{
    std::vector<GroupTotals> totals;
    for (const auto &g : groups)
        totals.push_back(CapacityFirstObjective::totals(cells, g));
    return CapacityFirstObjective::score(totals);
}

std::vector<std::vector<std::size_t>> serpentineDeal(const std::vector<CapacityCell> &cells,
                                                     std::vector<std::size_t> chosen, int series)
{
    std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microampHours != cells[b].microampHours ? cells[a].microampHours > cells[b].microampHours
                                                                : a < b;
    });
    auto groups = std::vector<std::vector<std::size_t>>(std::size_t(series));
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const std::size_t round = k / std::size_t(series), place = k % std::size_t(series);
        groups[round % 2 == 0 ? place : std::size_t(series) - 1 - place].push_back(chosen[k]);
    }
    return groups;
}

CapacityMatch matchByCapacity(const std::vector<CapacityCell> &cells, const PackShape &shape)
{
    const std::vector<std::size_t> window = voltageWindow(cells, shape);
    CapacityMatch m;
    m.groups = window.size() <= kExhaustiveCells ? Exhaustive(cells, window, shape).best()
                                                 : heuristic(cells, window, shape);
    std::vector<bool> used(cells.size(), false);
    for (const auto &g : m.groups)
        for (std::size_t c : g)
            used[c] = true;
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (!used[i])
            m.leftOut.push_back(i);
    m.score = scoreOf(cells, m.groups);
    for (const auto &g : m.groups) {
        const GroupTotals t = CapacityFirstObjective::totals(cells, g);
        m.meanGroupMicroampHours += double(t.microampHours) / double(m.groups.size());
        m.meanGroupOhms += 1 / t.siemens / double(m.groups.size());
    }
    return m;
}

} // namespace analysis
