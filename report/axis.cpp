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

Bins roundBins(const std::vector<std::int64_t> &values, int targetBins)
{
    Bins b;
    if (values.empty())
        return b;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    std::int64_t common = 0;
    for (std::int64_t v : values)
        common = std::gcd(common, v - *lo);
    const double wanted = double(*hi - *lo) / std::max(targetBins, 1);
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
    b.start = (*lo / width - (*lo % width < 0 ? 1 : 0)) * width;
    // The last bin includes its upper edge, so that a maximum on a round value does not get
    // a bin of its own.
    const std::size_t n =
        std::size_t(std::max<std::int64_t>(1, (*hi - b.start + width - 1) / width));
    b.counts.assign(n, 0);
    for (std::int64_t v : values)
        ++b.counts[std::min(n - 1, std::size_t((v - b.start) / width))];
    return b;
}

} // namespace report
