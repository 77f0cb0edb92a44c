#pragma once

#include <QList>
#include <QObject>

class QAction;

namespace app {

// Keeps the shortcuts of the given actions working in a text field. A line edit claims
// keys such as Ctrl+Z (undo) through a ShortcutOverride event, which would stop the menu's
// shortcut; this filter turns that claim down for the actions' own key sequences.
class MenuShortcutFilter : public QObject {
    Q_OBJECT
public:
    MenuShortcutFilter(QList<QAction *> actions, QObject *parent);

    // Watch `field` (install on the widget that gets the key events and on any inner
    // widget that forwards them).
    void watch(QObject *field);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QAction *> actions_;
};

} // namespace app
