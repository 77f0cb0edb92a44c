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
[[gnu::always_inline]] inline char *fixedPointBefore(char *end, std::uint32_t units, int places)
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

} // namespace

namespace detail {

char *writeFixedPointByDivision(char *p, std::uint32_t units, int places)
{
    char text[kFixedPointRoom];
    char *const end = text + sizeof text;
    const char *begin = fixedPointBefore(end, units, places);
    std::memcpy(p, begin, size_t(end - begin));
    return p + (end - begin);
}

} // namespace detail

namespace {

void appendFixedPoint(QByteArray &out, std::uint32_t units, int places)
{
    char *const p = core::roomAtEnd(out, detail::kFixedPointRoom);
    core::appended(out, detail::writeFixedPoint(p, units, places) - p);
}

// Reads a number in the shape appendFixedPoint writes, with minPlaces to maxPlaces places,
// at p; returns the end of it, or null. Pointers rather than a view and an index: every
// line of every file read comes through here twice.
[[gnu::always_inline]] inline const char *fixedPoint(const char *p, const char *end, int minPlaces,
                                                     int maxPlaces, Decimal &out)
{
    if (digits::kEightDigitWords && end - p >= 4) {
        // The number is six bytes at most: its first eight (or all there are, zeros after
        // them) in one word, where the digits, the point and the end are told apart at once.
        const qsizetype n = end - p;
        std::uint64_t w = 0;
        if (n >= 8) {
            std::memcpy(&w, p, 8);
        } else {
            // Two loads of four that overlap in the middle.
            std::uint32_t first = 0, last = 0;
            std::memcpy(&first, p, 4);
            std::memcpy(&last, end - 4, 4);
            w = first | (std::uint64_t(last) << (8 * (n - 4)));
        }
        constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
        // A digit's byte becomes its value; any other byte is 10 or more, marked in its high bit.
        const std::uint64_t values = w ^ digits::kAsciiZeros;
        const std::uint64_t others =
            (((values & ~kHighBits) + 0x7676767676767676ULL) | values) & kHighBits;
        const std::uint64_t afterWhole = others & (others - 1);
        if (others == 0 || afterWhole == 0)
            return nullptr; // more digits than a number has
        const int whole = std::countr_zero(others) / 8;
        const int stop = std::countr_zero(afterWhole) / 8;
        const int places = stop - whole - 1;
        const int count = whole + places;
        if (whole == 0 || ((w >> (8 * whole)) & 0xFF) != '.' || places < minPlaces
            || places > maxPlaces || count < 4 || count > 5)
            return nullptr;
        // The digits side by side and to the right of a word of eight, then added up in pairs,
        // fours and eights.
        const std::uint64_t wholeDigits = values & ((std::uint64_t(1) << (8 * whole)) - 1);
        const std::uint64_t placeDigits =
            (values >> (8 * (whole + 1))) & ((std::uint64_t(1) << (8 * places)) - 1);
        std::uint64_t x = (wholeDigits | (placeDigits << (8 * whole))) << (8 * (8 - count));
        x = (x * 10 + (x >> 8)) & 0x00FF00FF00FF00FFULL;
        x = (x * 100 + (x >> 16)) & 0x0000FFFF0000FFFFULL;
        x = (x * 10000 + (x >> 32)) & 0xFFFFFFFFULL;
        // Five digits only when they make 10000 or more: a leading zero fills the first four.
        if (count == 5 && x < std::uint64_t(kFiveDigits))
            return nullptr;
        out = Decimal{std::int64_t(x), places};
        return p + stop;
    }
    // Digits, one point, digits: five digits at most, so that no more than six are read.
    const char *const begin = p;
    std::int64_t units = 0;
    for (const char *stop = begin + std::min<qsizetype>(end - begin, 6);
         p < stop && unsigned(*p - '0') < 10; ++p)
        units = units * 10 + (*p - '0');
    const auto whole = int(p - begin);
    if (whole == 0 || p == end || *p != '.')
        return nullptr;
    const char *const point = p++;
    for (const char *stop = begin + std::min<qsizetype>(end - begin, 7);
         p < stop && unsigned(*p - '0') < 10; ++p)
        units = units * 10 + (*p - '0');
    const auto places = int(p - point - 1);
    const int digits = whole + places;
    // Four digits, or five when they make 10000 or more: a leading zero only fills the
    // first four.
    const bool width = digits == 4 || (digits == 5 && units >= kFiveDigits);
    if (!width || places < minPlaces || places > maxPlaces)
        return nullptr;
    out = Decimal{units, places};
    return p;
}

std::optional<Decimal> fixedPoint(QByteArrayView s, qsizetype &pos, int minPlaces, int maxPlaces)
{
    Decimal d;
    const char *const end = s.data() + s.size();
    const char *p = fixedPoint(s.data() + pos, end, minPlaces, maxPlaces, d);
    if (!p)
        return std::nullopt;
    pos = p - s.data();
    return d;
}

bool takes(QByteArrayView s, qsizetype &pos, QByteArrayView expected)
{
    if (s.size() - pos < expected.size()
        || std::memcmp(s.data() + pos, expected.data(), size_t(expected.size())) != 0)
        return false;
    pos += expected.size();
    return true;
}

// Whether the N - 1 bytes of `expected` stand at p (before end); moves p past them. Of a
// size known here, so that the comparison is a move or two rather than a call.
template <std::size_t N>
bool takes(const char *&p, const char *end, const char (&expected)[N])
{
    if (end - p < qsizetype(N - 1) || std::memcmp(p, expected, N - 1) != 0)
        return false;
    p += N - 1;
    return true;
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
    char *const p = core::roomAtEnd(out, kTextRoom);
    core::appended(out, writeResistanceText(p, r, ohmSign) - p);
}

void appendVoltageText(QByteArray &out, const Reading &r)
{
    char *const p = core::roomAtEnd(out, kTextRoom);
    core::appended(out, writeVoltageText(p, r) - p);
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
    const char *p = line.data(), *const end = p + line.size();
    if (!takes(p, end, kGroupField))
        return std::nullopt;
    // Up to three digits, no leading zero, 255 at most.
    const char *const groupStart = p;
    int group = 0;
    for (const char *stop = p + std::min<qsizetype>(end - p, 4);
         p < stop && unsigned(*p - '0') < 10; ++p)
        group = group * 10 + (*p - '0');
    const qsizetype digits = p - groupStart;
    if (digits == 0 || digits > 3 || group > 255 || (digits > 1 && *groupStart == '0'))
        return std::nullopt;
    r.group = group;
    if (!takes(p, end, kAfterGroup))
        return std::nullopt;

    p = fixedPoint(p, end, 1, 3, r.resistance);
    if (!p)
        return std::nullopt;
    static constexpr char kMilliohms[] = {'m', kOhmGbk[0], kOhmGbk[1], '\0'};
    static constexpr char kOhms[] = {' ', kOhmGbk[0], kOhmGbk[1], '\0'};
    if (takes(p, end, kMilliohms))
        r.unit = ResistanceUnit::Milliohm;
    else if (takes(p, end, kOhms))
        r.unit = ResistanceUnit::Ohm;
    else
        return std::nullopt;

    if (!takes(p, end, kAfterResistance))
        return std::nullopt;
    p = fixedPoint(p, end, 2, 3, r.voltage);
    if (!p || end - p != 1 || *p != 'V')
        return std::nullopt;
    return r;
}

} // namespace reading
