#include "app/screen_centre.h"

#include <QScreen>
#include <QWidget>

namespace app {

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    // With its platform window created, the frame's margins are known where the platform
    // can tell them before the window is shown.
    (void)window->winId();
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace app
