#pragma once

#include "cellregister/cell_register.h"
#include "cellregister/cell_summary.h"
#include "labview/routes.h"

#include <QByteArray>
#include <memory>
#include <mutex>
#include <vector>

// The register's contents as the pages' scripts read them: JSON built from the register
// layer's own summaries and rules, so that the pages judge a cell exactly as `cells` does.
namespace labview {

// Every cell at one moment, read once per change of the register and shared by the
// requests that follow.
struct CellsSnapshot {
    std::vector<cellregister::CellSummary> cells;

    // The cells a query selects, in its order, with the counts under its rules: kept for the
    // last query, so that turning its pages costs no judging or sorting.
    struct Selection {
        std::vector<const cellregister::CellSummary *> cells;
        int pass = 0;
        int fail = 0;
    };
    mutable std::mutex memoMutex;
    mutable QString memoKey;
    mutable std::shared_ptr<const Selection> memo;
};

// The cells' counts under the query's rules, and the page of them it asks for.
QByteArray cellsJson(const CellsSnapshot &snapshot, const CellQuery &query,
                     report::Language language);

// One cell: its summary, verdict and reasons, status, readings, capacities and packs. Empty
// when the register has no such cell.
QByteArray cellJson(cellregister::CellRegister &r, const QString &label,
                    const analysis::Rules &rules, report::Language language);

// Every pack: its groups with their cells, + and − ends, and totals.
QByteArray packsJson(cellregister::CellRegister &r);

} // namespace labview
