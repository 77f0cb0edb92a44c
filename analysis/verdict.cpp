#include "analysis/verdict.h"

namespace analysis {

std::vector<Failure> failures(const CellValues &cell, const Rules &rules)
{
    std::vector<Failure> out;
    if (rules.maxMicroohms && cell.microohms > *rules.maxMicroohms)
        out.push_back({Rule::Resistance, cell.microohms, *rules.maxMicroohms});
    if (rules.maxSelfDischargeMvPerDay
        && !(cell.selfDischargeMvPerDay
             && *cell.selfDischargeMvPerDay <= *rules.maxSelfDischargeMvPerDay))
        out.push_back(
            {Rule::SelfDischarge, cell.selfDischargeMvPerDay, *rules.maxSelfDischargeMvPerDay});
    if (rules.minCapacityMicroampHours
        && !(cell.capacityMicroampHours
             && *cell.capacityMicroampHours >= *rules.minCapacityMicroampHours))
        out.push_back(
            {Rule::Capacity, cell.capacityMicroampHours, *rules.minCapacityMicroampHours});
    return out;
}

} // namespace analysis
