#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace analysis {

// A quantity every cell adds to its group. A group's figure is the sum over its cells, or
// 1 / sum for a reciprocal term (conductances sum to the group's parallel resistance).
struct PackTerm {
    std::vector<double> values; // by cell
    bool reciprocal = false;
    // Spreads of the figures closer than this are equally good (0: exact comparison).
    double resolution = 0;
    // Spreads within this fraction of the mean group figure are as good as none, so the next
    // term decides among them (0: every difference counts).
    double tolerance = 0;
};

// What makes one arrangement better than another. The spread (highest less lowest group
// figure) of the first term, less its tolerance, decides; the next term only between equal
// spreads, and so on. At most four terms.
// Then, when given, the least sum of `preference` over the chosen cells.
struct PackObjective {
    std::vector<PackTerm> terms;
    std::vector<double> preference; // by cell, or empty
};

struct PackProblem {
    std::vector<std::size_t> candidates; // the cells that may be chosen
    std::vector<std::int64_t> microvolts; // by cell
    std::int64_t maxVoltageSpreadMicrovolts = 0;
    int series = 1;
    int parallel = 1;
    PackObjective objective;
};

// Up to this many candidates, every choice of cells and every grouping is tried.
inline constexpr std::size_t kExhaustiveCandidates = 12;

// series groups of parallel cells each, chosen from the candidates within the voltage
// window: the optimum for up to kExhaustiveCandidates candidates; above that, a good
// grouping of the best voltage windows improved by swaps between any two groups and with
// unchosen cells until none helps (within a fixed amount of work, so the result is the
// same on every machine). Returns no groups when no window holds enough candidates.
std::vector<std::vector<std::size_t>> searchPack(const PackProblem &problem);

// For a problem searchPack found no groups for: raises ENotEnoughCells naming the pack, the
// window, the most candidates any window holds and how many are missing.
[[noreturn]] void refuseTooFewInWindow(const PackProblem &problem);

// The cost searchPack minimises, for comparing arrangements: lower is better, compared
// element by element.
std::vector<double> packCost(const PackObjective &objective,
                             const std::vector<std::vector<std::size_t>> &groups);

} // namespace analysis
