// The board-line parser against a plain reference reading of the same shape: it accepts
// exactly those lines, the numbers it gives are the digits the line shows, and the one
// formatter writes the line back byte for byte.
#include "reading/line_format.h"

#include <QRegularExpression>
#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

// A fixed-point field with `minDecimals` to `maxDecimals` decimals and four digits, or five
// that do not start with a zero.
bool fieldFits(const QString &field, int minDecimals, int maxDecimals)
{
    const qsizetype decimals = field.size() - field.indexOf(u'.') - 1;
    const qsizetype digits = field.size() - 1;
    return decimals >= minDecimals && decimals <= maxDecimals
        && (digits == 4 || (digits == 5 && field[0] != u'0'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 128)
        return 0;
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto reading = reading::parseBoardLine(line);

    // Latin-1 keeps one character a byte, so the sign is the two characters A6 B8. The
    // pattern ends in \z: "$" would also match before a final line break.
    static const QRegularExpression shape(
        QStringLiteral("^ Group (0|[1-9][0-9]{0,2}) {7}([0-9]+\\.[0-9]+)(m| )\\x{A6}\\x{B8} "
                       "{5}([0-9]+\\.[0-9]+)V\\z"));
    const auto m = shape.match(QString::fromLatin1(line));
    const bool expected = m.hasMatch() && m.captured(1).toInt() <= 255
        && fieldFits(m.captured(2), 1, 3) && fieldFits(m.captured(4), 2, 3);
    require(bool(reading) == expected);
    if (!reading)
        return 0;

    require(reading->group == m.captured(1).toInt());
    const bool milliohms = reading->unit == reading::ResistanceUnit::Milliohm;
    require(milliohms == (m.captured(3) == u"m"));
    const QString ohmDigits = m.captured(2);
    const QString voltDigits = m.captured(4);
    const reading::Decimal ohms = reading->ohms();
    require(ohms.units == QString(ohmDigits).remove(u'.').toLongLong());
    require(ohms.decimals == ohmDigits.size() - ohmDigits.indexOf(u'.') - 1 + (milliohms ? 3 : 0));
    require(reading->voltage.units == QString(voltDigits).remove(u'.').toLongLong());
    require(reading->voltage.decimals == voltDigits.size() - voltDigits.indexOf(u'.') - 1);
    // Micro-units are exact: nothing is cut off.
    require(reading::Decimal{reading->microohms(), 6} == ohms);
    require(reading::Decimal{reading->microvolts(), 6} == reading->voltage);
    require(reading::boardLine(*reading) == line);
    return 0;
}
