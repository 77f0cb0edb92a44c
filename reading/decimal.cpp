#include "reading/decimal.h"

#include "core/append.h"

#include <cmath>

namespace reading {

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
    return places >= decimals ? units * powerOfTen(places - decimals)
                              : units / powerOfTen(decimals - places);
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
    // Digits from the last, at least one before the point, written into a local buffer
    // from its end and appended in one go.
    char text[40];
    char *p = text + sizeof text;
    for (int i = 0; i < decimals; ++i, magnitude /= 10)
        *--p = char('0' + magnitude % 10);
    if (decimals > 0)
        *--p = '.';
    do
        *--p = char('0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    if (negative && !(p[0] == '0' && p + 1 == text + sizeof text))
        *--p = '-';
    core::appendBytes(out, p, text + sizeof text - p);
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

} // namespace reading
