#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

// A cell as the capacity-first match sees it: exact micro-units, the capacity when known.
struct CapacityCell {
    std::int64_t microohms = 0;
    std::int64_t microvolts = 0;
    std::optional<std::int64_t> microampHours;
};

// What a parallel group adds up to: its capacity is the sum of its cells' (an unknown one
// adding nothing), its conductance the sum of theirs (its resistance the inverse).
struct GroupTotals {
    std::int64_t microampHours = 0;
    double siemens = 0;

    void add(const CapacityCell &c, int sign = 1);
};

// How good an arrangement is, compared in order: the capacity spread (highest less lowest
// group sum) first, the spread of group resistances second, and between equal spreads the
// sum of squared deviations of the group resistances.
struct CapacityScore {
    std::int64_t capacitySpread = 0; // µAh
    double resistanceSpread = 0; // ohms
    double resistanceSquares = 0;

    // Capacity first, then resistance.
    bool betterThan(const CapacityScore &other) const;
};

// The capacity-first score of group totals, for reporting an arrangement and for comparing
// the few that replacing one cell allows.
class CapacityFirstObjective {
public:
    static CapacityScore score(const std::vector<GroupTotals> &groups);
    static GroupTotals totals(const std::vector<CapacityCell> &cells,
                              const std::vector<std::size_t> &group);
};

} // namespace analysis
