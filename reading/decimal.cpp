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

} // namespace reading
