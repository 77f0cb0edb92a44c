#pragma once

#include <QString>

namespace app {

// The caption of the program's message boxes, derived from the executable's path: the file
// name without its folder, cut at its first ".", every character after the first in lower
// case ("/opt/Battery-Analyzer.bin" gives "Battery-analyzer").
QString programTitleFromPath(const QString &executablePath);

// programTitleFromPath() of the running executable.
QString programTitle();

// The running executable's file name without its folder.
QString programFileName();

} // namespace app
