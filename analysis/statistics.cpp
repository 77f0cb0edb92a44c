#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

using Runs = std::vector<std::pair<std::int64_t, std::size_t>>;

Runs runsOf(std::vector<std::int64_t> values)
{
    std::sort(values.begin(), values.end());
    Runs runs;
    for (std::int64_t v : values) {
        if (runs.empty() || runs.back().first != v)
            runs.push_back({v, 0});
        ++runs.back().second;
    }
    return runs;
}

// The value at index i (from 0) of the sorted values the runs stand for.
std::int64_t valueAt(const Runs &runs, std::size_t i)
{
    for (const auto &[value, count] : runs) {
        if (i < count)
            return value;
        i -= count;
    }
    return runs.back().first;
}

Summary summarizeRuns(const Runs &runs, int decimals)
{
    Summary s;
    for (const auto &run : runs)
        s.count += run.second;
    if (s.count == 0)
        return s;
    s.minimum = runs.front().first;
    s.maximum = runs.back().first;
    const std::size_t mid = s.count / 2;
    const std::int64_t twiceMedian =
        s.count % 2 ? 2 * valueAt(runs, mid) : valueAt(runs, mid - 1) + valueAt(runs, mid);
    s.median = reading::Decimal{twiceMedian * 5, decimals + 1};

    // Summed as whole numbers so that the mean carries no rounding from the order of the
    // values; deviations are taken from it in floating point.
    long double sum = 0;
    for (const auto &[value, count] : runs)
        sum += (long double)value * count;
    const long double mean = sum / s.count;
    long double squares = 0;
    for (const auto &[value, count] : runs)
        squares += (value - mean) * (value - mean) * count;
    const double scale = std::pow(10.0, -decimals);
    s.mean = double(mean) * scale;
    s.standardDeviation = double(std::sqrt(squares / s.count)) * scale;
    return s;
}

std::vector<std::size_t> histogramOfRuns(const Runs &runs, int bins)
{
    std::vector<std::size_t> counts(std::size_t(std::max(bins, 1)), 0);
    if (runs.empty())
        return counts;
    const std::int64_t lo = runs.front().first, hi = runs.back().first;
    const long double width = (long double)(hi - lo) / counts.size();
    for (const auto &[value, count] : runs) {
        std::size_t bin = width > 0 ? std::size_t((value - lo) / width) : 0;
        counts[std::min(bin, counts.size() - 1)] += count;
    }
    return counts;
}

} // namespace

Summary summarize(std::vector<std::int64_t> values, int decimals)
{
    return summarizeRuns(runsOf(std::move(values)), decimals);
}

std::vector<std::size_t> histogram(const std::vector<std::int64_t> &values, int bins)
{
    return histogramOfRuns(runsOf(values), bins);
}

std::size_t Tally::count() const
{
    std::size_t n = 0;
    for (const auto &run : counts_)
        n += run.second;
    return n;
}

std::vector<std::pair<std::int64_t, std::size_t>> Tally::runs() const
{
    Runs runs(counts_.begin(), counts_.end());
    std::sort(runs.begin(), runs.end());
    return runs;
}

Summary summarize(const Tally &tally, int decimals)
{
    return summarizeRuns(tally.runs(), decimals);
}

std::vector<std::size_t> histogram(const Tally &tally, int bins)
{
    return histogramOfRuns(tally.runs(), bins);
}

} // namespace analysis
