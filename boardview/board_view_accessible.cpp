#include "boardview/board_view_accessible.h"

#include "boardview/board_view.h"

#include <climits>

namespace boardview {

namespace {

// A stretch of the board's text, for Qt's own rules of boundaries (characters, words,
// sentences, lines) to read in place of the whole text. They ask only for its text.
class TextStretch : public QAccessibleTextInterface {
public:
    explicit TextStretch(QString text) : text_(std::move(text)) { }
    QString text(int startOffset, int endOffset) const override
    {
        return text_.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(text_.size()); }
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override { }
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        return {};
    }

private:
    QString text_;
};

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
{ }

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
    if (t == QAccessible::Value) {
        const qsizetype caret = view()->cursorPosition();
        int start = 0, end = 0;
        return textAtOffset(BoardView::accessibleOffset(view()->characterOffset(caret)),
                            QAccessible::LineBoundary, &start, &end);
    }
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
    *startOffset = BoardView::accessibleOffset(view()->characterOffset(from));
    *endOffset = BoardView::accessibleOffset(view()->characterOffset(to));
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
    return BoardView::accessibleOffset(view()->characterOffset(view()->cursorPosition()));
}

void BoardViewAccessible::setCursorPosition(int position)
{
    const qsizetype pos = view()->positionOfCharacter(position);
    view()->setSelection(pos, pos);
}

QString BoardViewAccessible::text(int startOffset, int endOffset) const
{
    endOffset = std::min(endOffset, startOffset + std::min(kMostCharacters, INT_MAX - startOffset));
    return view()->textBetween(view()->positionOfCharacter(startOffset),
                               view()->positionOfCharacter(endOffset));
}

int BoardViewAccessible::characterCount() const
{
    return BoardView::accessibleOffset(view()->characterCount());
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
    return BoardView::accessibleOffset(view()->characterOffset(view()->positionAt(local)));
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

template <class Ask>
QString BoardViewAccessible::askNear(int offset, int *startOffset, int *endOffset, Ask ask) const
{
    // -1 stands for the end of the text, -2 for the caret.
    const qsizetype pos = offset == -2 ? view()->cursorPosition()
        : offset == -1                 ? view()->textEnd()
                                       : view()->positionOfCharacter(offset);
    const auto [from, to] = view()->stretchAround(pos);
    const qsizetype first = view()->characterOffset(from);
    TextStretch stretch(view()->textBetween(from, to));
    const QString found = ask(stretch, int(view()->characterOffset(pos) - first));
    if (*startOffset >= 0) {
        *startOffset = BoardView::accessibleOffset(*startOffset + first);
        *endOffset = BoardView::accessibleOffset(*endOffset + first);
    }
    return found;
}

QString BoardViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType type,
                                              int *startOffset, int *endOffset) const
{
    return askNear(offset, startOffset, endOffset, [&](TextStretch &stretch, int at) {
        return stretch.textBeforeOffset(at, type, startOffset, endOffset);
    });
}

QString BoardViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType type,
                                             int *startOffset, int *endOffset) const
{
    return askNear(offset, startOffset, endOffset, [&](TextStretch &stretch, int at) {
        return stretch.textAfterOffset(at, type, startOffset, endOffset);
    });
}

QString BoardViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType type,
                                          int *startOffset, int *endOffset) const
{
    return askNear(offset, startOffset, endOffset, [&](TextStretch &stretch, int at) {
        return stretch.textAtOffset(at, type, startOffset, endOffset);
    });
}

} // namespace boardview
