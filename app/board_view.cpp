#include "app/board_view.h"

#include "board/data_board.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace app {

BoardView::BoardView(const board::DataBoard &board, QWidget *parent)
    : QPlainTextEdit(parent), board_(board)
{
    setReadOnly(true);
    // Readings can still be selected and copied, with the mouse or the keyboard.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A word wider than the board is broken rather than hidden past the right edge.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);

    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &BoardView::flushAppended);
    connect(&board, &board::DataBoard::appended, this, &BoardView::onAppended);
    connect(&board, &board::DataBoard::replaced, this, &BoardView::onReplaced);
    onReplaced();
}

QString BoardView::displayText(QStringDecoder &decoder, const QByteArray &bytes)
{
    QString text = decoder.decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

void BoardView::onAppended(const QByteArray &bytes)
{
    pending_ += bytes;
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void BoardView::flushAppended()
{
    flushTimer_.stop();
    if (pending_.isEmpty())
        return;
    if (!appendDecoder_)
        appendDecoder_.emplace("GBK");
    const QString text = displayText(*appendDecoder_, pending_);
    pending_.clear();

    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    if (atEnd)
        bar->setValue(bar->maximum());
}

void BoardView::onReplaced()
{
    flushTimer_.stop();
    pending_.clear();
    if (appendDecoder_)
        appendDecoder_->resetState();
    if (board_.text().isEmpty()) {
        clear();
        return;
    }
    QStringDecoder decoder("GBK");
    setPlainText(displayText(decoder, board_.text()));
}

} // namespace app
