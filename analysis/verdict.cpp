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
    if (rules.minMicrovolts && cell.microvolts < *rules.minMicrovolts)
        out.push_back({Rule::MinVoltage, cell.microvolts, *rules.minMicrovolts});
    if (rules.maxMicrovolts && cell.microvolts > *rules.maxMicrovolts)
        out.push_back({Rule::MaxVoltage, cell.microvolts, *rules.maxMicrovolts});
    return out;
}

} // namespace analysis
