#include "boardview/board_view_accessible.h"

#include "boardview/board_view.h"

namespace boardview {

namespace {

QAccessibleInterface *boardViewFactory(const QString &className, QObject *object)
{
    if (className == QLatin1StringView(BoardView::staticMetaObject.className()))
        if (auto *view = qobject_cast<BoardView *>(object))
            return new BoardViewAccessible(view);
    return nullptr;
}

} // namespace

BoardViewAccessible::BoardViewAccessible(BoardView *view)
    : QAccessibleWidget(view, QAccessible::EditableText)
{
}

void BoardViewAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(boardViewFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

BoardView *BoardViewAccessible::view() const
{
    return static_cast<BoardView *>(widget());
}

QAccessible::State BoardViewAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

QString BoardViewAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return view()->toPlainText();
    return QAccessibleWidget::text(t);
}

void *BoardViewAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

void BoardViewAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || selectionCount() == 0)
        return;
    const qsizetype anchor = view()->anchorPosition();
    const qsizetype cursor = view()->cursorPosition();
    const qsizetype from = std::min(anchor, cursor);
    const qsizetype to = std::max(anchor, cursor);
    *startOffset = int(view()->characterOffset(from));
    *endOffset = int(view()->characterOffset(to));
}

int BoardViewAccessible::selectionCount() const
{
    return view()->anchorPosition() != view()->cursorPosition() ? 1 : 0;
}

void BoardViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void BoardViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        view()->setSelection(view()->cursorPosition(), view()->cursorPosition());
}

void BoardViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        view()->setSelection(view()->positionOfCharacter(startOffset),
                             view()->positionOfCharacter(endOffset));
}

int BoardViewAccessible::cursorPosition() const
{
    return int(view()->characterOffset(view()->cursorPosition()));
}

void BoardViewAccessible::setCursorPosition(int position)
{
    const qsizetype pos = view()->positionOfCharacter(position);
    view()->setSelection(pos, pos);
}

QString BoardViewAccessible::text(int startOffset, int endOffset) const
{
    return view()->textBetween(view()->positionOfCharacter(startOffset),
                               view()->positionOfCharacter(endOffset));
}

int BoardViewAccessible::characterCount() const
{
    return int(view()->characterCount());
}

QRect BoardViewAccessible::characterRect(int offset) const
{
    const QRect rect = view()->characterRect(view()->positionOfCharacter(offset));
    return QRect(view()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int BoardViewAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint local = view()->viewport()->mapFromGlobal(point);
    if (!view()->viewport()->rect().contains(local))
        return -1;
    return int(view()->characterOffset(view()->positionAt(local)));
}

void BoardViewAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    view()->ensureVisible(view()->positionOfCharacter(endIndex));
    view()->ensureVisible(view()->positionOfCharacter(startIndex));
}

QString BoardViewAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    // One font and colour throughout.
    Q_UNUSED(offset);
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
}

} // namespace boardview
