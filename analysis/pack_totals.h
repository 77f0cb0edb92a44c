#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

// A built cell as the pack's totals need it.
struct PackCell {
    std::int64_t microohms = 0;
    std::int64_t microvolts = 0;
    std::optional<std::int64_t> microampHours;
};

// What a builder reads off a pack: groups in series, each of cells in parallel. Group 1 is
// the pack's − end, the last group its + end.
struct PackTotals {
    std::int64_t nominalMillivolts = 0; // groups × the cells' nominal voltage
    std::int64_t measuredMicrovolts = 0; // the groups' mean voltages added up
    // The weakest group's capacity, which the pack delivers; none while a cell lacks one.
    std::optional<std::int64_t> microampHours;
    std::optional<double> wattHours; // nominal voltage × capacity
    double ohms = 0; // the groups' parallel resistances in series, without connections
};

// A lithium-ion cell's nominal voltage.
inline constexpr std::int64_t kNominalCellMillivolts = 3600;

PackTotals packTotals(const std::vector<std::vector<PackCell>> &groups,
                      std::int64_t nominalCellMillivolts = kNominalCellMillivolts);

} // namespace analysis
