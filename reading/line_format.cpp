#include "reading/line_format.h"

#include "core/append.h"
#include "reading/digits.h"

#include <algorithm>
#include <cstring>

namespace reading {

namespace {

constexpr char kGroupField[] = " Group ";
constexpr char kAfterGroup[] = "       ";
constexpr char kAfterResistance[] = "     ";
constexpr std::int64_t kFiveDigits = 10000;
constexpr std::int64_t kMostUnits = 99999; // five digits

// Writes units with leading zeros up to four digits and a point before its last `places`
// digits so that it ends just before `end`; returns where it begins.
char *fixedPointBefore(char *end, std::uint32_t units, int places)
{
    // The places, then the whole part: the thousands field of one or two digits keeps inner
    // and leading zeros.
    char *p = end;
    if (places > 0) {
        digits::writeBefore(p, units % std::uint32_t(digits::kPowersOfTen[places]), places);
        p -= places;
        *--p = '.';
        units /= std::uint32_t(digits::kPowersOfTen[places]);
    }
    int whole = std::max(4 - places, 1);
    while (whole < 10 && units >= digits::kPowersOfTen[whole])
        ++whole;
    digits::writeBefore(p, units, whole);
    return p - whole;
}

void appendFixedPoint(QByteArray &out, std::uint32_t units, int places)
{
    char text[16];
    char *end = text + sizeof text;
    const char *p = fixedPointBefore(end, units, places);
    core::appendBytes(out, p, end - p);
}

// Reads a number in the shape appendFixedPoint writes, with minPlaces to maxPlaces places,
// at pos; moves pos past it.
std::optional<Decimal> fixedPoint(QByteArrayView s, qsizetype &pos, int minPlaces, int maxPlaces)
{
    // Digits, one point, digits: five digits at most, so that no more than six are read.
    const char *const begin = s.data() + pos, *const end = s.data() + s.size();
    std::int64_t units = 0;
    const char *p = begin;
    for (; p < end && unsigned(*p - '0') < 10 && p - begin < 6; ++p)
        units = units * 10 + (*p - '0');
    const auto whole = int(p - begin);
    if (whole == 0 || p == end || *p != '.')
        return std::nullopt;
    const char *const point = p++;
    for (; p < end && unsigned(*p - '0') < 10 && p - begin < 7; ++p)
        units = units * 10 + (*p - '0');
    const auto places = int(p - point - 1);
    const int digits = whole + places;
    // Four digits, or five when they make 10000 or more: a leading zero only fills the
    // first four.
    const bool width = digits == 4 || (digits == 5 && units >= kFiveDigits);
    if (!width || places < minPlaces || places > maxPlaces)
        return std::nullopt;
    pos += p - begin;
    return Decimal{units, places};
}

bool takes(QByteArrayView s, qsizetype &pos, QByteArrayView expected)
{
    if (s.size() - pos < expected.size()
        || std::memcmp(s.data() + pos, expected.data(), size_t(expected.size())) != 0)
        return false;
    pos += expected.size();
    return true;
}

std::optional<int> groupNumber(QByteArrayView s, qsizetype &pos)
{
    const qsizetype start = pos;
    int group = 0;
    while (pos < s.size() && pos - start < 4 && s[pos] >= '0' && s[pos] <= '9')
        group = group * 10 + (s[pos++] - '0');
    const qsizetype digits = pos - start;
    if (digits == 0 || digits > 3 || group > 255 || (digits > 1 && s[start] == '0'))
        return std::nullopt;
    return group;
}

// Units of a number with `places` decimals from a value in millionths; none when the value
// has digits beyond the places or the number more digits than a line shows.
std::optional<std::int64_t> unitsOf(std::int64_t millionths, int places)
{
    std::int64_t scale = 1;
    for (int i = places; i < 6; ++i)
        scale *= 10;
    if (millionths < 0 || millionths % scale != 0 || millionths / scale > kMostUnits)
        return std::nullopt;
    return millionths / scale;
}

} // namespace

int textShape(const Reading &r)
{
    return (r.resistance.decimals & 3) | (r.unit == ResistanceUnit::Ohm ? 4 : 0)
        | ((r.voltage.decimals & 3) << 3);
}

std::optional<Reading> readingOf(std::int64_t microohms, std::int64_t microvolts, int shape)
{
    Reading r;
    r.resistance.decimals = shape & 3;
    r.unit = (shape & 4) != 0 ? ResistanceUnit::Ohm : ResistanceUnit::Milliohm;
    r.voltage.decimals = (shape >> 3) & 3;
    // Exactly the places parseBoardLine accepts, so that every shape stored is one a line has.
    if ((shape & ~31) != 0 || r.resistance.decimals < 1 || r.voltage.decimals < 2)
        return std::nullopt;
    // A resistance in milliohms has three places fewer in micro-ohms.
    const auto resistance =
        unitsOf(microohms, r.resistance.decimals + (r.unit == ResistanceUnit::Milliohm ? 3 : 0));
    const auto voltage = unitsOf(microvolts, r.voltage.decimals);
    if (!resistance || !voltage)
        return std::nullopt;
    r.resistance.units = *resistance;
    r.voltage.units = *voltage;
    return r;
}

std::optional<Reading> parseTexts(QByteArrayView resistance, QByteArrayView voltage,
                                  const char *ohmSign)
{
    Reading r;
    qsizetype pos = 0;
    const auto ohms = fixedPoint(resistance, pos, 1, 3);
    if (!ohms)
        return std::nullopt;
    r.resistance = *ohms;
    const QByteArray milliSign = QByteArray("m") + ohmSign;
    const QByteArray ohmSignAlone = QByteArray(" ") + ohmSign;
    if (takes(resistance, pos, milliSign))
        r.unit = ResistanceUnit::Milliohm;
    else if (takes(resistance, pos, ohmSignAlone))
        r.unit = ResistanceUnit::Ohm;
    else
        return std::nullopt;
    if (pos != resistance.size())
        return std::nullopt;
    pos = 0;
    const auto volts = fixedPoint(voltage, pos, 2, 3);
    if (!volts || !takes(voltage, pos, "V") || pos != voltage.size())
        return std::nullopt;
    r.voltage = *volts;
    return r;
}

QByteArray fixedPointText(std::uint32_t units, int places)
{
    QByteArray text;
    appendFixedPoint(text, units, places);
    return text;
}

void appendResistanceText(QByteArray &out, const Reading &r, const char *ohmSign)
{
    // In one piece: the number before its unit and sign.
    char text[32];
    char *end = text + 16;
    const char *p = fixedPointBefore(end, std::uint32_t(r.resistance.units), r.resistance.decimals);
    *end = r.unit == ResistanceUnit::Milliohm ? 'm' : ' ';
    // The sign is a character or two: copied here rather than measured and copied by calls.
    char *q = end + 1;
    for (const char *s = ohmSign; *s != '\0' && q < text + sizeof text; ++s)
        *q++ = *s;
    core::appendBytes(out, p, q - p);
}

void appendVoltageText(QByteArray &out, const Reading &r)
{
    char text[16];
    char *end = text + sizeof text - 1;
    const char *p = fixedPointBefore(end, std::uint32_t(r.voltage.units), r.voltage.decimals);
    *end = 'V';
    core::appendBytes(out, p, text + sizeof text - p);
}

QByteArray resistanceText(const Reading &r, const char *ohmSign)
{
    QByteArray text;
    appendResistanceText(text, r, ohmSign);
    return text;
}

QByteArray voltageText(const Reading &r)
{
    QByteArray text;
    appendVoltageText(text, r);
    return text;
}

BoardLine boardLine(const Reading &r)
{
    BoardLine line;
    line.reserve(40);
    line += kGroupField;
    line += QByteArray::number(r.group);
    line += kAfterGroup;
    appendResistanceText(line, r, kOhmGbk);
    line += kAfterResistance;
    appendVoltageText(line, r);
    return line;
}

std::optional<Reading> parseBoardLine(QByteArrayView line)
{
    Reading r;
    qsizetype pos = 0;
    if (!takes(line, pos, kGroupField))
        return std::nullopt;
    const auto group = groupNumber(line, pos);
    if (!group || !takes(line, pos, kAfterGroup))
        return std::nullopt;
    r.group = *group;

    const auto resistance = fixedPoint(line, pos, 1, 3);
    if (!resistance)
        return std::nullopt;
    r.resistance = *resistance;
    static const QByteArray milliohms = QByteArray("m") + kOhmGbk;
    static const QByteArray ohms = QByteArray(" ") + kOhmGbk;
    if (takes(line, pos, milliohms))
        r.unit = ResistanceUnit::Milliohm;
    else if (takes(line, pos, ohms))
        r.unit = ResistanceUnit::Ohm;
    else
        return std::nullopt;

    if (!takes(line, pos, kAfterResistance))
        return std::nullopt;
    const auto voltage = fixedPoint(line, pos, 2, 3);
    if (!voltage || !takes(line, pos, "V") || pos != line.size())
        return std::nullopt;
    r.voltage = *voltage;
    return r;
}

} // namespace reading
