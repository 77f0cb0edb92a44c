#pragma once

#include <QByteArray>
#include <cstdint>

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
// The same text written at `at`, which has room for decimalTextRoom(d) bytes; returns its
// end. For writers that fill one reserved buffer through a pointer.
char *writeDecimalText(char *at, Decimal d);

// value rounded to `places` decimals (half away from zero), written as decimalText writes it.
QByteArray roundedText(double value, int places);

} // namespace reading
