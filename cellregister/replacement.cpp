#include "cellregister/replacement.h"

#include "analysis/capacity_matching.h"
#include "analysis/errors.h"
#include "cellregister/errors.h"

#include <algorithm>
#include <cstdint>

namespace cellregister {

PackValues packValues(const std::vector<QStringList> &groups,
                      const QHash<QString, const CellSummary *> &byLabel)
{
    PackValues v;
    for (const QStringList &g : groups) {
        v.groups.emplace_back();
        for (const QString &label : g) {
            const CellSummary *c = byLabel.value(label);
            v.groups.back().push_back(v.cells.size());
            v.cells.push_back({c ? c->microohms : 1, c ? c->microvolts : 0,
                               c && c->capacityMicroampHours ? *c->capacityMicroampHours : 0});
            v.allCapacities = v.allCapacities && c && c->capacityMicroampHours;
        }
    }
    return v;
}

analysis::Rules packRules(const Pack &pack, const std::optional<analysis::Rules> &given,
                          const analysis::Rules &fallback)
{
    return given ? *given : pack.rules.value_or(fallback);
}

Replacement proposeReplacement(const Pack &pack, const QString &failed,
                               const std::vector<CellSummary> &cells, const analysis::Rules &rules)
{
    QHash<QString, const CellSummary *> byLabel;
    for (const CellSummary &c : cells)
        byLabel.insert(c.label, &c);
    Replacement out;
    out.failed = failed;
    out.groups = pack.groups;
    qsizetype position = -1;
    for (std::size_t g = 0; g < pack.groups.size() && position < 0; ++g)
        if ((position = pack.groups[g].indexOf(failed)) >= 0)
            out.group = int(g);
    if (position < 0)
        throw EUnknownEntry(QStringLiteral("cell %1 is not in pack '%2'").arg(failed, pack.name));
    out.position = position;

    // The window the pack was built to, around the cells that stay.
    std::int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (const QStringList &g : pack.groups)
        for (const QString &l : g)
            if (const CellSummary *c = byLabel.value(l); l != failed && c)
                lo = std::min(lo, c->microvolts), hi = std::max(hi, c->microvolts);

    const PackValues before = packValues(pack.groups, byLabel);
    out.before = analysis::scoreOf(before.cells, before.groups);
    QString &place = out.groups[std::size_t(out.group)][position];
    for (const CellSummary &c : cells) {
        if (!inStock(c) || !failures(c, rules).empty())
            continue;
        if (lo <= hi
            && (c.microvolts < hi - pack.maxVoltageSpreadMicrovolts
                || c.microvolts > lo + pack.maxVoltageSpreadMicrovolts))
            continue;
        place = c.label;
        const PackValues v = packValues(out.groups, byLabel);
        analysis::CapacityScore s = analysis::scoreOf(v.cells, v.groups);
        if (!v.allCapacities || !pack.capacityFirst)
            s.capacitySpread = 0;
        if (out.spare.isEmpty() || s.betterThan(out.after))
            out.spare = c.label, out.after = s;
    }
    if (out.spare.isEmpty())
        throw ENotEnoughCells(
            QStringLiteral("no spare cell passes the rules within the voltage window of pack '%1'")
                .arg(pack.name));
    place = out.spare;
    return out;
}

} // namespace cellregister
