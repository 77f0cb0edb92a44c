#pragma once

#include "reading/decimal.h"

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace analysis {

// The summary of one quantity over a batch of readings. Values come in as whole numbers of
// a fixed step (micro-ohms, micro-volts) so that minimum, maximum and median stay exact.
struct Summary {
    std::size_t count = 0;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    // Exact: the middle value, or the mean of the two middle values, at one more decimal.
    reading::Decimal median;
    double mean = 0;
    // Of the batch as a whole (divided by the count, not by the count less one).
    double standardDeviation = 0;
};

// `values` are whole numbers of 10^-decimals; the median comes back at decimals + 1.
// An empty batch gives a summary with count 0.
Summary summarize(std::vector<std::int64_t> values, int decimals);

// How many values fall in each of `bins` equal bins from the minimum to the maximum; the
// maximum goes into the last bin. All values in the first bin when they are all equal.
std::vector<std::size_t> histogram(const std::vector<std::int64_t> &values, int bins);

// Values counted as they come, each distinct value once with its count: the readings of a
// file of any length take the room of the few distinct values they show (their steps are
// fixed), and give the same summary and histogram as the values themselves.
class Tally {
public:
    void add(std::int64_t value) { ++counts_[value]; }
    std::size_t count() const;
    // Each distinct value with its count, from the smallest.
    std::vector<std::pair<std::int64_t, std::size_t>> runs() const;

private:
    std::unordered_map<std::int64_t, std::size_t> counts_;
};

Summary summarize(const Tally &tally, int decimals);
std::vector<std::size_t> histogram(const Tally &tally, int bins);

} // namespace analysis
