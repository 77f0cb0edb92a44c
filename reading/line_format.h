#pragma once

#include "reading/digits.h"
#include "reading/reading.h"

#include <QByteArray>
#include <QByteArrayView>
#include <algorithm>
#include <cstdint>
#include <optional>

// The data-board line of a reading, written and read back here and nowhere else:
//   " Group 7       056.7mΩ     4.123V"
// " Group " and the group number, seven blanks, the resistance and its unit ("mΩ" straight
// after the digits, or a blank and "Ω"), five blanks, the voltage and "V". Every number
// shows four digits, or five from 10000 on, with a point before its last places.
namespace reading {

// "Ω" in the GBK code page, the encoding of every line the program writes...
inline constexpr char kOhmGbk[] = "\xA6\xB8";
// ...and in UTF-8, for output that is not GBK.
inline constexpr char kOhmUtf8[] = "\xCE\xA9";

// A data-board line: 8-bit GBK text without a line break.
using BoardLine = QByteArray;

BoardLine boardLine(const Reading &r);

// Reads a line in exactly the shape boardLine writes, with group 0 to 255 (no leading
// zeros), resistances of one to three places, voltages of two or three. Any other line is
// no reading.
std::optional<Reading> parseBoardLine(QByteArrayView line);

// The parts of the line, appended to out: "056.7mΩ" or "0.300 Ω" with the given sign, and
// "4.123V".
void appendResistanceText(QByteArray &out, const Reading &r, const char *ohmSign);
void appendVoltageText(QByteArray &out, const Reading &r);
QByteArray resistanceText(const Reading &r, const char *ohmSign);
QByteArray voltageText(const Reading &r);

namespace detail {

// The bytes writeFixedPoint may touch past where it writes: it writes whole words.
inline constexpr qsizetype kFixedPointRoom = 24;
char *writeFixedPointByDivision(char *p, std::uint32_t units, int places);

// units with leading zeros up to four digits and a point before its last `places` digits,
// written at p, which has kFixedPointRoom bytes; returns its end. The numbers of readings
// take the word of their eight digits, which shows where their leading zeros end without a
// loop.
[[gnu::always_inline]] inline char *writeFixedPoint(char *p, std::uint32_t units, int places)
{
    if (!digits::kEightDigitWords || units >= 100'000'000 || places < 1 || places > 3)
        return writeFixedPointByDivision(p, units, places);
    const std::uint64_t digitWord = digits::eightDigits(units);
    const std::uint64_t text = digitWord | digits::kAsciiZeros;
    const int point = 8 - places;
    // Four digits shown at least: the first four of the word may be left out.
    const int first = std::min(digits::leadingZeroDigits(digitWord), 4);
    digits::store(p, text >> (8 * first));
    p += point - first;
    *p = '.';
    digits::store(p + 1, text >> (8 * point));
    return p + 1 + places;
}

} // namespace detail

// The bytes writeResistanceText and writeVoltageText may touch, whole words included.
inline constexpr qsizetype kTextRoom = 40;

// The same texts written at `at`, which has kTextRoom bytes; they return their end. Inline,
// for the writers of millions of rows. The ohm sign is a character or two, copied here
// rather than measured and copied by calls.
[[gnu::always_inline]] inline char *writeResistanceText(char *at, const Reading &r,
                                                        const char *ohmSign)
{
    char *p = detail::writeFixedPoint(at, std::uint32_t(r.resistance.units), r.resistance.decimals);
    *p++ = r.unit == ResistanceUnit::Milliohm ? 'm' : ' ';
    while (*ohmSign != '\0') // a sign of one or two characters, far within the room
        *p++ = *ohmSign++;
    return p;
}

[[gnu::always_inline]] inline char *writeVoltageText(char *at, const Reading &r)
{
    char *p = detail::writeFixedPoint(at, std::uint32_t(r.voltage.units), r.voltage.decimals);
    *p++ = 'V';
    return p;
}

// How a reading's numbers are shown, in one small number: the resistance's places and
// unit and the voltage's places. With the values in micro-units it gives the texts back
// exactly, so a store need keep the values only once.
int textShape(const Reading &r);
// The reading (group 0, no model) that shows these values in `shape`; none when they do not
// fit it: a digit beyond its places, more digits than a line holds, a shape no line has.
std::optional<Reading> readingOf(std::int64_t microohms, std::int64_t microvolts, int shape);
// The two texts exactly as appendResistanceText (with `ohmSign`) and appendVoltageText write
// them, read back into a reading (group 0, no model); any other text is none.
std::optional<Reading> parseTexts(QByteArrayView resistance, QByteArrayView voltage,
                                  const char *ohmSign);

// units written with leading zeros up to four digits and a point before its last `places`
// digits (1 to 3): 567 with 1 gives "056.7", 65535 with 3 gives "65.535".
QByteArray fixedPointText(std::uint32_t units, int places);

} // namespace reading
