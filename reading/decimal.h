#pragma once

#include "reading/digits.h"

#include <QByteArray>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace reading {

// An exact decimal number: units / 10^decimals. Readings are decimal texts that binary
// floating point holds only nearly: 05.67mΩ worked out as 567 × 10^-5 Ω in double is
// 0.0056700000000000006, and the sums and comparisons made on such values drift further.
struct Decimal {
    std::int64_t units = 0;
    int decimals = 0;

    // The same value with `decimals` places; places dropped are cut off, not rounded.
    std::int64_t at(int places) const;

    // Equal values, whatever their places: 0.50 == 0.5.
    friend bool operator==(const Decimal &a, const Decimal &b) { return a.at(9) == b.at(9); }
};

// The same digits and places: 0.50 and 0.5 differ, as the lines that show them do.
constexpr bool sameDigits(Decimal a, Decimal b)
{
    return a.units == b.units && a.decimals == b.decimals;
}

// The shortest plain decimal text of the value: no exponent, no trailing zeros after the
// point, no point for a whole number ("0.0567", "4.123", "0", "12").
QByteArray decimalText(Decimal d);
// The same text appended to out, for writers of millions of rows.
void appendDecimalText(QByteArray &out, Decimal d);
// The bytes that text can take at most: a sign, twenty whole digits, a point and the places.
constexpr qsizetype decimalTextRoom(Decimal d)
{
    return 22 + (d.decimals > 0 ? d.decimals : 0);
}

namespace detail {

inline int digitCount(std::uint32_t value)
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

inline int digitCount(std::uint64_t value)
{
    int n = 1;
    for (; n < 20 && value >= digits::kPowersOfTen[n]; ++n) { }
    return n;
}

// The text of magnitude * 10^-decimals (no trailing zeros after the point), written at p;
// returns its end.
template <typename Unsigned>
inline char *writeMagnitude(char *p, bool negative, Unsigned magnitude, int decimals)
{
    while (decimals > 0 && magnitude % 10 == 0) {
        magnitude /= 10;
        --decimals;
    }
    const int count = digitCount(magnitude);
    const int whole = std::max(count - std::max(decimals, 0), 1);
    if (negative)
        *p++ = '-';
    char *const end = p + whole + (decimals > 0 ? 1 + decimals : 0);
    char *q = end;
    if (decimals > 0) {
        digits::writeBefore(q, magnitude, decimals);
        q -= decimals + 1;
        *q = '.';
        magnitude = decimals < 20 ? Unsigned(magnitude / digits::kPowersOfTen[decimals]) : 0;
    }
    digits::writeBefore(q, magnitude, whole);
    return end;
}

// The same for a magnitude below 10^8 with 0 to 7 places, the numbers of readings and line
// numbers: its digits in one word, the zeros to drop counted rather than divided off.
inline char *writeEightDigits(char *p, bool negative, std::uint32_t magnitude, int decimals)
{
    const std::uint64_t digitWord = digits::eightDigits(magnitude);
    const std::uint64_t text = digitWord | digits::kAsciiZeros;
    const int point = 8 - decimals; // where the places begin in the word
    // One whole digit at least, a zero when the value is below one.
    const int first = std::min(digits::leadingZeroDigits(digitWord), point - 1);
    const int places = decimals - std::min(decimals, digits::trailingZeroDigits(digitWord));
    *p = '-';
    p += negative ? 1 : 0;
    digits::store(p, text >> (8 * first));
    p += point - first;
    if (places > 0) {
        *p = '.';
        digits::store(p + 1, text >> (8 * point));
        p += 1 + places;
    }
    return p;
}

// The values writeEightDigits leaves, digit pair by digit pair.
[[gnu::noinline]] inline char *writeDecimalTextByDivision(char *at, Decimal d)
{
    const std::uint64_t magnitude =
        d.units < 0 ? 0 - std::uint64_t(d.units) : std::uint64_t(d.units);
    // Most of them fit 32 bits, whose divisions cost less.
    if (magnitude <= 0xFFFFFFFFu)
        return writeMagnitude(at, d.units < 0, std::uint32_t(magnitude), d.decimals);
    return writeMagnitude(at, d.units < 0, magnitude, d.decimals);
}

} // namespace detail

// The same text written at `at`, which has room for decimalTextRoom(d) bytes; returns its
// end. For writers that fill one reserved buffer through a pointer; inline, since a table of
// a million rows writes several in each.
[[gnu::always_inline]] inline char *writeDecimalText(char *at, Decimal d)
{
    const std::uint64_t magnitude =
        d.units < 0 ? 0 - std::uint64_t(d.units) : std::uint64_t(d.units);
    if (digits::kEightDigitWords && magnitude < 100'000'000 && d.decimals >= 0 && d.decimals < 8)
        return detail::writeEightDigits(at, d.units < 0, std::uint32_t(magnitude), d.decimals);
    return detail::writeDecimalTextByDivision(at, d);
}

// value rounded to `places` decimals (half away from zero), written as decimalText writes it.
QByteArray roundedText(double value, int places);

// A non-negative decimal as a person types it (digits with at most one point, "5", "0.25",
// ".5") with at most `places` decimals, as a whole number of 10^-places; none for any other
// text. What the tool's options and the lab view's inputs both read limits with.
std::optional<std::int64_t> decimalUnits(QStringView text, int places);

} // namespace reading
