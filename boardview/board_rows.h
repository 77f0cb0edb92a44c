#pragma once

#include "board/line_index.h"
#include "boardview/board_pieces.h"

#include <optional>
#include <utility>

namespace boardview {

// The rows of the board's lines as laid out, and where a view of `height` pixels stands in
// them: the row at its top, the top that shows the last page, which row is at which y, and
// the scroll bar's steps over the bytes. No widgets: the view passes its height and paints,
// scrolls or moves its bar as told.
class BoardRows {
public:
    // Row `row` of piece `chunk` of line `line`.
    struct Row {
        qsizetype line = 0;
        qsizetype chunk = 0;
        int row = 0;
        friend bool operator==(const Row &, const Row &) = default;
    };

    // The scroll bar's range and steps, in bytes or in blocks of bytes on a large board.
    struct Bar {
        int maximum = 0;
        int page = 1;
        int single = 1;
        int value = 0;
        friend bool operator==(const Bar &, const Bar &) = default;
    };

    // The blank above the first row and left of every row, as a text document leaves it.
    static constexpr qreal kMargin = 4;

    BoardRows(const board::LineIndex &index, BoardPieces &pieces);

    qreal rowHeight() const { return pieces_.rowHeight(); }
    // Steps to the row after or before; false at the end or the start of the text.
    bool next(Row &r) const;
    bool previous(Row &r) const;
    // Up to `rows` rows on (back when negative), stopping at either end.
    Row moved(Row r, int rows) const;
    qsizetype start(const Row &r) const;
    Row rowOf(qsizetype pos) const;
    // `pos` within the text and on a character boundary, or at the end of its line.
    qsizetype clampPosition(qsizetype pos) const;

    const Row &top() const { return top_; }
    const Row &lastTop() const { return lastTop_; }
    // Whether the view follows the end: the top was the last page's when last settled.
    bool atEnd() const { return atEnd_; }
    // Rows that fit whole, at least one.
    int fullRows(qreal height) const;
    // The first row's margin, while the text's first row is at the top.
    qreal topMargin() const { return top_ == Row{} ? kMargin : 0; }

    // A new text: the top is its first row.
    void reset(qreal height);
    // The lines from `changedFrom` on, or their layout, changed: a top among them is found
    // again at `topByte`, a view at the end (`follow`) stays there, and no top goes past the
    // last page's.
    void reflow(qsizetype topByte, bool follow, qreal height, qsizetype changedFrom = 0);
    void setTop(const Row &top);
    // The top `rows` rows on or back, never past the last page's.
    Row scrolled(int rows) const;
    // The top that the bar's `value` stands for, out of `maximum`.
    void scrollTo(int value, int maximum);
    // The top has settled: whether it follows the end from now on, and the bar's steps.
    Bar settle(qreal height);

    // The first and last lines with a row on screen.
    std::pair<qsizetype, qsizetype> visibleLines(qreal height) const;
    // The row at `y`; the last one shown below the last row.
    Row rowAt(qreal y) const;
    // The y of `target`'s upper edge: one row above the view when it lies above the top, the
    // first y past `height` when it lies below.
    qreal yOf(const Row &target, qreal height) const;
    // The top that brings the row of `pos` on screen with as little scrolling as there can
    // be; empty when it is shown already.
    std::optional<Row> topShowing(qsizetype pos, qreal height) const;
    // After the top moved on from `oldTop` as lines came after `oldLast`: how far the rows
    // still shown move up, and the y from which rows are new; empty when all of it is.
    std::optional<std::pair<qreal, qreal>> scrolledOn(const Row &oldTop, qsizetype oldLast,
                                                      qreal height) const;

private:
    Row lastPageTop(qreal height) const;

    const board::LineIndex &index_;
    BoardPieces &pieces_;
    Row top_;
    Row lastTop_;
    bool atEnd_ = true;
    // The bar counts bytes shifted right by this much.
    int scrollShift_ = 0;
};

} // namespace boardview
