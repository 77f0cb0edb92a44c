#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace report {

// An axis from `low` to `high` with ticks every `step` at round values (1, 2 or 5 times a
// power of ten); low and high are themselves ticks.
struct Axis {
    double low = 0;
    double high = 1;
    double step = 1;

    std::vector<double> ticks() const;
    // A tick's text with just the decimals the step needs: "0.05", "12", "3.5".
    QString tickText(double value) const;
    // Where value lies from 0 (low) to 1 (high).
    double fraction(double value) const { return (value - low) / (high - low); }
};

// About `ticks` round ticks covering low to high; a single value gets room around it.
Axis roundAxis(double low, double high, int ticks = 6);

// The smallest of 1, 2, 5, 10, 20, 50, ... that is at least `value`.
double roundStepAtLeast(double value);

// Counts of whole-number values in equal bins of round width starting at a round value. The
// width suits the spread of the middle half of the values (Freedman and Diaconis: twice the
// interquartile range over the cube root of the count), at most maxBins, and is a multiple
// of the values' common step, so no bin is empty only because no value can fall in it.
// Values far outside the middle half (beyond three interquartile ranges) are counted
// beside the bins, so that a few dead cells do not squeeze every good one into two bars.
// Bins include their lower edge; the last also its upper one.
struct Bins {
    std::int64_t start = 0;
    std::int64_t width = 1;
    std::vector<std::size_t> counts;
    std::size_t below = 0, above = 0; // far out, beside the bins
    std::int64_t lowest = 0, highest = 0; // of all the values
};
Bins roundBins(const std::vector<std::int64_t> &values, int maxBins = 40);

} // namespace report
