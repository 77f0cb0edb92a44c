#pragma once

#include "link/fault.h"

#include <QString>

namespace app {

// A fault of the analyzer link as the window's error box says it.
QString linkFaultText(const analyzer::LinkFault &fault);

} // namespace app
