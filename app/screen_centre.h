#pragma once

class QWidget;

namespace app {

// Puts the window's frame in the middle of its screen's available area.
void centreOnScreen(QWidget *window);

} // namespace app
