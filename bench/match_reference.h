#pragma once

// References for judging cell matching: the algorithm the tool used before its swap search
// (cells chosen as the tightest run of resistances, then swaps between the highest and
// lowest group only), and the optimum found by trying every choice and grouping.
#include "analysis/errors.h"
#include "analysis/matching.h"
#include "reading/decimal.h"

#include <algorithm>
#include <cmath>
#include <queue>

namespace previous_matching {

using namespace analysis;

inline double conductance(const Cell &c)
{
    return 1e6 / double(c.microohms);
}

// Tied windows beyond this many are sampled evenly, which keeps degenerate inputs (every
// window equally full) from costing a sort per cell.
constexpr std::size_t kMaxTiedWindows = 64;

struct Block {
    std::vector<std::size_t> cells;
    std::int64_t range = 0;
};

// The run of `size` cells adjacent in resistance order with the smallest range.
inline Block bestBlock(const std::vector<Cell> &cells, std::vector<std::size_t> window,
                       std::size_t size)
{
    std::sort(window.begin(), window.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microohms != cells[b].microohms ? cells[a].microohms < cells[b].microohms
                                                        : a < b;
    });
    const auto r = [&](std::size_t k) { return cells[window[k]].microohms; };
    const double middle = double(window.size() - 1) / 2;
    std::size_t best = 0;
    std::int64_t bestRange = r(size - 1) - r(0);
    double bestOffset = std::abs(double(size - 1) / 2 - middle);
    for (std::size_t k = 1; k + size <= window.size(); ++k) {
        const std::int64_t range = r(k + size - 1) - r(k);
        const double offset = std::abs(double(k) + double(size - 1) / 2 - middle);
        if (range < bestRange || (range == bestRange && offset < bestOffset)) {
            best = k;
            bestRange = range;
            bestOffset = offset;
        }
    }
    return {std::vector<std::size_t>(window.begin() + std::ptrdiff_t(best),
                                     window.begin() + std::ptrdiff_t(best + size)),
            bestRange};
}

inline std::vector<std::size_t> chooseCells(const std::vector<Cell> &cells, const PackShape &shape)
{
    std::vector<std::size_t> usable;
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i].microohms > 0)
            usable.push_back(i);
    std::sort(usable.begin(), usable.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microvolts != cells[b].microvolts
            ? cells[a].microvolts < cells[b].microvolts
            : a < b;
    });

    // Windows start at each distinct voltage and reach maxVoltageSpread above it.
    struct Window {
        std::size_t begin, end;
    };
    std::vector<Window> densest;
    std::size_t most = 0;
    std::size_t end = 0;
    for (std::size_t begin = 0; begin < usable.size(); ++begin) {
        const std::int64_t low = cells[usable[begin]].microvolts;
        if (begin > 0 && cells[usable[begin - 1]].microvolts == low)
            continue;
        while (end < usable.size()
               && cells[usable[end]].microvolts - low <= shape.maxVoltageSpreadMicrovolts)
            ++end;
        const std::size_t count = end - begin;
        if (count > most) {
            most = count;
            densest.clear();
        }
        if (count == most)
            densest.push_back({begin, end});
    }

    const std::size_t needed = shape.cells();
    if (most < needed) {
        throw ENotEnoughCells(
            QString("%1S%2P needs %3 cells whose voltages lie within %4 V of each other; "
                    "the most there are is %5, %6 missing")
                .arg(shape.series)
                .arg(shape.parallel)
                .arg(needed)
                .arg(QString::fromLatin1(
                    reading::decimalText({shape.maxVoltageSpreadMicrovolts, 6})))
                .arg(most)
                .arg(needed - most));
    }

    const std::size_t step = std::max<std::size_t>(1, densest.size() / kMaxTiedWindows);
    Block best;
    bool found = false;
    for (std::size_t w = 0; w < densest.size(); w += step) {
        std::vector<std::size_t> window(usable.begin() + std::ptrdiff_t(densest[w].begin),
                                        usable.begin() + std::ptrdiff_t(densest[w].end));
        Block block = bestBlock(cells, std::move(window), needed);
        if (!found || block.range < best.range) {
            best = std::move(block);
            found = true;
        }
    }
    return best.cells;
}

// Lowest resistance first, each into the group of lowest total conductance with room.
inline std::vector<std::vector<std::size_t>> deal(const std::vector<Cell> &cells,
                                                  std::vector<std::size_t> chosen,
                                                  const PackShape &shape)
{
    std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microohms != cells[b].microohms ? cells[a].microohms < cells[b].microohms
                                                        : a < b;
    });
    std::vector<std::vector<std::size_t>> groups(std::size_t(shape.series));
    using Entry = std::pair<double, std::size_t>; // total conductance, group
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> open;
    for (std::size_t g = 0; g < groups.size(); ++g)
        open.push({0.0, g});
    for (std::size_t cell : chosen) {
        const auto [total, g] = open.top();
        open.pop();
        groups[g].push_back(cell);
        if (groups[g].size() < std::size_t(shape.parallel))
            open.push({total + conductance(cells[cell]), g});
    }
    return groups;
}

inline double totalConductance(const std::vector<Cell> &cells,
                               const std::vector<std::size_t> &group)
{
    double sum = 0;
    for (std::size_t c : group)
        sum += conductance(cells[c]);
    return sum;
}

// Swaps one cell of the highest-conductance group for one of the lowest while that brings
// the two closer. Each swap lowers the sum of squared group conductances, so this ends.
inline void improveBySwaps(const std::vector<Cell> &cells,
                           std::vector<std::vector<std::size_t>> &groups)
{
    if (groups.size() < 2)
        return;
    std::vector<double> totals(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g)
        totals[g] = totalConductance(cells, groups[g]);
    const std::size_t maxRounds = 100 * groups.size() * groups.front().size() + 100;
    for (std::size_t round = 0; round < maxRounds; ++round) {
        const auto [lowIt, highIt] = std::minmax_element(totals.begin(), totals.end());
        const std::size_t low = std::size_t(lowIt - totals.begin());
        const std::size_t high = std::size_t(highIt - totals.begin());
        const double gap = totals[high] - totals[low];
        if (!(gap > 0))
            return;

        // Moving conductance d from high to low leaves a gap of |gap - 2d|; the best d is
        // gap / 2, looked up among the low group's cells sorted by conductance.
        std::vector<std::pair<double, std::size_t>> lowCells;
        for (std::size_t j = 0; j < groups[low].size(); ++j)
            lowCells.push_back({conductance(cells[groups[low][j]]), j});
        std::sort(lowCells.begin(), lowCells.end());
        double bestGap = gap;
        std::size_t bestI = 0, bestJ = 0;
        for (std::size_t i = 0; i < groups[high].size(); ++i) {
            const double ga = conductance(cells[groups[high][i]]);
            const double target = ga - gap / 2;
            auto it = std::lower_bound(lowCells.begin(), lowCells.end(),
                                       std::make_pair(target, std::size_t(0)));
            for (auto cand : {it, it == lowCells.begin() ? it : it - 1}) {
                if (cand == lowCells.end())
                    continue;
                const double newGap = std::abs(gap - 2 * (ga - cand->first));
                if (newGap < bestGap) {
                    bestGap = newGap;
                    bestI = i;
                    bestJ = cand->second;
                }
            }
        }
        // Differences within rounding of the sums are no improvement.
        if (!(bestGap < gap * (1 - 1e-12)))
            return;
        std::swap(groups[high][bestI], groups[low][bestJ]);
        totals[high] = totalConductance(cells, groups[high]);
        totals[low] = totalConductance(cells, groups[low]);
    }
}

inline double spreadOfPrevious(const std::vector<Cell> &cells, const PackShape &shape)
{
    std::vector<std::vector<std::size_t>> members = deal(cells, chooseCells(cells, shape), shape);
    improveBySwaps(cells, members);
    return spreadOf(makeGroups(cells, std::move(members))).ohms;
}

// The least spread of any choice of cells within the voltage window and any grouping.
inline double optimumSpread(const std::vector<Cell> &cells, const PackShape &shape)
{
    std::vector<double> sums(std::size_t(shape.series), 0.0);
    std::vector<int> sizes(std::size_t(shape.series), 0);
    double best = HUGE_VAL;
    std::int64_t lo = INT64_MAX, hi = INT64_MIN;
    const auto place = [&](auto &self, std::size_t cell, int left) -> void {
        if (left == 0) {
            const auto [a, b] = std::minmax_element(sums.begin(), sums.end());
            if (hi - lo <= shape.maxVoltageSpreadMicrovolts)
                best = std::min(best, 1 / *a - 1 / *b);
            return;
        }
        if (cells.size() - cell < std::size_t(left))
            return;
        self(self, cell + 1, left);
        const std::int64_t oldLo = lo, oldHi = hi;
        lo = std::min(lo, cells[cell].microvolts);
        hi = std::max(hi, cells[cell].microvolts);
        for (std::size_t g = 0; g < sums.size(); ++g) {
            if (sizes[g] < shape.parallel && cells[cell].microohms > 0) {
                sums[g] += conductance(cells[cell]);
                ++sizes[g];
                self(self, cell + 1, left - 1);
                --sizes[g];
                sums[g] -= conductance(cells[cell]);
                if (sizes[g] == 0)
                    break; // the other empty groups give the same groupings
            }
        }
        lo = oldLo;
        hi = oldHi;
    };
    place(place, 0, int(shape.cells()));
    return best;
}

} // namespace previous_matching
