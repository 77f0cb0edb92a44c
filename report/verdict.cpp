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
    if (rules.minCapacityMah && cell.capacityMah && *cell.capacityMah < *rules.minCapacityMah)
        cell.reasons.push_back(
            {QStringLiteral("capacity"),
             QStringLiteral("%1 mAh < %2 mAh").arg(*cell.capacityMah).arg(*rules.minCapacityMah)});
    cell.pass = cell.reasons.empty();
}

} // namespace report
