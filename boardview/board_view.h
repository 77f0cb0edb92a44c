#pragma once

#include "board/line_index.h"
#include "boardview/board_pieces.h"
#include "boardview/board_rows.h"
#include "boardview/character_offsets.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QTextOption>
#include <QTimer>

#include <optional>

namespace board {
class DataBoard;
}

namespace boardview {

// The read-only view of the data board, drawn straight from the board's bytes: it keeps an
// index of where lines start and decodes and lays out only the rows it paints, so a board of
// any size the board accepts is shown at once. GBK is decoded for display only; nothing is
// ever encoded back.
//
// Appended bytes are shown on the next turn of the event loop, so a burst of lines costs one
// update, and a steady stream is shown at most once a frame; a load or a clear is shown at
// once. A view scrolled to the end stays at the end as
// lines arrive; one scrolled up stays where it is.
//
// Positions are byte offsets into the board text, always at a character boundary or at the
// end of a line (before its line break).
class BoardView : public QAbstractScrollArea {
    Q_OBJECT
public:
    BoardView(const board::DataBoard &board, QWidget *parent);

    // Shows whatever was appended and not shown yet.
    void flushAppended();

    bool isReadOnly() const { return true; }
    QTextOption::WrapMode wordWrapMode() const { return wrapMode_; }
    // The text shown, lines joined by "\n".
    QString toPlainText() const;
    QString selectedText() const;
    void copy() const;
    void selectAll();

    qsizetype textEnd() const { return index_.end(); }
    qsizetype cursorPosition() const { return cursor_; }
    qsizetype anchorPosition() const { return anchor_; }
    void setSelection(qsizetype anchor, qsizetype cursor);
    QString textBetween(qsizetype from, qsizetype to) const;
    // Characters of the shown text (a line break is one) before `pos`, and back.
    qsizetype characterOffset(qsizetype pos) const;
    qsizetype positionOfCharacter(qsizetype offset) const;
    qsizetype characterCount() const;
    // A character offset as Qt's accessibility interface takes it.
    static int accessibleOffset(qsizetype offset);
    // What an accessibility event carries of the text from `from` on: enough to announce
    // the change, never growing with the board.
    static constexpr qsizetype kAnnouncedBytes = 4096;
    QString announced(qsizetype from) const;
    // The lines before, at and after pos, at most kAnnouncedBytes each side of it: where a
    // screen reader's questions about the text near pos are answered.
    std::pair<qsizetype, qsizetype> stretchAround(qsizetype pos) const;
    // In viewport coordinates.
    QRect characterRect(qsizetype pos) const;
    qsizetype positionAt(const QPointF &viewportPoint) const;
    void ensureVisible(qsizetype pos);
    // The first and last lines with a row on screen.
    std::pair<qsizetype, qsizetype> visibleLines() const;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // The view scrolls itself, by rows; the bar only follows.
    void scrollContentsBy(int, int) override { }
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    static constexpr qreal kMargin = BoardRows::kMargin;
    using Row = BoardRows::Row;

    void onAppended();
    void onReplaced();
    void relayout();
    int fullRows() const;
    void setTop(const Row &top);
    void scrollRows(int rows);
    void syncScrollBar();
    void scrollOnTo(const Row &oldTop, qsizetype oldLast);
    void onScrollValue(int value);
    void onScrollAction(int action);
    qreal caretX(qsizetype pos) const;
    qsizetype clampPosition(qsizetype pos) const;
    qsizetype nextPosition(qsizetype pos) const;
    qsizetype previousPosition(qsizetype pos) const;
    qsizetype verticalMove(qsizetype pos, int rows) const;
    qsizetype rowEdge(qsizetype pos, bool end) const;
    void moveCursor(qsizetype pos, bool select);
    void selectWordAt(qsizetype pos);
    void dragSelect();
    void selectionChanged();
    void restartBlink();

    const board::DataBoard &board_;
    board::LineIndex index_;
    mutable BoardPieces pieces_;
    QTimer flushTimer_;
    static constexpr qint64 kFrameMs = 16;
    QElapsedTimer lastFlush_;
    QTextOption::WrapMode wrapMode_ = QTextOption::WrapAtWordBoundaryOrAnywhere;
    BoardRows rows_;
    qsizetype anchor_ = 0;
    qsizetype cursor_ = 0;
    // Of the caret, kept while it moves up and down.
    std::optional<qreal> caretX_;
    bool syncing_ = false;
    int wheelRemainder_ = 0;
    bool selecting_ = false;
    QBasicTimer dragScroll_;
    QPointF dragPoint_;
    QBasicTimer blink_;
    bool caretShown_ = false;
    // For the accessibility interface, which counts characters rather than bytes.
    mutable CharacterOffsets offsets_;
};

} // namespace boardview
