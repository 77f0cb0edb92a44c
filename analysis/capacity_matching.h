#pragma once

#include "analysis/capacity_objective.h"
#include "analysis/matching.h"

#include <cstdint>
#include <vector>

namespace analysis {

// What a capacity-first match does with cells whose capacity is unknown.
enum class MissingCapacity {
    LeaveOut, // they are not chosen, and the match says how many there were
    Refuse, // EMissingCapacity
};

struct CapacityOptions {
    // Group capacity sums within this fraction of the mean group sum count as equal, and the
    // groups' resistances decide among them.
    double tolerance = 0.001;
    MissingCapacity missing = MissingCapacity::LeaveOut;
};

struct CapacityMatch {
    std::vector<std::vector<std::size_t>> groups; // indices into the cells given
    std::vector<std::size_t> leftOut; // in the order of the input, those without a capacity too
    std::size_t withoutCapacity = 0; // of those left out
    CapacityScore score;
    double meanGroupMicroampHours = 0;
    double meanGroupOhms = 0;
    double toleranceMicroampHours = 0; // the tolerance, as a capacity spread of these groups
};

// Chooses shape.cells() cells with a capacity whose voltages lie within the shape's window
// and arranges them into shape.series groups of shape.parallel: the groups' capacity sums
// within the tolerance of each other when it can, and among such arrangements the one whose
// parallel resistances are most equal, by the same search as the resistance match
// (searchPack): the optimum for up to 12 cells to choose from, and the same result on every
// machine. Raises ENotEnoughCells when the window is too small, EMissingCapacity when told
// to refuse cells without a capacity and there are some.
CapacityMatch matchByCapacity(const std::vector<CapacityCell> &cells, const PackShape &shape,
                              const CapacityOptions &options = {});

// The cells dealt in capacity order, highest first, to groups 1..S, S..1, 1..S, …: what a
// person does by hand, and the yardstick the search is measured against.
std::vector<std::vector<std::size_t>> serpentineDeal(const std::vector<CapacityCell> &cells,
                                                     std::vector<std::size_t> chosen, int series);

// The score of groups of these cells.
CapacityScore scoreOf(const std::vector<CapacityCell> &cells,
                      const std::vector<std::vector<std::size_t>> &groups);

} // namespace analysis
