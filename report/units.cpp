#include "report/units.h"

#include "reading/decimal.h"

namespace report {

QString milliohmText(std::int64_t microohms)
{
    return QString::fromLatin1(reading::decimalText({microohms, 3})) + QStringLiteral(" m\u03A9");
}

QString voltText(std::int64_t microvolts)
{
    return QString::fromLatin1(reading::decimalText({microvolts, 6})) + QStringLiteral(" V");
}

QString milliampHourText(std::int64_t microampHours)
{
    return QString::fromLatin1(reading::decimalText({microampHours, 3})) + QStringLiteral(" mAh");
}

QString roundedNumber(double value, int places)
{
    return QString::fromLatin1(reading::roundedText(value, places));
}

} // namespace report
