#pragma once

#include "cli/options/options.h"

#include <QString>

namespace analyzer {
class Session;
}

namespace cli {

// "COM 3", or the device path given with --port: how messages name the port.
QString portName(const Invocation &inv);

// Opens the session on COM com or on the device portPath, and sends Connect.
void openPort(analyzer::Session &session, const Invocation &inv);

} // namespace cli
