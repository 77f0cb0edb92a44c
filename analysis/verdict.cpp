#include "analysis/verdict.h"

#include <cmath>

namespace analysis {

std::vector<Failure> failures(const CellValues &cell, const Rules &rules)
{
    std::vector<Failure> out;
    if (rules.maxMicroohms && cell.microohms > *rules.maxMicroohms)
        out.push_back({Rule::Resistance, cell.microohms, *rules.maxMicroohms});
    if (rules.maxSelfDischargeMvPerDay
        && !(cell.selfDischargeMvPerDay
             && *cell.selfDischargeMvPerDay <= *rules.maxSelfDischargeMvPerDay)) {
        Failure f{Rule::SelfDischarge, cell.selfDischargeMvPerDay, *rules.maxSelfDischargeMvPerDay};
        if (!cell.selfDischargeMvPerDay)
            f.restedDays = cell.restedDays;
        out.push_back(f);
    }
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

std::string restLengthText(double days)
{
    const long long hours = days > 0 ? static_cast<long long>(std::floor(days * 24.0)) : 0;
    return std::to_string(hours / 24) + " d " + std::to_string(hours % 24) + " h";
}

} // namespace analysis
