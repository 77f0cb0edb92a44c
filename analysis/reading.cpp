#include "analysis/reading.h"

namespace analysis {

namespace {

constexpr char kMilliohmGbk[] = "m\xA6\xB8";
constexpr char kOhmGbk[] = " \xA6\xB8";

// Reads a fixed-point number at pos: digits, a point, digits, `minTotal` to `maxTotal`
// digits in all with `minDecimals` to `maxDecimals` after the point.
struct Number {
    Decimal value;
    qsizetype end = 0;
};

std::optional<Number> fixedPoint(QByteArrayView s, qsizetype pos, int minDecimals, int maxDecimals)
{
    std::int64_t units = 0;
    int before = 0;
    int after = 0;
    bool point = false;
    qsizetype i = pos;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            units = units * 10 + (c - '0');
            (point ? after : before) += 1;
            if (before + after > 5)
                return std::nullopt;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    const int total = before + after;
    if (!point || before == 0 || total < 4 || after < minDecimals || after > maxDecimals)
        return std::nullopt;
    return Number{{units, after}, i};
}

bool takes(QByteArrayView s, qsizetype &pos, QByteArrayView expected)
{
    if (s.size() - pos < expected.size() || s.sliced(pos, expected.size()) != expected)
        return false;
    pos += expected.size();
    return true;
}

} // namespace

std::optional<Reading> parseReading(QByteArrayView line)
{
    Reading r;
    qsizetype pos = 0;
    if (!takes(line, pos, " Group "))
        return std::nullopt;

    const qsizetype groupStart = pos;
    while (pos < line.size() && pos - groupStart < 4 && line[pos] >= '0' && line[pos] <= '9')
        r.group = r.group * 10 + (line[pos++] - '0');
    const qsizetype groupDigits = pos - groupStart;
    if (groupDigits == 0 || groupDigits > 3 || r.group > 255 || (groupDigits > 1 && line[groupStart] == '0'))
        return std::nullopt;
    if (!takes(line, pos, "       "))
        return std::nullopt;

    const qsizetype resistanceStart = pos;
    const auto resistance = fixedPoint(line, pos, 1, 3);
    if (!resistance)
        return std::nullopt;
    pos = resistance->end;
    if (takes(line, pos, kMilliohmGbk))
        r.milliohmUnit = true;
    else if (!takes(line, pos, kOhmGbk))
        return std::nullopt;
    r.resistanceText = line.sliced(resistanceStart, pos - resistanceStart);
    r.ohms = resistance->value;
    if (r.milliohmUnit)
        r.ohms.decimals += 3;

    if (!takes(line, pos, "     "))
        return std::nullopt;
    const qsizetype voltageStart = pos;
    const auto voltage = fixedPoint(line, pos, 2, 3);
    if (!voltage)
        return std::nullopt;
    pos = voltage->end;
    if (!takes(line, pos, "V") || pos != line.size())
        return std::nullopt;
    r.voltageText = line.sliced(voltageStart, pos - voltageStart);
    r.volts = voltage->value;
    return r;
}

QByteArray resistanceTextUtf8(const Reading &r)
{
    QByteArray text = r.resistanceText.chopped(2).toByteArray();
    text += "\xCE\xA9";
    return text;
}

} // namespace analysis
