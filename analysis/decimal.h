#pragma once

#include <QByteArray>
#include <cstdint>

namespace analysis {

// An exact decimal number: units / 10^decimals. Readings are decimal texts, and converting
// them through binary floating point would print 0.056700000000000003 for 056.7mΩ.
struct Decimal {
    std::int64_t units = 0;
    int decimals = 0;

    // The same value with `decimals` places; places dropped are cut off, not rounded.
    std::int64_t at(int places) const;

    friend bool operator==(const Decimal &a, const Decimal &b) { return a.at(9) == b.at(9); }
};

// The shortest plain decimal text of the value: no exponent, no trailing zeros after the
// point, no point for a whole number ("0.0567", "4.123", "0", "12").
QByteArray decimalText(Decimal d);
// The same text appended to out, for writers of millions of rows.
void appendDecimalText(QByteArray &out, Decimal d);

// value rounded to `places` decimals (half away from zero), written as decimalText writes it.
QByteArray roundedText(double value, int places);

} // namespace analysis
