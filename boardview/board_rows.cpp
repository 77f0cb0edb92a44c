#include "boardview/board_rows.h"

#include <algorithm>

namespace boardview {

namespace {

// Scroll bar steps on a large board: fine enough for dragging, coarse enough that an append
// seldom changes the bar and has it redrawn.
constexpr qsizetype kScrollUnits = 1 << 16;

} // namespace

BoardRows::BoardRows(const board::LineIndex &index, BoardPieces &pieces)
    : index_(index), pieces_(pieces)
{ }

bool BoardRows::next(Row &r) const
{
    if (r.row + 1 < pieces_.piece(r.line, r.chunk).rows()) {
        ++r.row;
        return true;
    }
    if (r.chunk + 1 < pieces_.chunkCount(r.line)) {
        r = {r.line, r.chunk + 1, 0};
        return true;
    }
    if (r.line + 1 < index_.lineCount()) {
        r = {r.line + 1, 0, 0};
        return true;
    }
    return false;
}

bool BoardRows::previous(Row &r) const
{
    if (r.row > 0) {
        --r.row;
        return true;
    }
    if (r.chunk > 0) {
        --r.chunk;
    } else if (r.line > 0) {
        --r.line;
        r.chunk = pieces_.chunkCount(r.line) - 1;
    } else {
        return false;
    }
    r.row = pieces_.piece(r.line, r.chunk).rows() - 1;
    return true;
}

BoardRows::Row BoardRows::moved(Row r, int rows) const
{
    for (; rows > 0 && next(r); --rows) { }
    for (; rows < 0 && previous(r); ++rows) { }
    return r;
}

qsizetype BoardRows::start(const Row &r) const
{
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    const QTextLine row = piece.layout.lineAt(r.row);
    return row.isValid() ? piece.positionOf(row.textStart()) : piece.start;
}

BoardRows::Row BoardRows::rowOf(qsizetype pos) const
{
    pos = std::clamp<qsizetype>(pos, 0, index_.end());
    Row r;
    r.line = index_.lineOf(pos);
    pos = std::min(pos, index_.lineEnd(r.line));
    r.chunk = pieces_.chunkOf(r.line, pos);
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    const QTextLine row = piece.layout.lineForTextPosition(piece.charIndexOf(pos));
    r.row = row.isValid() ? row.lineNumber() : piece.rows() - 1;
    return r;
}

qsizetype BoardRows::clampPosition(qsizetype pos) const
{
    pos = std::clamp<qsizetype>(pos, 0, index_.end());
    const qsizetype line = index_.lineOf(pos);
    if (pos >= index_.lineEnd(line))
        return index_.lineEnd(line);
    const BoardPiece &piece = pieces_.piece(line, pieces_.chunkOf(line, pos));
    return piece.positionOf(piece.charIndexOf(pos));
}

int BoardRows::fullRows(qreal height) const
{
    return std::max(1, int(height / rowHeight()));
}

BoardRows::Row BoardRows::lastPageTop(qreal height) const
{
    Row r{index_.lineCount() - 1, 0, 0};
    r.chunk = pieces_.chunkCount(r.line) - 1;
    r.row = pieces_.piece(r.line, r.chunk).rows() - 1;
    qreal used = rowHeight();
    for (;;) {
        Row up = r;
        if (!previous(up))
            break;
        const qreal needed = used + rowHeight() + (up == Row{} ? kMargin : 0);
        if (needed > height)
            break;
        r = up;
        used += rowHeight();
    }
    return r;
}

void BoardRows::reset(qreal height)
{
    top_ = {};
    lastTop_ = lastPageTop(height);
    atEnd_ = top_ == lastTop_;
}

void BoardRows::reflow(qsizetype topByte, bool follow, qreal height, qsizetype changedFrom)
{
    if (top_.line >= changedFrom)
        top_ = rowOf(topByte);
    lastTop_ = lastPageTop(height);
    if (follow || start(top_) > start(lastTop_))
        top_ = lastTop_;
    atEnd_ = top_ == lastTop_;
}

void BoardRows::setTop(const Row &top)
{
    top_ = top;
    atEnd_ = top_ == lastTop_;
}

BoardRows::Row BoardRows::scrolled(int rows) const
{
    Row r = top_;
    for (; rows > 0 && !(r == lastTop_) && next(r); --rows) { }
    for (; rows < 0 && previous(r); ++rows) { }
    return r;
}

void BoardRows::scrollTo(int value, int maximum)
{
    Row r;
    if (value >= maximum)
        r = lastTop_;
    else if (value > 0)
        r = rowOf(clampPosition(qsizetype(value) << scrollShift_));
    setTop(r);
}

BoardRows::Bar BoardRows::settle(qreal height)
{
    atEnd_ = top_ == lastTop_;
    const qsizetype maximum = start(lastTop_);
    // The bar counts bytes, or blocks of bytes on a large board: exact enough for rows
    // shown, a fair guess for the rest with no layout of lines never shown, and coarse
    // enough that an append seldom redraws the bar.
    scrollShift_ = 0;
    while ((maximum >> scrollShift_) > kScrollUnits)
        ++scrollShift_;
    const qsizetype topByte = start(top_);
    Row bottom = top_;
    int rows = 1;
    const int onScreen = fullRows(height);
    while (rows < onScreen && next(bottom))
        ++rows;
    const qsizetype pageBytes = (next(bottom) ? start(bottom) : index_.end()) - topByte;
    return {int(maximum >> scrollShift_), std::max(1, int(pageBytes >> scrollShift_)),
            std::max(1, int((pageBytes / rows) >> scrollShift_)), int(topByte >> scrollShift_)};
}

std::pair<qsizetype, qsizetype> BoardRows::visibleLines(qreal height) const
{
    Row r = top_;
    qreal y = topMargin() + rowHeight();
    while (y < height && next(r))
        y += rowHeight();
    return {top_.line, r.line};
}

BoardRows::Row BoardRows::rowAt(qreal y) const
{
    Row r = top_;
    for (qreal below = topMargin() + rowHeight(); below <= y && next(r);)
        below += rowHeight();
    return r;
}

qreal BoardRows::yOf(const Row &target, qreal height) const
{
    if (start(target) < start(top_))
        return -rowHeight();
    qreal y = topMargin();
    Row r = top_;
    while (!(r == target) && y < height && next(r))
        y += rowHeight();
    return y;
}

std::optional<BoardRows::Row> BoardRows::topShowing(qsizetype pos, qreal height) const
{
    Row target = rowOf(pos);
    if (start(target) < start(top_))
        return target;
    Row bottom = top_;
    for (int rows = int((height - topMargin()) / rowHeight()); rows > 1; --rows)
        if (!next(bottom))
            break;
    if (start(target) <= start(bottom))
        return std::nullopt;
    for (int rows = fullRows(height); rows > 1 && previous(target); --rows) { }
    return target;
}

std::optional<std::pair<qreal, qreal>> BoardRows::scrolledOn(const Row &oldTop, qsizetype oldLast,
                                                             qreal height) const
{
    Row r = oldTop;
    int rows = 0;
    const int onScreen = fullRows(height);
    while (!(r == top_) && rows < onScreen && next(r))
        ++rows;
    const qreal shift =
        rows * rowHeight() + (oldTop == Row{} ? kMargin : 0) - (top_ == Row{} ? kMargin : 0);
    if (!(r == top_) || shift >= height)
        return std::nullopt;
    Row row = top_;
    qreal y = topMargin();
    while (row.line < oldLast && y < height && next(row))
        y += rowHeight();
    return std::pair{shift, y};
}

} // namespace boardview
