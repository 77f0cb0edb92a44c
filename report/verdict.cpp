#include "report/batch.h"
#include "report/units.h"

namespace report {

void judge(Cell &cell, const Rules &rules)
{
    cell.reasons.clear();
    if (rules.maxMicroohms && cell.microohms() > *rules.maxMicroohms)
        cell.reasons.push_back({QStringLiteral("resistance"),
                                QStringLiteral("%1 > %2").arg(milliohmText(cell.microohms()),
                                                              milliohmText(*rules.maxMicroohms))});
    if (rules.maxSelfDischargeMvPerDay && cell.selfDischargeMvPerDay
        && *cell.selfDischargeMvPerDay > *rules.maxSelfDischargeMvPerDay)
        cell.reasons.push_back({QStringLiteral("self-discharge"),
                                QStringLiteral("%1 > %2 mV/day")
                                    .arg(roundedNumber(*cell.selfDischargeMvPerDay, 2),
                                         roundedNumber(*rules.maxSelfDischargeMvPerDay, 2))});
    if (rules.minCapacityMicroampHours && cell.capacityMicroampHours
        && *cell.capacityMicroampHours < *rules.minCapacityMicroampHours)
        cell.reasons.push_back({QStringLiteral("capacity"),
                                milliampHourText(*cell.capacityMicroampHours)
                                    + QStringLiteral(" < ")
                                    + milliampHourText(*rules.minCapacityMicroampHours)});
    cell.pass = cell.reasons.empty();
}

} // namespace report
