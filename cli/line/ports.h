#pragma once

#include "cli/options/options.h"

#include <QString>

#include <functional>

namespace analyzer {
class Session;
}

namespace cli {

// "COM 3", or the device path given with --port: how messages name the port.
QString portName(const Invocation &inv);

// Runs a call into the link; a fault it raises is raised again as EDeviceFault, in the words
// the tool shares with the window.
void linkCall(const std::function<void()> &call);

// Opens the session on COM com or on the device portPath, and sends Connect.
void openPort(analyzer::Session &session, const Invocation &inv);

} // namespace cli
