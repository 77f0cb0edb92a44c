#pragma once

#include <QString>
#include <cstdint>

namespace report {

// "56.7 mΩ" from micro-ohms, exact: every reading's step is a whole number of micro-ohms.
QString milliohmText(std::int64_t microohms);
// "4.123 V" from micro-volts, exact.
QString voltText(std::int64_t microvolts);
// "2234.5 mAh" from micro-amp-hours, exact.
QString milliampHourText(std::int64_t microampHours);
// value rounded to `places` decimals without trailing zeros: "2.5", "3", "0.125".
QString roundedNumber(double value, int places);

} // namespace report
