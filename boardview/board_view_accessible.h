#pragma once

#include <QAccessibleWidget>

namespace boardview {

class BoardView;

// What a screen reader finds in the data board: a read-only multi-line text with its
// characters, caret and selection. Offsets count characters of the shown text, a line break
// being one. Every answer costs what the text near the asked offset costs, whatever the
// size of the board: the value is the caret's line, a text asked for is cut at
// kMostCharacters, and questions by boundary (character, word, line...) are answered from
// the lines around the offset.
class BoardViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit BoardViewAccessible(BoardView *view);

    // Makes Qt's accessibility ask this class for every BoardView.
    static void install();

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    void *interface_cast(QAccessible::InterfaceType t) override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int *startOffset, int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int *startOffset, int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;

    static constexpr int kMostCharacters = 1 << 16;

private:
    BoardView *view() const;
    template <class Ask>
    QString askNear(int offset, int *startOffset, int *endOffset, Ask ask) const;
};

} // namespace boardview
