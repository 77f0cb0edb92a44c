#pragma once

#include "link/fault.h"

#include <QString>

namespace linktext {

// "COM 3 (/dev/ttyUSB0)"; the device alone for a port opened by its name.
QString portAndDevice(int port, const QString &device);

// The fault as both front ends state it: which port and device, what happened and, where the
// user can do something about it, what. No closing period (the error dialog adds its own,
// the tool's messages go on after it).
QString describe(const analyzer::LinkFault &fault);

} // namespace linktext
