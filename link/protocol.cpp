#include "link/protocol.h"

#include "link/error_text.h"
#include "link/errors.h"

namespace analyzer {

namespace {

struct ResistanceFormat {
    int decimals;
    bool ohms; // false: "mΩ" right after the digits; true: a blank, then "Ω"
};

// Scale and unit by range code (flags & 3); at the same code an RM-40A count is ten times
// that of the other two models.
constexpr ResistanceFormat kResistanceRM40A[4] = {{2, false}, {1, false}, {3, true}, {2, true}};
constexpr ResistanceFormat kResistanceOther[4] = {{3, false}, {2, false}, {1, false}, {3, true}};

} // namespace

QByteArray fixedPointText(std::uint16_t v, int decimals)
{
    // Thousands field (one or two digits), then hundreds, tens and units digits, each
    // written on its own so inner and leading zeros stay.
    QByteArray digits = QByteArray::number(v / 1000);
    digits += char('0' + (v % 1000) / 100);
    digits += char('0' + (v % 100) / 10);
    digits += char('0' + v % 10);
    digits.insert(digits.size() - decimals, '.');
    return digits;
}

QByteArray encodeRecord(const AnalyzerRecord &r)
{
    const char bytes[kRecordSize] = {char(r.group), char(r.flags), char(r.resistance >> 8),
                                     char(r.resistance & 0xFF), char(r.voltage >> 8),
                                     char(r.voltage & 0xFF)};
    return QByteArray(bytes, kRecordSize);
}

DecodeResult decodeRecord(QByteArrayView block, bool rm40aSelected)
{
    auto byteAt = [&block](qsizetype i) -> std::uint8_t {
        if (i >= block.size())
            throw EVariantBadIndexError(errortext::indexOutOfBounds());
        return static_cast<std::uint8_t>(block[i]);
    };

    const std::uint8_t flags = byteAt(1);
    if (flags == kNoDataMarker)
        return {};
    const std::uint16_t resistance = std::uint16_t(byteAt(2) << 8 | byteAt(3));
    const std::uint16_t voltage = std::uint16_t(byteAt(4) << 8 | byteAt(5));
    const std::uint8_t group = byteAt(0);

    const bool millivolts = (flags & 4) != 0;
    QByteArray voltageText = fixedPointText(voltage, millivolts ? 3 : 2) + 'V';

    const ResistanceFormat format = (rm40aSelected ? kResistanceRM40A : kResistanceOther)[flags & 3];
    QByteArray resistanceText = fixedPointText(resistance, format.decimals);
    resistanceText += format.ohms ? QByteArray(" ") + kOhmGbk : QByteArray("m") + kOhmGbk;

    DecodeResult result;
    result.kind = DecodeResult::Kind::Line;
    result.record = {group, flags, resistance, voltage};
    result.line.reserve(48);
    result.line += " Group ";
    result.line += QByteArray::number(group);
    result.line += "       ";
    result.line += resistanceText;
    result.line += "     ";
    result.line += voltageText;
    return result;
}

} // namespace analyzer
