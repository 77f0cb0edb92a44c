#include "analysis/decimal.h"

#include <cmath>

namespace analysis {

namespace {

std::int64_t powerOfTen(int n)
{
    std::int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

} // namespace

std::int64_t Decimal::at(int places) const
{
    return places >= decimals ? units * powerOfTen(places - decimals) : units / powerOfTen(decimals - places);
}

QByteArray decimalText(Decimal d)
{
    const bool negative = d.units < 0;
    std::uint64_t magnitude = negative ? 0 - std::uint64_t(d.units) : std::uint64_t(d.units);
    int decimals = d.decimals;
    while (decimals > 0 && magnitude % 10 == 0) {
        magnitude /= 10;
        --decimals;
    }
    QByteArray digits = QByteArray::number(magnitude);
    if (decimals > 0) {
        if (digits.size() <= decimals)
            digits.prepend(QByteArray(decimals - digits.size() + 1, '0'));
        digits.insert(digits.size() - decimals, '.');
    }
    if (negative && magnitude != 0)
        digits.prepend('-');
    return digits;
}

QByteArray roundedText(double value, int places)
{
    return decimalText({std::llround(value * double(powerOfTen(places))), places});
}

} // namespace analysis
