#include "analysis/capacity_objective.h"

#include <algorithm>
#include <limits>

namespace analysis {

namespace {

// Resistance spreads closer than this (a nano-ohm) are equal: double sums in another order.
constexpr double kOhmsTolerance = 1e-9;

} // namespace

void GroupTotals::add(const CapacityCell &c, int sign)
{
    microampHours += sign * c.microampHours.value_or(0);
    siemens += sign * 1e6 / double(c.microohms);
}

bool CapacityScore::betterThan(const CapacityScore &other) const
{
    if (capacitySpread != other.capacitySpread)
        return capacitySpread < other.capacitySpread;
    if (std::abs(resistanceSpread - other.resistanceSpread) > kOhmsTolerance)
        return resistanceSpread < other.resistanceSpread;
    return resistanceSquares < other.resistanceSquares * (1 - 1e-9);
}

CapacityScore CapacityFirstObjective::score(const std::vector<GroupTotals> &groups)
{
    CapacityScore s;
    if (groups.empty())
        return s;
    std::int64_t lo = std::numeric_limits<std::int64_t>::max(),
                 hi = std::numeric_limits<std::int64_t>::min();
    double rlo = std::numeric_limits<double>::max(), rhi = 0, rSum = 0;
    for (const GroupTotals &g : groups) {
        lo = std::min(lo, g.microampHours);
        hi = std::max(hi, g.microampHours);
        const double ohms = 1 / g.siemens;
        rlo = std::min(rlo, ohms);
        rhi = std::max(rhi, ohms);
        rSum += ohms;
    }
    const double rMean = rSum / double(groups.size());
    for (const GroupTotals &g : groups) {
        const double dr = 1 / g.siemens - rMean;
        s.resistanceSquares += dr * dr;
    }
    s.capacitySpread = hi - lo;
    s.resistanceSpread = rhi - rlo;
    return s;
}

GroupTotals CapacityFirstObjective::totals(const std::vector<CapacityCell> &cells,
                                           const std::vector<std::size_t> &group)
{
    GroupTotals t;
    for (std::size_t c : group)
        t.add(cells[c]);
    return t;
}

} // namespace analysis
