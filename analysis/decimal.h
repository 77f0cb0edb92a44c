#pragma once

// Exact decimals belong to the reading layer; the analysis uses them under its own names.
#include "reading/decimal.h"

namespace analysis {

using reading::appendDecimalText;
using reading::Decimal;
using reading::decimalText;
using reading::roundedText;

} // namespace analysis
