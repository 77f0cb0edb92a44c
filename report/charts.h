#pragma once

#include "report/batch.h"
#include "report/captions.h"

#include <QString>
#include <cstdint>
#include <vector>

// The report's charts, each an inline <svg> element. Every bar, point and cell carries a
// <title>, which browsers show on hover without scripts.
namespace report {

// Bars of round bins over whole-number values of 10^-6 of the display unit times
// `perUnit` (1000 for micro-ohms shown in milliohms); a limit, when given, is marked.
struct HistogramLayout {
    QString id;
    QString axisTitle;
    QString unit;
    std::int64_t perUnit = 1;
    std::optional<std::int64_t> limit;
    QString limitCaption;
};
QString histogramChart(const std::vector<std::int64_t> &values, const HistogramLayout &layout,
                       const Captions &c);

// One point per cell, resistance against voltage; passing cells as dots, failing ones as
// crosses, so the two differ in shape as well as in colour.
QString scatterChart(const std::vector<Cell> &cells, const analysis::Rules &rules,
                     const Captions &c);

// The cells with a self-discharge, lowest first; empty when no cell has one.
QString dischargeChart(const std::vector<Cell> &cells, const analysis::Rules &rules,
                       const Captions &c);

// What a pack's groups add up to, for its layout and spreads.
struct GroupTotals {
    double parallelOhms = 0; // 1 / sum(1 / R)
    std::optional<std::int64_t> capacityMicroampHours; // unknown when a cell's is
};
// A pack's cells, group by group.
using PackCells = std::vector<std::vector<const Cell *>>;
std::vector<GroupTotals> groupTotals(const PackCells &groups);

// The pack's groups drawn as rows of cells, `first` to `last` (from 0, inclusive), with each
// group's capacity sum and parallel resistance.
QString packChart(const PackCells &groups, const std::vector<GroupTotals> &totals,
                  std::size_t first, std::size_t last, const Captions &c);

} // namespace report
