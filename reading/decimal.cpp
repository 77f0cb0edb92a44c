#include "reading/decimal.h"

#include "core/append.h"
#include "reading/digits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

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

namespace {

using digits::kPowersOfTen;
using digits::writeBefore;

int digitCount(std::uint32_t value)
{
    return value < 10        ? 1
        : value < 100        ? 2
        : value < 1000       ? 3
        : value < 10000      ? 4
        : value < 100000     ? 5
        : value < 1000000    ? 6
        : value < 10000000   ? 7
        : value < 100000000  ? 8
        : value < 1000000000 ? 9
                             : 10;
}

int digitCount(std::uint64_t value)
{
    int n = 1;
    for (; n < 20 && value >= kPowersOfTen[n]; ++n) { }
    return n;
}

// The text of magnitude * 10^-decimals (no trailing zeros after the point), written at p;
// returns its end.
template <typename Unsigned>
char *writeMagnitude(char *p, bool negative, Unsigned magnitude, int decimals)
{
    while (decimals > 0 && magnitude % 10 == 0) {
        magnitude /= 10;
        --decimals;
    }
    const int digits = digitCount(magnitude);
    const int whole = std::max(digits - std::max(decimals, 0), 1);
    if (negative)
        *p++ = '-';
    char *const end = p + whole + (decimals > 0 ? 1 + decimals : 0);
    char *q = end;
    if (decimals > 0) {
        writeBefore(q, magnitude, decimals);
        q -= decimals + 1;
        *q = '.';
        magnitude = decimals < 20 ? Unsigned(magnitude / kPowersOfTen[decimals]) : 0;
    }
    writeBefore(q, magnitude, whole);
    return end;
}

} // namespace

char *writeDecimalText(char *at, Decimal d)
{
    const std::uint64_t magnitude =
        d.units < 0 ? 0 - std::uint64_t(d.units) : std::uint64_t(d.units);
    // Most values fit 32 bits, whose divisions cost less.
    if (magnitude <= std::numeric_limits<std::uint32_t>::max())
        return writeMagnitude(at, d.units < 0, std::uint32_t(magnitude), d.decimals);
    return writeMagnitude(at, d.units < 0, magnitude, d.decimals);
}

void appendDecimalText(QByteArray &out, Decimal d)
{
    char *p = core::roomAtEnd(out, decimalTextRoom(d));
    core::appended(out, writeDecimalText(p, d) - p);
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
