#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QStringDecoder>

#include <optional>
#include <QTimer>

namespace board {
class DataBoard;
}

namespace app {

// The read-only view of the data board. It decodes the board's GBK bytes for display only;
// the board keeps the only copy of the readings and nothing is ever encoded back.
//
// Appended bytes are collected and shown on the next turn of the event loop, so a burst of
// lines costs one insert; a load or a clear replaces the whole text at once. A view scrolled
// to the end stays at the end as lines arrive.
class BoardView : public QPlainTextEdit {
    Q_OBJECT
public:
    BoardView(const board::DataBoard &board, QWidget *parent);

    // Shows whatever was appended and not shown yet.
    void flushAppended();

    // Board bytes as the view shows them: GBK decoded, each CR LF (or a lone CR or LF)
    // one line break.
    static QString displayText(QStringDecoder &decoder, const QByteArray &bytes);

private:
    void onAppended(const QByteArray &bytes);
    void onReplaced();

    const board::DataBoard &board_;
    QByteArray pending_;
    QTimer flushTimer_;
    // Kept across appends so that a character split between two of them still decodes.
    // Made on the first text to show: an empty board at start needs no code-page tables.
    std::optional<QStringDecoder> appendDecoder_;
};

} // namespace app
