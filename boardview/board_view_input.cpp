// The caret, the selection and what the keyboard, the mouse and the clipboard do with them.
#include "boardview/board_view.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBoundaryFinder>

namespace boardview {

namespace {

bool isNavigationKey(const QKeyEvent *event)
{
    return event->key() >= Qt::Key_Home && event->key() <= Qt::Key_PageDown;
}

} // namespace

// ---- positions

qsizetype BoardView::clampPosition(qsizetype pos) const
{
    return rows_.clampPosition(pos);
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
    const Row r = rows_.rowOf(pos);
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    return piece.layout.lineAt(r.row).cursorToX(piece.charIndexOf(pos));
}

qsizetype BoardView::verticalMove(qsizetype pos, int rows) const
{
    const Row r = rows_.moved(rows_.rowOf(pos), rows);
    const qreal x = caretX_ ? *caretX_ : caretX(pos);
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    const QTextLine row = piece.layout.lineAt(r.row);
    int c = row.xToCursor(x);
    // The end of a wrapped row is the start of the next: stay on this one.
    if (r.row + 1 < piece.rows())
        c = std::min(c, row.textStart() + row.textLength() - 1);
    return piece.positionOf(c);
}

qsizetype BoardView::rowEdge(qsizetype pos, bool end) const
{
    const Row r = rows_.rowOf(pos);
    const BoardPiece &piece = pieces_.piece(r.line, r.chunk);
    const QTextLine row = piece.layout.lineAt(r.row);
    if (!end)
        return piece.positionOf(row.textStart());
    int c = row.textStart() + row.textLength();
    // A row broken at a blank ends before it; a row broken inside a word ends before its
    // last character, as the position after it is the next row's start.
    if (r.row + 1 < piece.rows())
        --c;
    return piece.positionOf(c);
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
    restartBlink();
    selectionChanged();
}

void BoardView::selectWordAt(qsizetype pos)
{
    const Row r = rows_.rowOf(pos);
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
    QAccessibleTextCursorEvent moved(this, accessibleOffset(characterOffset(cursor_)));
    QAccessible::updateAccessibility(&moved);
    const qsizetype from = characterOffset(std::min(anchor_, cursor_));
    const qsizetype to = characterOffset(std::max(anchor_, cursor_));
    QAccessibleTextSelectionEvent selected(this, accessibleOffset(from), accessibleOffset(to));
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
    restartBlink();
    selectionChanged();
}

void BoardView::mouseMoveEvent(QMouseEvent *event)
{
    if (!selecting_ || !(event->buttons() & Qt::LeftButton))
        return;
    dragPoint_ = event->position();
    dragSelect();
    // Held past an edge, the mouse goes on scrolling without moving.
    const bool outside = dragPoint_.y() < 0 || dragPoint_.y() > viewport()->height();
    if (outside && !dragScroll_.isActive())
        dragScroll_.start(50, this);
    else if (!outside)
        dragScroll_.stop();
}

void BoardView::dragSelect()
{
    if (dragPoint_.y() < 0)
        scrollRows(-1);
    else if (dragPoint_.y() > viewport()->height())
        scrollRows(1);
    cursor_ = positionAt(dragPoint_);
    viewport()->update();
}

void BoardView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !selecting_)
        return;
    selecting_ = false;
    dragScroll_.stop();
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

bool BoardView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == static_cast<QObject *>(verticalScrollBar()) && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent *>(event));
        return true;
    }
    return QAbstractScrollArea::eventFilter(watched, event);
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
    restartBlink();
}

void BoardView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    caretShown_ = false;
    viewport()->update();
}

void BoardView::restartBlink()
{
    caretShown_ = hasFocus();
    const int period = QApplication::cursorFlashTime() / 2;
    if (caretShown_ && period > 0)
        blink_.start(period, this);
    viewport()->update();
}

void BoardView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == dragScroll_.timerId()) {
        dragSelect();
        return;
    }
    if (event->timerId() != blink_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    caretShown_ = !caretShown_;
    viewport()->update(characterRect(cursor_).adjusted(-2, 0, 2, 0));
}

} // namespace boardview
