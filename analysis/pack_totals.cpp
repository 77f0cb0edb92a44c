#include "analysis/pack_totals.h"

#include <algorithm>

namespace analysis {

PackTotals packTotals(const std::vector<std::vector<PackCell>> &groups,
                      std::int64_t nominalCellMillivolts)
{
    PackTotals t;
    t.nominalMillivolts = std::int64_t(groups.size()) * nominalCellMillivolts;
    bool allCapacities = !groups.empty();
    std::int64_t weakest = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::vector<PackCell> &cells = groups[g];
        double conductance = 0;
        std::int64_t volts = 0, capacity = 0;
        for (const PackCell &c : cells) {
            conductance += c.microohms > 0 ? 1e6 / double(c.microohms) : 0;
            volts += c.microvolts;
            allCapacities = allCapacities && c.microampHours.has_value();
            capacity += c.microampHours.value_or(0);
        }
        // Cells in parallel settle at one voltage: the group's is their mean.
        if (!cells.empty())
            t.measuredMicrovolts += volts / std::int64_t(cells.size());
        t.ohms += conductance > 0 ? 1 / conductance : 0;
        weakest = g == 0 ? capacity : std::min(weakest, capacity);
    }
    if (allCapacities) {
        t.microampHours = weakest;
        t.wattHours = double(t.nominalMillivolts) / 1000.0 * double(weakest) / 1e6;
    }
    return t;
}

} // namespace analysis
