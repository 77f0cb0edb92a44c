// Where the view is scrolled to, as BoardRows works it out for the viewport's height, and the
// scroll bar that follows it.
#include "boardview/board_view.h"

#include <QScrollBar>

namespace boardview {

int BoardView::fullRows() const
{
    return rows_.fullRows(viewport()->height());
}

void BoardView::relayout()
{
    const qsizetype topByte = rows_.start(rows_.top());
    const bool follow = rows_.atEnd();
    pieces_.setLayout(font(), std::max<qreal>(1, viewport()->width() - 2 * kMargin), wrapMode_);
    rows_.reflow(topByte, follow, viewport()->height());
    syncScrollBar();
    viewport()->update();
}

void BoardView::syncScrollBar()
{
    const BoardRows::Bar steps = rows_.settle(viewport()->height());
    QScrollBar *bar = verticalScrollBar();
    syncing_ = true;
    bar->setRange(0, steps.maximum);
    bar->setPageStep(steps.page);
    bar->setSingleStep(steps.single);
    bar->setValue(steps.value);
    syncing_ = false;
}

void BoardView::setTop(const Row &top)
{
    if (top == rows_.top())
        return;
    rows_.setTop(top);
    syncScrollBar();
    viewport()->update();
}

void BoardView::scrollRows(int rows)
{
    setTop(rows_.scrolled(rows));
}

void BoardView::onScrollValue(int value)
{
    if (syncing_)
        return;
    rows_.scrollTo(value, verticalScrollBar()->maximum());
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
    return rows_.visibleLines(viewport()->height());
}

qsizetype BoardView::positionAt(const QPointF &point) const
{
    const Row r = rows_.rowAt(point.y());
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    return piece.positionOf(piece.layout.lineAt(r.row).xToCursor(point.x() - kMargin));
}

QRect BoardView::characterRect(qsizetype pos) const
{
    pos = clampPosition(pos);
    const Row target = rows_.rowOf(pos);
    const qreal y = rows_.yOf(target, viewport()->height());
    const BoardPiece &piece = pieces_.piece(target.line, target.chunk);
    const QTextLine row = piece.layout.lineAt(target.row);
    const int c = piece.charIndexOf(pos);
    const qreal left = row.cursorToX(c);
    const qreal right = c < row.textStart() + row.textLength() ? row.cursorToX(c + 1) : left + 1;
    return QRectF(kMargin + left, y, std::max<qreal>(1, right - left), rows_.rowHeight()).toRect();
}

void BoardView::ensureVisible(qsizetype pos)
{
    if (const auto top = rows_.topShowing(pos, viewport()->height()))
        setTop(*top);
}

} // namespace boardview
