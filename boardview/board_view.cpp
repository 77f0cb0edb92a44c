#include "boardview/board_view.h"

#include "board/data_board.h"
#include "boardview/board_view_accessible.h"

#include <QAccessible>
#include <QPainter>
#include <QScrollBar>

#include <limits>

namespace boardview {

BoardView::BoardView(const board::DataBoard &board, QWidget *parent)
    : QAbstractScrollArea(parent),
      board_(board),
      pieces_(board.text(), index_),
      rows_(index_, pieces_)
{
    BoardViewAccessible::install();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    pieces_.setLayout(font(), std::max<qreal>(1, viewport()->width() - 2 * kMargin), wrapMode_);
    // A wheel over the bar scrolls by rows too, not by its byte-sized steps.
    verticalScrollBar()->installEventFilter(this);

    flushTimer_.setSingleShot(true);
    flushTimer_.setTimerType(Qt::PreciseTimer);
    connect(&flushTimer_, &QTimer::timeout, this, &BoardView::flushAppended);
    connect(&board, &board::DataBoard::appended, this, &BoardView::onAppended);
    connect(&board, &board::DataBoard::replaced, this, &BoardView::onReplaced);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &BoardView::onScrollValue);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &BoardView::onScrollAction);
    onReplaced();
}

// ---- the board's text

void BoardView::onAppended()
{
    if (flushTimer_.isActive())
        return;
    // The first append after a quiet frame is shown on the next turn; a stream of them at
    // most once a frame, so that a fast line costs its share of one paint.
    const qint64 sinceShown = lastFlush_.isValid() ? lastFlush_.elapsed() : kFrameMs;
    flushTimer_.start(int(std::max<qint64>(0, kFrameMs - sinceShown)));
}

void BoardView::flushAppended()
{
    flushTimer_.stop();
    const QByteArray &text = board_.text();
    if (index_.end() == text.size())
        return;
    lastFlush_.start();
    const qsizetype oldEnd = index_.end();
    const qsizetype oldLast = index_.lineCount() - 1;
    const Row oldTop = rows_.top();
    const qsizetype topByte = rows_.start(oldTop);
    const bool follow = rows_.atEnd();
    index_.extend(text);
    // The last line can change: a line appended to a board that ended in a line break goes
    // into the empty line after it.
    pieces_.forgetLine(oldLast);
    rows_.reflow(topByte, follow, viewport()->height(), oldLast);
    syncScrollBar();
    if (follow)
        scrollOnTo(oldTop, oldLast);
    else if (visibleLines().second >= oldLast)
        viewport()->update();
    // A caret at the end stays at the end, as in a text view that inserts at its caret.
    if (anchor_ == oldEnd && cursor_ == oldEnd)
        anchor_ = cursor_ = index_.end();
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent inserted(this, accessibleOffset(characterOffset(oldEnd)),
                                            announced(oldEnd));
        QAccessible::updateAccessibility(&inserted);
    }
}

void BoardView::scrollOnTo(const Row &oldTop, qsizetype oldLast)
{
    // What is still on screen moves up, and only the rows from the old last line down are
    // painted anew: that line may have changed, and the new lines come after it.
    const int height = viewport()->height();
    const auto moved = rows_.scrolledOn(oldTop, oldLast, height);
    if (!moved) {
        viewport()->update();
        return;
    }
    const auto [shift, y] = *moved;
    if (shift > 0)
        viewport()->scroll(0, -int(shift));
    viewport()->update(0, int(y), viewport()->width(), height - int(y));
}

void BoardView::onReplaced()
{
    flushTimer_.stop();
    index_.clear();
    pieces_.clear();
    index_.extend(board_.text());
    index_.compact();
    offsets_.clear();
    anchor_ = cursor_ = 0;
    caretX_.reset();
    rows_.reset(viewport()->height());
    syncScrollBar();
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent updated(this, 0, QString(), announced(0));
        QAccessible::updateAccessibility(&updated);
    }
}

QString BoardView::textBetween(qsizetype from, qsizetype to) const
{
    QString text;
    if (from >= to)
        return text;
    for (qsizetype line = index_.lineOf(from);; ++line) {
        const qsizetype start = std::max(from, index_.lineStart(line));
        const qsizetype end = std::min(to, index_.lineEnd(line));
        if (start < end) {
            const qsizetype first = pieces_.chunkOf(line, start);
            const qsizetype last = pieces_.chunkOf(line, end - 1);
            for (qsizetype chunk = first; chunk <= last; ++chunk) {
                const auto [pieceStart, pieceEnd] = pieces_.chunkBytes(line, chunk);
                text += pieces_.decode(std::max(start, pieceStart), std::min(end, pieceEnd));
            }
        }
        if (to <= index_.lineEnd(line) || line + 1 >= index_.lineCount())
            break;
        text += u'\n';
    }
    return text;
}

QString BoardView::toPlainText() const
{
    return textBetween(0, index_.end());
}

QString BoardView::announced(qsizetype from) const
{
    return textBetween(from, clampPosition(std::min(index_.end(), from + kAnnouncedBytes)));
}

std::pair<qsizetype, qsizetype> BoardView::stretchAround(qsizetype pos) const
{
    pos = std::clamp<qsizetype>(pos, 0, index_.end());
    const qsizetype line = index_.lineOf(pos);
    const qsizetype from = index_.lineStart(std::max<qsizetype>(0, line - 1));
    const qsizetype to = index_.lineEnd(std::min(index_.lineCount() - 1, line + 1));
    return {clampPosition(std::max(from, pos - kAnnouncedBytes)),
            clampPosition(std::min(to, pos + kAnnouncedBytes))};
}

int BoardView::accessibleOffset(qsizetype offset)
{
    return int(std::min<qsizetype>(offset, std::numeric_limits<int>::max()));
}

qsizetype BoardView::characterOffset(qsizetype pos) const
{
    pos = std::clamp<qsizetype>(pos, 0, index_.end());
    return offsets_.offsetOf(board_.text().constData(), index_.end(), pos);
}

qsizetype BoardView::characterCount() const
{
    return characterOffset(index_.end());
}

qsizetype BoardView::positionOfCharacter(qsizetype offset) const
{
    return clampPosition(offsets_.positionOf(board_.text().constData(), index_.end(), offset));
}

// ---- painting

void BoardView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QRectF clip = event->rect();
    const qsizetype selectionFrom = std::min(anchor_, cursor_);
    const qsizetype selectionTo = std::max(anchor_, cursor_);
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    const bool showCaret = caretShown_ && hasFocus();
    const Row caret = showCaret ? rows_.rowOf(cursor_) : Row{};

    const qreal rowHeight = rows_.rowHeight();
    qreal y = rows_.topMargin();
    Row r = rows_.top();
    for (;;) {
        const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
        const QPointF origin(kMargin, y - r.row * rowHeight);
        QList<QTextLayout::FormatRange> selections;
        if (selectionFrom < selectionTo && selectionFrom < piece.end && selectionTo > piece.start) {
            const int from = piece.charIndexOf(std::max(selectionFrom, piece.start));
            const int to = piece.charIndexOf(std::min(selectionTo, piece.end));
            selections.append({from, to - from, selected});
        }
        piece.layout.draw(&painter, origin, selections, clip);
        if (showCaret && caret.line == r.line && caret.chunk == r.chunk)
            piece.layout.drawCursor(&painter, origin, piece.charIndexOf(cursor_));
        y += (piece.rows() - r.row) * rowHeight;
        r.row = piece.rows() - 1;
        if (y >= clip.bottom() + 1 || !rows_.next(r))
            break;
    }
}

void BoardView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void BoardView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
}

} // namespace boardview

// Compiled with this file rather than on its own: Qt's headers are read once.
#include "moc_board_view.cpp"
