// Where the view is scrolled to, in rows of the lines it has laid out, and the scroll bar
// that follows it.
#include "boardview/board_view.h"

#include <QScrollBar>

namespace boardview {

namespace {

// Scroll bar steps on a large board: fine enough for dragging, coarse enough that an append
// seldom changes the bar and has it redrawn.
constexpr qsizetype kScrollUnits = 1 << 16;

} // namespace

// ---- rows

qreal BoardView::rowHeight() const
{
    return pieces_.rowHeight();
}

bool BoardView::nextRow(Row &r) const
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

bool BoardView::previousRow(Row &r) const
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

qsizetype BoardView::rowStart(const Row &r) const
{
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    const QTextLine row = piece.layout.lineAt(r.row);
    return row.isValid() ? piece.positionOf(row.textStart()) : piece.start;
}

BoardView::Row BoardView::rowOf(qsizetype pos) const
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

int BoardView::fullRows() const
{
    return std::max(1, int(viewport()->height() / rowHeight()));
}

qreal BoardView::topMargin() const
{
    return top_ == Row{} ? kMargin : 0;
}

BoardView::Row BoardView::lastPageTop() const
{
    Row r{index_.lineCount() - 1, 0, 0};
    r.chunk = pieces_.chunkCount(r.line) - 1;
    r.row = pieces_.piece(r.line, r.chunk).rows() - 1;
    const qreal height = viewport()->height();
    qreal used = rowHeight();
    for (;;) {
        Row up = r;
        if (!previousRow(up))
            break;
        const qreal needed = used + rowHeight() + (up == Row{} ? kMargin : 0);
        if (needed > height)
            break;
        r = up;
        used += rowHeight();
    }
    return r;
}

void BoardView::relayout()
{
    const qsizetype topByte = rowStart(top_);
    const bool follow = atEnd_;
    pieces_.setLayout(font(), std::max<qreal>(1, viewport()->width() - 2 * kMargin), wrapMode_);
    top_ = rowOf(topByte);
    lastTop_ = lastPageTop();
    if (follow || rowStart(top_) > rowStart(lastTop_))
        top_ = lastTop_;
    syncScrollBar();
    viewport()->update();
}

void BoardView::syncScrollBar()
{
    atEnd_ = top_ == lastTop_;
    const qsizetype maximum = rowStart(lastTop_);
    // The bar counts bytes, or blocks of bytes on a large board: exact enough for rows
    // shown, a fair guess for the rest with no layout of lines never shown, and coarse
    // enough that an append seldom redraws the bar.
    scrollShift_ = 0;
    while ((maximum >> scrollShift_) > kScrollUnits)
        ++scrollShift_;
    const qsizetype topByte = rowStart(top_);
    Row bottom = top_;
    int rows = 1;
    const int onScreen = fullRows();
    while (rows < onScreen && nextRow(bottom))
        ++rows;
    const qsizetype pageBytes = (nextRow(bottom) ? rowStart(bottom) : index_.end()) - topByte;
    QScrollBar *bar = verticalScrollBar();
    syncing_ = true;
    bar->setRange(0, int(maximum >> scrollShift_));
    bar->setPageStep(std::max(1, int(pageBytes >> scrollShift_)));
    bar->setSingleStep(std::max(1, int((pageBytes / rows) >> scrollShift_)));
    bar->setValue(int(topByte >> scrollShift_));
    syncing_ = false;
}

void BoardView::setTop(const Row &top)
{
    if (top == top_)
        return;
    top_ = top;
    syncScrollBar();
    viewport()->update();
}

void BoardView::scrollRows(int rows)
{
    Row r = top_;
    for (; rows > 0 && !(r == lastTop_) && nextRow(r); --rows) { }
    for (; rows < 0 && previousRow(r); ++rows) { }
    setTop(r);
}

void BoardView::onScrollValue(int value)
{
    if (syncing_)
        return;
    Row r;
    const qsizetype pos = qsizetype(value) << scrollShift_;
    if (value >= verticalScrollBar()->maximum())
        r = lastTop_;
    else if (value > 0)
        r = rowOf(clampPosition(pos));
    top_ = r;
    atEnd_ = top_ == lastTop_;
    viewport()->update();
}

void BoardView::onScrollAction(int action)
{
    int rows = 0;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: rows = 1; break;
    case QAbstractSlider::SliderSingleStepSub: rows = -1; break;
    case QAbstractSlider::SliderPageStepAdd: rows = std::max(1, fullRows() - 1); break;
    case QAbstractSlider::SliderPageStepSub: rows = -std::max(1, fullRows() - 1); break;
    default: return;
    }
    scrollRows(rows);
    // The bar's own step would land on a byte, not on a row.
    verticalScrollBar()->setSliderPosition(verticalScrollBar()->value());
}

std::pair<qsizetype, qsizetype> BoardView::visibleLines() const
{
    Row r = top_;
    qreal y = topMargin() + rowHeight();
    while (y < viewport()->height() && nextRow(r))
        y += rowHeight();
    return {top_.line, r.line};
}

qsizetype BoardView::positionAt(const QPointF &point) const
{
    Row r = top_;
    for (qreal y = topMargin() + rowHeight(); y <= point.y() && nextRow(r);)
        y += rowHeight();
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    return piece.positionOf(piece.layout.lineAt(r.row).xToCursor(point.x() - kMargin));
}

QRect BoardView::characterRect(qsizetype pos) const
{
    pos = clampPosition(pos);
    const Row target = rowOf(pos);
    qreal y = topMargin();
    Row r = top_;
    if (rowStart(target) < rowStart(top_)) {
        y = -rowHeight();
    } else {
        while (!(r == target) && y < viewport()->height() && nextRow(r))
            y += rowHeight();
    }
    const BoardPiece &piece = pieces_.piece(target.line, target.chunk);
    const QTextLine row = piece.layout.lineAt(target.row);
    const int c = piece.charIndexOf(pos);
    const qreal left = row.cursorToX(c);
    const qreal right = c < row.textStart() + row.textLength() ? row.cursorToX(c + 1) : left + 1;
    return QRectF(kMargin + left, y, std::max<qreal>(1, right - left), rowHeight()).toRect();
}

void BoardView::ensureVisible(qsizetype pos)
{
    Row target = rowOf(pos);
    if (rowStart(target) < rowStart(top_)) {
        setTop(target);
        return;
    }
    Row bottom = top_;
    for (int rows = int((viewport()->height() - topMargin()) / rowHeight()); rows > 1; --rows)
        if (!nextRow(bottom))
            break;
    if (rowStart(target) <= rowStart(bottom))
        return;
    for (int rows = fullRows(); rows > 1 && previousRow(target); --rows) { }
    setTop(target);
}

} // namespace boardview
