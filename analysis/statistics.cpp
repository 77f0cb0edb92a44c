#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

namespace analysis {

Summary summarize(std::vector<std::int64_t> values, int decimals)
{
    Summary s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.minimum = values.front();
    s.maximum = values.back();
    const std::size_t mid = values.size() / 2;
    const std::int64_t twiceMedian =
        values.size() % 2 ? 2 * values[mid] : values[mid - 1] + values[mid];
    s.median = reading::Decimal{twiceMedian * 5, decimals + 1};

    // Summed as whole numbers so that the mean carries no rounding from the order of the
    // values; deviations are taken from it in floating point.
    long double sum = 0;
    for (std::int64_t v : values)
        sum += v;
    const long double mean = sum / values.size();
    long double squares = 0;
    for (std::int64_t v : values)
        squares += (v - mean) * (v - mean);
    const double scale = std::pow(10.0, -decimals);
    s.mean = double(mean) * scale;
    s.standardDeviation = double(std::sqrt(squares / values.size())) * scale;
    return s;
}

std::vector<std::size_t> histogram(const std::vector<std::int64_t> &values, int bins)
{
    std::vector<std::size_t> counts(std::size_t(std::max(bins, 1)), 0);
    if (values.empty())
        return counts;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const long double width = (long double)(*hi - *lo) / counts.size();
    for (std::int64_t v : values) {
        std::size_t bin = width > 0 ? std::size_t((v - *lo) / width) : 0;
        counts[std::min(bin, counts.size() - 1)] += 1;
    }
    return counts;
}

} // namespace analysis
