#include "report/axis.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace report {

double roundStepAtLeast(double value)
{
    if (!(value > 0))
        return 1;
    double power = std::pow(10.0, std::floor(std::log10(value)));
    for (;;) {
        for (double m : {1.0, 2.0, 5.0})
            if (m * power >= value * (1 - 1e-12))
                return m * power;
        power *= 10;
    }
}

Axis roundAxis(double low, double high, int ticks)
{
    if (high < low)
        std::swap(low, high);
    if (high == low) {
        const double room = low == 0 ? 1 : roundStepAtLeast(std::abs(low) / 10);
        low -= room;
        high += room;
    }
    Axis a;
    a.step = roundStepAtLeast((high - low) / std::max(ticks - 1, 1));
    a.low = std::floor(low / a.step + 1e-9) * a.step;
    a.high = std::ceil(high / a.step - 1e-9) * a.step;
    if (a.high <= a.low)
        a.high = a.low + a.step;
    return a;
}

std::vector<double> Axis::ticks() const
{
    std::vector<double> t;
    const int n = int(std::llround((high - low) / step));
    for (int i = 0; i <= n; ++i)
        t.push_back(low + i * step);
    return t;
}

QString Axis::tickText(double value) const
{
    const int decimals = std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
    // Rounding can leave "-0".
    if (std::abs(value) < step / 2)
        value = 0;
    return QString::number(value, 'f', decimals);
}

Bins roundBins(const std::vector<std::int64_t> &values, int maxBins)
{
    Bins b;
    if (values.empty())
        return b;
    std::vector<std::int64_t> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    b.lowest = sorted.front();
    b.highest = sorted.back();
    const std::int64_t q1 = sorted[sorted.size() / 4], q3 = sorted[sorted.size() * 3 / 4];
    const double iqr = double(q3 - q1);
    // The values the bins hold: all, or those within three interquartile ranges.
    auto first = sorted.begin(), last = sorted.end() - 1;
    if (iqr > 0 && sorted.size() >= 20) {
        first = std::lower_bound(sorted.begin(), sorted.end(), double(q1) - 3 * iqr,
                                 [](std::int64_t v, double x) { return double(v) < x; });
        last = std::upper_bound(sorted.begin(), sorted.end(), double(q3) + 3 * iqr,
                                [](double x, std::int64_t v) { return x < double(v); })
            - 1;
    }
    const std::int64_t lo = *first, hi = *last;
    std::int64_t common = 0;
    for (auto v = first; v <= last; ++v)
        common = std::gcd(common, *v - lo);
    const double range = double(hi - lo);
    const double bulk = iqr > 0 ? 2 * iqr / std::cbrt(double(last - first + 1)) : range / 15;
    const double wanted = std::max(bulk, range / std::max(maxBins, 1));
    std::int64_t width = 0;
    for (double w = roundStepAtLeast(std::max(wanted, 1.0)); w < 1e15;
         w = roundStepAtLeast(w * 1.5)) {
        if (common == 0 || std::int64_t(w) % common == 0) {
            width = std::int64_t(w);
            break;
        }
    }
    if (width == 0)
        width =
            common * std::max<std::int64_t>(1, std::int64_t(std::ceil(wanted / double(common))));
    b.width = width;
    // Floor division, for values below zero as well.
    b.start = (lo / width - (lo % width < 0 ? 1 : 0)) * width;
    // The last bin includes its upper edge, so that a maximum on a round value does not get
    // a bin of its own.
    const std::size_t n =
        std::size_t(std::max<std::int64_t>(1, (hi - b.start + width - 1) / width));
    b.counts.assign(n, 0);
    b.below = std::size_t(first - sorted.begin());
    b.above = std::size_t(sorted.end() - 1 - last);
    for (auto v = first; v <= last; ++v)
        ++b.counts[std::min(n - 1, std::size_t((*v - b.start) / width))];
    return b;
}

} // namespace report
