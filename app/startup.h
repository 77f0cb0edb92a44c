#pragma once

#include "app/form1.h"

#include <QString>

namespace app {

// The box of a failed start: "Exception <kind> in module <module> at <address>." and, on the
// next line, the error's text ending in a full stop.
QString startupFailureText(const QString &kind, const QString &module, quintptr address,
                           const QString &message);

// Builds the main window, shows it centred and runs the event loop until it closes
// (exit code 0). When the window cannot be built, shows the "Application Error" box
// instead and returns 1.
int runApplication(const TForm1::CommFactory &makeComm = &TForm1::createComm);

} // namespace app
