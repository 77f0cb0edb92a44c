#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

// The program's icon picture at one size: a battery with a charge gauge and a lightning
// bolt, drawn for that size rather than scaled.
QPixmap appIconPixmap(int size);

// The window icon: the picture at 16, 32 and 48 pixels.
QIcon appIcon();

} // namespace app
