#pragma once

#include "analysis/capacity_objective.h"
#include "analysis/matching.h"

#include <cstdint>
#include <vector>

namespace analysis {

struct CapacityMatch {
    std::vector<std::vector<std::size_t>> groups; // indices into the cells given
    std::vector<std::size_t> leftOut; // in the order of the input
    CapacityScore score;
    double meanGroupMicroampHours = 0;
    double meanGroupOhms = 0;
};

// Chooses shape.cells() cells whose voltages lie within the shape's window and arranges
// them into shape.series groups of shape.parallel, with the groups' capacity sums as equal
// as it can make them first and their parallel resistances second, by the same search as
// the resistance match (searchPack): the optimum for up to 12 cells to choose from, and the
// same result on every machine. Raises ENotEnoughCells when the window is too small.
CapacityMatch matchByCapacity(const std::vector<CapacityCell> &cells, const PackShape &shape);

// The cells dealt in capacity order, highest first, to groups 1..S, S..1, 1..S, …: what a
// person does by hand, and the yardstick the search is measured against.
std::vector<std::vector<std::size_t>> serpentineDeal(const std::vector<CapacityCell> &cells,
                                                     std::vector<std::size_t> chosen, int series);

// The score of groups of these cells.
CapacityScore scoreOf(const std::vector<CapacityCell> &cells,
                      const std::vector<std::vector<std::size_t>> &groups);

} // namespace analysis
