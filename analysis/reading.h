#pragma once

// The reading value and its line belong to the reading layer; the analysis takes readings
// under its own names.
#include "analysis/decimal.h"
#include "reading/line_format.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace analysis {

using reading::Reading;

inline std::optional<Reading> parseReading(QByteArrayView line)
{
    return reading::parseBoardLine(line);
}

// The resistance as the line shows it, with its sign as UTF-8, for output that is not GBK.
inline QByteArray resistanceTextUtf8(const Reading &r)
{
    return reading::resistanceText(r, reading::kOhmUtf8);
}

} // namespace analysis
