#pragma once

#include <cstdint>
#include <vector>

namespace analysis {

// A cell as matching sees it: its reading in micro-units, exact.
struct Cell {
    std::int64_t microohms = 0;
    std::int64_t microvolts = 0;
};

struct PackShape {
    int series = 1; // parallel groups in series
    int parallel = 1; // cells in each group
    // Every chosen cell's voltage lies within this of every other's.
    std::int64_t maxVoltageSpreadMicrovolts = 50'000;

    std::size_t cells() const { return std::size_t(series) * std::size_t(parallel); }
};

// One parallel group: indices into the cells handed to matchCells.
struct CellGroup {
    std::vector<std::size_t> cells;
    double ohms = 0; // the cells in parallel: 1 / sum(1 / R)
};

// Maximum less minimum group resistance, and the mean it is measured against.
struct Spread {
    double ohms = 0;
    double meanOhms = 0;
    double percentOfMean() const { return meanOhms > 0 ? 100.0 * ohms / meanOhms : 0; }
};

struct PackMatch {
    std::vector<CellGroup> groups;
    std::vector<std::size_t> leftOut; // in the order of the input
    Spread spread;
};

// The resistance of these cells in parallel.
double parallelOhms(const std::vector<Cell> &cells, const std::vector<std::size_t> &group);
Spread spreadOf(const std::vector<CellGroup> &groups);
// Groups of the given cell indices, with their resistances computed.
std::vector<CellGroup> makeGroups(const std::vector<Cell> &cells,
                                  std::vector<std::vector<std::size_t>> members);

struct MatchOptions {
    std::int64_t maxResistanceMicroohms = 0; // cells above it are left out; 0: no limit
    // Among equally good arrangements, the one whose cells have the lowest resistances.
    bool preferLow = false;
    // Spreads closer than this are equally good: the finest step the result is shown in.
    double resolutionOhms = 0;
};

// Chooses shape.cells() cells among those with a resistance above zero (and within the
// limit) whose voltages lie within maxVoltageSpread of each other, and arranges them into
// shape.series groups of shape.parallel cells with group resistances as equal as it can make
// them (see searchPack: the optimum for up to 12 such cells). Deterministic: the same cells
// in the same order give the same result. Raises ENotEnoughCells when no voltage window holds
// enough cells.
PackMatch matchCells(const std::vector<Cell> &cells, const PackShape &shape,
                     const MatchOptions &options = {});

} // namespace analysis
