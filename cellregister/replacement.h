#pragma once

#include "analysis/capacity_objective.h"
#include "analysis/verdict.h"
#include "cellregister/cell_summary.h"
#include "cellregister/packs.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Which spare takes the place of a failed cell in a saved pack: one choice for every front
// end that proposes it, so that the tool and the lab view never propose different cells.
namespace cellregister {

// A pack's groups as the matching objective scores them; a cell the register lacks counts
// as 1 µΩ and 0 V, and a missing capacity clears allCapacities.
struct PackValues {
    std::vector<analysis::CapacityCell> cells;
    std::vector<std::vector<std::size_t>> groups;
    bool allCapacities = true;
};

PackValues packValues(const std::vector<QStringList> &groups,
                      const QHash<QString, const CellSummary *> &byLabel);

struct Replacement {
    QString failed;
    QString spare;
    int group = 0; // from 0
    qsizetype position = 0; // in the group, from 0
    analysis::CapacityScore before; // the pack with the failed cell
    analysis::CapacityScore after; // with the spare; capacities scored only when they count
    std::vector<QStringList> groups; // the pack with the spare in place
};

// The rules a pack's cells are judged by, for a replacement, its labels or its report: those
// the caller gives, else those the pack was matched under, else `fallback` (a pack saved
// before packs kept their rules).
analysis::Rules packRules(const Pack &pack, const std::optional<analysis::Rules> &given,
                          const analysis::Rules &fallback);

// The spare in stock that passes the rules, lies within the pack's voltage window around
// the cells that stay, and leaves the pack best matched. Raises EUnknownEntry when the cell
// is not in the pack and ENotEnoughCells when no spare fits.
Replacement proposeReplacement(const Pack &pack, const QString &failed,
                               const std::vector<CellSummary> &cells, const analysis::Rules &rules);

} // namespace cellregister
