#pragma once

#include "analysis/decimal.h"

#include <QByteArrayView>
#include <cstdint>
#include <optional>

namespace analysis {

// One reading as a data-board line shows it, with its numbers exact. The two texts are
// views into the parsed line (GBK bytes) and live as long as it does.
struct Reading {
    int group = 0;
    Decimal ohms;
    Decimal volts;
    QByteArrayView resistanceText; // "056.7mΩ" or "0.300 Ω", the sign as GBK bytes
    QByteArrayView voltageText;    // "4.123V"
    bool milliohmUnit = false;     // the resistance text ends in "mΩ" rather than " Ω"

    // Micro-units hold every reading exactly: the finest resistance step is 0.001 mΩ and
    // the finest voltage step 1 mV.
    std::int64_t microohms() const { return ohms.at(6); }
    std::int64_t microvolts() const { return volts.at(6); }
};

// Reads a line in the shape the record decoder writes: " Group " and the number (0 to 255,
// no leading zeros), seven blanks, the resistance (four or five digits with one to three
// decimals, then "mΩ" or a blank and "Ω"), five blanks, the voltage (four or five digits
// with two or three decimals, then "V"), nothing else. Any other line is no reading.
std::optional<Reading> parseReading(QByteArrayView line);

// The resistance text with its sign as UTF-8, for output that is not GBK.
QByteArray resistanceTextUtf8(const Reading &r);

} // namespace analysis
