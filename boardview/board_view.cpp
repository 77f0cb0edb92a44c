#include "boardview/board_view.h"

#include "boardview/board_view_accessible.h"
#include "board/data_board.h"
#include "board/gbk_character.h"

#include <QAccessible>
#include <QPainter>
#include <QScrollBar>

namespace boardview {

BoardView::BoardView(const board::DataBoard &board, QWidget *parent)
    : QAbstractScrollArea(parent), board_(board), pieces_(board.text(), index_)
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
    flushTimer_.setInterval(0);
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
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void BoardView::flushAppended()
{
    flushTimer_.stop();
    const QByteArray &text = board_.text();
    if (index_.end() == text.size())
        return;
    const qsizetype oldEnd = index_.end();
    const qsizetype oldLast = index_.lineCount() - 1;
    const Row oldTop = top_;
    const qsizetype topByte = rowStart(top_);
    const bool follow = atEnd_;
    index_.extend(text);
    // The last line can change: a line appended to a board that ended in a line break goes
    // into the empty line after it.
    pieces_.forgetLine(oldLast);
    if (top_.line >= oldLast)
        top_ = rowOf(topByte);
    lastTop_ = lastPageTop();
    if (follow)
        top_ = lastTop_;
    syncScrollBar();
    if (follow)
        scrollOnTo(oldTop, oldLast);
    else if (visibleLines().second >= oldLast)
        viewport()->update();
    // A caret at the end stays at the end, as in a text view that inserts at its caret.
    if (anchor_ == oldEnd && cursor_ == oldEnd)
        anchor_ = cursor_ = index_.end();
    if (charCount_)
        *charCount_ += countCharacters(oldEnd, index_.end());
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent inserted(this, int(characterOffset(oldEnd)),
                                            textBetween(oldEnd, index_.end()));
        QAccessible::updateAccessibility(&inserted);
    }
}

void BoardView::scrollOnTo(const Row &oldTop, qsizetype oldLast)
{
    // What is still on screen moves up, and only the rows from the old last line down are
    // painted anew: that line may have changed, and the new lines come after it.
    const int height = viewport()->height();
    Row r = oldTop;
    int rows = 0;
    const int onScreen = fullRows();
    while (!(r == top_) && rows < onScreen && nextRow(r))
        ++rows;
    const qreal shift = rows * rowHeight() + (oldTop == Row{} ? kMargin : 0)
        - (top_ == Row{} ? kMargin : 0);
    if (!(r == top_) || shift >= height) {
        viewport()->update();
        return;
    }
    if (shift > 0)
        viewport()->scroll(0, -int(shift));
    Row row = top_;
    qreal y = topMargin();
    while (row.line < oldLast && y < height && nextRow(row))
        y += rowHeight();
    viewport()->update(0, int(y), viewport()->width(), height - int(y));
}

void BoardView::onReplaced()
{
    flushTimer_.stop();
    index_.clear();
    pieces_.clear();
    index_.extend(board_.text());
    index_.compact();
    charCount_.reset();
    offsetHint_ = {};
    top_ = {};
    anchor_ = cursor_ = 0;
    caretX_.reset();
    lastTop_ = lastPageTop();
    syncScrollBar();
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent updated(this, 0, QString(), toPlainText());
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

namespace {

// Bytes of the shown character at p[pos]: a line break CR LF is one character, as is a GBK
// character.
qsizetype shownCharacterBytes(const char *p, qsizetype pos, qsizetype end)
{
    if (p[pos] == '\r' && pos + 1 < end && p[pos + 1] == '\n')
        return 2;
    return board::gbkCharacterBytes(p, pos, end);
}

} // namespace

qsizetype BoardView::countCharacters(qsizetype from, qsizetype to) const
{
    const char *p = board_.text().constData();
    qsizetype chars = 0;
    for (qsizetype i = from; i < to; ++chars)
        i += shownCharacterBytes(p, i, to);
    return chars;
}

qsizetype BoardView::characterOffset(qsizetype pos) const
{
    pos = std::clamp<qsizetype>(pos, 0, index_.end());
    // Screen readers ask about nearby offsets in turn: count on from the last answer.
    if (offsetHint_.first > pos)
        offsetHint_ = {};
    offsetHint_.second += countCharacters(offsetHint_.first, pos);
    offsetHint_.first = pos;
    return offsetHint_.second;
}

qsizetype BoardView::characterCount() const
{
    if (!charCount_)
        charCount_ = countCharacters(0, index_.end());
    return *charCount_;
}

qsizetype BoardView::positionOfCharacter(qsizetype offset) const
{
    const char *p = board_.text().constData();
    const qsizetype end = index_.end();
    auto [i, chars] = offsetHint_.second <= offset ? offsetHint_ : std::pair<qsizetype, qsizetype>{};
    for (; i < end && chars < offset; ++chars)
        i += shownCharacterBytes(p, i, end);
    offsetHint_ = {i, chars};
    return clampPosition(i);
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
    const Row caret = showCaret ? rowOf(cursor_) : Row{};

    qreal y = topMargin();
    Row r = top_;
    for (;;) {
        const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
        const QPointF origin(kMargin, y - r.row * rowHeight());
        QList<QTextLayout::FormatRange> selections;
        if (selectionFrom < selectionTo && selectionFrom < piece.end && selectionTo > piece.start) {
            const int from = piece.charIndexOf(std::max(selectionFrom, piece.start));
            const int to = piece.charIndexOf(std::min(selectionTo, piece.end));
            selections.append({from, to - from, selected});
        }
        piece.layout.draw(&painter, origin, selections, clip);
        if (showCaret && caret.line == r.line && caret.chunk == r.chunk)
            piece.layout.drawCursor(&painter, origin, piece.charIndexOf(cursor_));
        y += (piece.rows() - r.row) * rowHeight();
        r.row = piece.rows() - 1;
        if (y >= clip.bottom() + 1 || !nextRow(r))
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
