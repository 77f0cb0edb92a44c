#pragma once

#include "cellregister/cell_register.h"
#include "cellregister/cell_summary.h"
#include "labview/routes.h"

#include <QByteArray>
#include <QHash>
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
    // The report's opening for the last rules and language asked for, made by one request
    // while the others asking for it wait: each making its own would hold a report's worth
    // of every cell at once.
    mutable std::mutex summaryMutex;
    mutable QString summaryKey;
    mutable QByteArray summary;

    // The cell of a label, or null; the index is made on first use.
    const cellregister::CellSummary *find(const QString &label) const;

private:
    mutable std::once_flag indexed_;
    mutable QHash<QString, const cellregister::CellSummary *> index_;
};

// The cells' counts under the query's rules, and the page of them it asks for.
QByteArray cellsJson(const CellsSnapshot &snapshot, const CellQuery &query,
                     report::Language language);

// One cell: its summary, verdict and reasons, status, readings, capacities and packs. Empty
// when the register has no such cell.
QByteArray cellJson(cellregister::CellRegister &r, const QString &label,
                    const analysis::Rules &rules, report::Language language);

// The report's counts, statistics, rules and histograms of every cell under the query's
// rules, as an HTML fragment: the report layer's own, so that page and report agree.
QByteArray summaryHtml(const CellsSnapshot &snapshot, const CellQuery &query,
                       report::Language language);

// Every pack: its groups with their cells as the snapshot holds them (each judged by the
// pack's rules, or `rules` for a pack saved without them), + and − ends, and totals.
QByteArray packsJson(cellregister::CellRegister &r, const CellsSnapshot &snapshot,
                     const analysis::Rules &rules);

// The spare `pack replace` would put in place of a failed cell, and the pack with it.
// Raises EUnknownEntry for an unknown pack or a cell not in it, ENotEnoughCells when no
// spare fits.
QByteArray proposalJson(cellregister::CellRegister &r, const QString &pack, const QString &failed,
                        const analysis::Rules &rules);

// Puts the proposed spare in place of the failed cell, as `pack replace --apply` does, when
// it is still the one the user saw (`expected`); raises EProposalChanged otherwise.
// `keep`: the failed cell goes back in stock rather than being retired.
void applyReplacement(cellregister::CellRegister &r, const QString &pack, const QString &failed,
                      const QString &expected, bool keep, const analysis::Rules &rules);

} // namespace labview
