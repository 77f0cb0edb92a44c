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

void appendDecimalText(QByteArray &out, Decimal d)
{
    const bool negative = d.units < 0;
    std::uint64_t magnitude = negative ? 0 - std::uint64_t(d.units) : std::uint64_t(d.units);
    int decimals = d.decimals;
    while (decimals > 0 && magnitude % 10 == 0) {
        magnitude /= 10;
        --decimals;
    }
    // Digits from the last; at least one before the point.
    char digits[32];
    int n = 0;
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 || n <= decimals);
    if (negative && !(n == 1 && digits[0] == '0'))
        out += '-';
    for (int i = n - 1; i >= 0; --i) {
        out += digits[i];
        if (i == decimals && decimals > 0)
            out += '.';
    }
}

QByteArray decimalText(Decimal d)
{
    QByteArray text;
    appendDecimalText(text, d);
    return text;
}

QByteArray roundedText(double value, int places)
{
    return decimalText({std::llround(value * double(powerOfTen(places))), places});
}

} // namespace analysis
