#include "app/board_view.h"

#include "app/board_view_accessible.h"
#include "board/data_board.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>

#include <climits>

namespace app {

namespace {

// The blank between the frame and the text, as a text document leaves it.
constexpr qreal kMargin = 4;
constexpr qsizetype kScrollUnits = 1 << 16;

bool isNavigationKey(const QKeyEvent *event)
{
    return event->key() >= Qt::Key_Home && event->key() <= Qt::Key_PageDown;
}

} // namespace

BoardView::BoardView(const board::DataBoard &board, QWidget *parent)
    : QAbstractScrollArea(parent), board_(board), pieces_(board.text(), index_)
{
    BoardViewAccessible::install();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    pieces_.setLayout(font(), viewport()->width() - 2 * kMargin, wrapMode_);

    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &BoardView::flushAppended);
    connect(&board, &board::DataBoard::appended, this, &BoardView::onAppended);
    connect(&board, &board::DataBoard::replaced, this, &BoardView::onReplaced);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &BoardView::onScrollValue);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &BoardView::onScrollAction);
    onReplaced();
}

QString BoardView::displayText(QStringDecoder &decoder, const QByteArray &bytes)
{
    QString text = decoder.decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
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
    else
        viewport()->update();
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
    while (!(r == top_) && rows < fullRows() && nextRow(r))
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

qsizetype BoardView::countCharacters(qsizetype from, qsizetype to) const
{
    const char *p = board_.text().constData();
    qsizetype chars = 0;
    for (qsizetype i = from; i < to; ++chars) {
        const auto c = static_cast<unsigned char>(p[i]);
        i += (isGbkLeadByte(c) || (c == '\r' && p[i + 1] == '\n')) && i + 1 < to ? 2 : 1;
    }
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
    for (; i < end && chars < offset; ++chars) {
        const auto c = static_cast<unsigned char>(p[i]);
        i += (isGbkLeadByte(c) || (c == '\r' && p[i + 1] == '\n')) && i + 1 < end ? 2 : 1;
    }
    offsetHint_ = {i, chars};
    return clampPosition(i);
}

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
    while (rows < fullRows() && nextRow(bottom))
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
    for (; rows > 0 && !(r == lastTop_) && nextRow(r); --rows) {
    }
    for (; rows < 0 && previousRow(r); ++rows) {
    }
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

// ---- positions

qsizetype BoardView::clampPosition(qsizetype pos) const
{
    pos = std::clamp<qsizetype>(pos, 0, index_.end());
    const qsizetype line = index_.lineOf(pos);
    if (pos >= index_.lineEnd(line))
        return index_.lineEnd(line);
    const BoardPiece &piece = pieces_.piece(line, pieces_.chunkOf(line, pos));
    return piece.positionOf(piece.charIndexOf(pos));
}

qsizetype BoardView::nextPosition(qsizetype pos) const
{
    const qsizetype line = index_.lineOf(pos);
    if (pos >= index_.lineEnd(line))
        return line + 1 < index_.lineCount() ? index_.lineStart(line + 1) : pos;
    const BoardPiece &piece = pieces_.piece(line, pieces_.chunkOf(line, pos));
    return piece.positionOf(piece.charIndexOf(pos) + 1);
}

qsizetype BoardView::previousPosition(qsizetype pos) const
{
    const qsizetype line = index_.lineOf(pos);
    if (pos <= index_.lineStart(line))
        return line > 0 ? index_.lineEnd(line - 1) : pos;
    const BoardPiece &piece = pieces_.piece(line, pieces_.chunkOf(line, pos - 1));
    return piece.positionOf(piece.charIndexOf(pos - 1));
}

qreal BoardView::caretX(qsizetype pos) const
{
    const Row r = rowOf(pos);
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    return piece.layout.lineAt(r.row).cursorToX(piece.charIndexOf(pos));
}

qsizetype BoardView::verticalMove(qsizetype pos, int rows) const
{
    Row r = rowOf(pos);
    const qreal x = caretX_ ? *caretX_ : caretX(pos);
    for (; rows > 0 && nextRow(r); --rows) {
    }
    for (; rows < 0 && previousRow(r); ++rows) {
    }
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    return piece.positionOf(piece.layout.lineAt(r.row).xToCursor(x));
}

qsizetype BoardView::rowEdge(qsizetype pos, bool end) const
{
    const Row r = rowOf(pos);
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    const QTextLine row = piece.layout.lineAt(r.row);
    if (!end)
        return piece.positionOf(row.textStart());
    const bool lastRow = r.row + 1 >= piece.rows();
    // A wrapped row ends before the blank it was broken at, which stands on the next row.
    return piece.positionOf(row.textStart() + row.textLength() - (lastRow ? 0 : 1));
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
    for (int rows = fullRows(); rows > 1 && previousRow(target); --rows) {
    }
    setTop(target);
}

// ---- selection

void BoardView::setSelection(qsizetype anchor, qsizetype cursor)
{
    anchor_ = clampPosition(anchor);
    cursor_ = clampPosition(cursor);
    caretX_.reset();
    viewport()->update();
    selectionChanged();
}

void BoardView::selectAll()
{
    anchor_ = 0;
    cursor_ = index_.end();
    viewport()->update();
    selectionChanged();
}

QString BoardView::selectedText() const
{
    return textBetween(std::min(anchor_, cursor_), std::max(anchor_, cursor_));
}

void BoardView::copy() const
{
    if (anchor_ != cursor_)
        QGuiApplication::clipboard()->setText(selectedText());
}

void BoardView::moveCursor(qsizetype pos, bool select)
{
    cursor_ = pos;
    if (!select)
        anchor_ = pos;
    ensureVisible(cursor_);
    viewport()->update();
    selectionChanged();
}

void BoardView::selectWordAt(qsizetype pos)
{
    const Row r = rowOf(pos);
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    const QString text = piece.layout.text();
    const int c = piece.charIndexOf(pos);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    finder.setPosition(c);
    qsizetype start = c;
    if (!(finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem))
        start = std::max<qsizetype>(0, finder.toPreviousBoundary());
    finder.setPosition(c);
    qsizetype end = finder.toNextBoundary();
    if (end < 0)
        end = text.size();
    anchor_ = piece.positionOf(int(start));
    cursor_ = piece.positionOf(int(end));
    caretX_.reset();
    viewport()->update();
    selectionChanged();
}

void BoardView::selectionChanged()
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTextCursorEvent moved(this, int(characterOffset(cursor_)));
    QAccessible::updateAccessibility(&moved);
    const qsizetype from = characterOffset(std::min(anchor_, cursor_));
    const qsizetype to = characterOffset(std::max(anchor_, cursor_));
    QAccessibleTextSelectionEvent selected(this, int(from), int(to));
    QAccessible::updateAccessibility(&selected);
}

// ---- events

bool BoardView::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        // The view's own keys; the menu's shortcuts (Ctrl+Z, Ctrl+E) go to the menu.
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)
            || isNavigationKey(key)) {
            key->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

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
    const bool showCaret = hasFocus();
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

void BoardView::keyPressEvent(QKeyEvent *event)
{
    using Key = QKeySequence;
    if (event->matches(Key::SelectAll)) {
        selectAll();
        return;
    }
    if (event->matches(Key::Copy)) {
        copy();
        return;
    }
    bool select = false;
    const auto is = [&](Key::StandardKey move, Key::StandardKey extend) {
        select = event->matches(extend);
        return select || event->matches(move);
    };
    const int page = std::max(1, fullRows() - 1);
    qsizetype to = -1;
    bool vertical = false;
    if (is(Key::MoveToNextChar, Key::SelectNextChar)) {
        to = nextPosition(cursor_);
    } else if (is(Key::MoveToPreviousChar, Key::SelectPreviousChar)) {
        to = previousPosition(cursor_);
    } else if (is(Key::MoveToNextLine, Key::SelectNextLine)) {
        to = verticalMove(cursor_, 1);
        vertical = true;
    } else if (is(Key::MoveToPreviousLine, Key::SelectPreviousLine)) {
        to = verticalMove(cursor_, -1);
        vertical = true;
    } else if (is(Key::MoveToNextPage, Key::SelectNextPage)) {
        to = verticalMove(cursor_, page);
        scrollRows(page);
        vertical = true;
    } else if (is(Key::MoveToPreviousPage, Key::SelectPreviousPage)) {
        to = verticalMove(cursor_, -page);
        scrollRows(-page);
        vertical = true;
    } else if (is(Key::MoveToStartOfLine, Key::SelectStartOfLine)) {
        to = rowEdge(cursor_, false);
    } else if (is(Key::MoveToEndOfLine, Key::SelectEndOfLine)) {
        to = rowEdge(cursor_, true);
    } else if (is(Key::MoveToStartOfDocument, Key::SelectStartOfDocument)) {
        to = 0;
    } else if (is(Key::MoveToEndOfDocument, Key::SelectEndOfDocument)) {
        to = index_.end();
    } else {
        event->ignore();
        return;
    }
    if (vertical && !caretX_)
        caretX_ = caretX(cursor_);
    else if (!vertical)
        caretX_.reset();
    moveCursor(to, select);
}

void BoardView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qsizetype pos = positionAt(event->position());
    caretX_.reset();
    selecting_ = true;
    cursor_ = pos;
    if (!(event->modifiers() & Qt::ShiftModifier))
        anchor_ = pos;
    viewport()->update();
    selectionChanged();
}

void BoardView::mouseMoveEvent(QMouseEvent *event)
{
    if (!selecting_ || !(event->buttons() & Qt::LeftButton))
        return;
    // Dragging past an edge scrolls on.
    if (event->position().y() < 0)
        scrollRows(-1);
    else if (event->position().y() > viewport()->height())
        scrollRows(1);
    cursor_ = positionAt(event->position());
    viewport()->update();
}

void BoardView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !selecting_)
        return;
    selecting_ = false;
    selectionChanged();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && anchor_ != cursor_)
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void BoardView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        selectWordAt(positionAt(event->position()));
}

void BoardView::wheelEvent(QWheelEvent *event)
{
    wheelRemainder_ += event->angleDelta().y();
    const int perNotch = QApplication::wheelScrollLines();
    const int rows = wheelRemainder_ * perNotch / 120;
    if (rows != 0) {
        wheelRemainder_ -= rows * 120 / perNotch;
        scrollRows(-rows);
    }
    event->accept();
}

void BoardView::contextMenuEvent(QContextMenuEvent *event)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *copyAction = menu->addAction(tr("&Copy"), this, &BoardView::copy);
    copyAction->setObjectName(QStringLiteral("copy"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(anchor_ != cursor_);
    menu->addSeparator();
    QAction *allAction = menu->addAction(tr("Select All"), this, &BoardView::selectAll);
    allAction->setObjectName(QStringLiteral("selectAll"));
    allAction->setShortcut(QKeySequence::SelectAll);
    allAction->setEnabled(index_.end() > 0);
    menu->popup(event->globalPos());
}

void BoardView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void BoardView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

} // namespace app
