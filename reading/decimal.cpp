#include "reading/decimal.h"

#include "core/append.h"

#include <algorithm>
#include <cmath>

namespace reading {

namespace {

std::int64_t powerOfTen(int n)
{
    std::int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

} // namespace

std::int64_t Decimal::at(int places) const
{
    return places >= decimals ? units * powerOfTen(places - decimals)
                              : units / powerOfTen(decimals - places);
}

void appendDecimalText(QByteArray &out, Decimal d)
{
    char *p = core::roomAtEnd(out, decimalTextRoom(d));
    core::appended(out, writeDecimalText(p, d) - p);
}

QByteArray decimalText(Decimal d)
{
    QByteArray text;
    appendDecimalText(text, d);
    return text;
}

QByteArray roundedText(double value, int places)
{
    return decimalText({std::llround(value * double(powerOfTen(places))), places});
}

std::optional<std::int64_t> decimalUnits(QStringView text, int places)
{
    std::int64_t units = 0;
    int decimals = -1;
    int digits = 0;
    for (QChar c : text) {
        if (c == u'.' && decimals < 0) {
            decimals = 0;
        } else if (c >= u'0' && c <= u'9') {
            // Beyond 18 digits in all, 10^-places units would overflow; no option takes such.
            if (++digits + std::max(places - std::max(decimals, 0), 0) > 18)
                return std::nullopt;
            units = units * 10 + (c.unicode() - '0');
            if (decimals >= 0 && ++decimals > places)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    return Decimal{units, std::max(decimals, 0)}.at(places);
}

} // namespace reading
