#include "app/menu_shortcut_filter.h"

#include <QAction>
#include <QKeyEvent>

namespace app {

MenuShortcutFilter::MenuShortcutFilter(QList<QAction *> actions, QObject *parent)
    : QObject(parent), actions_(std::move(actions))
{ }

void MenuShortcutFilter::watch(QObject *field)
{
    field->installEventFilter(this);
}

bool MenuShortcutFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
        for (const QAction *action : std::as_const(actions_)) {
            if (action->isEnabled() && action->shortcut() == pressed) {
                // Not accepted: the shortcut goes to the action, not to the field.
                event->ignore();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace app

// Compiled with this file rather than on its own: Qt's headers are read once.
#include "moc_menu_shortcut_filter.cpp"
