#pragma once

#include "board/line_index.h"

#include <QByteArray>
#include <QCache>
#include <QFont>
#include <QStringDecoder>
#include <QTextLayout>
#include <QTextOption>

#include <optional>
#include <unordered_map>
#include <vector>

namespace boardview {

// A line of the board as decoded and laid out: the whole line, or one of the pieces a long
// line is cut into. Each character stands for one character of the board's bytes (a single
// byte or a lead byte with the byte after it), so positions map both ways.
struct BoardPiece {
    qsizetype start = 0;
    qsizetype end = 0;
    QTextLayout layout;
    // Byte offset from `start` of each character and of the end; empty when every character
    // is one byte.
    std::vector<quint16> charStarts;

    int rows() const { return std::max(1, layout.lineCount()); }
    qsizetype positionOf(int charIndex) const;
    // The character that starts at or holds `pos`.
    int charIndexOf(qsizetype pos) const;
};

// Decodes and lays out only the pieces of lines asked for, keeping the most recently used
// in a small cache. A line longer than kChunkBytes is cut into pieces of about that size, so
// the cost of showing any part of it is bounded by the piece.
class BoardPieces {
public:
    static constexpr qsizetype kChunkBytes = 4096;

    BoardPieces(const QByteArray &text, const board::LineIndex &index);

    // Drops every layout: the font, width or wrapping changed.
    void setLayout(const QFont &font, qreal width, QTextOption::WrapMode wrap);
    // Drops everything: the text was replaced.
    void clear();
    // Drops what is known of the line: its bytes changed.
    void forgetLine(qsizetype line);

    qreal rowHeight() const { return rowHeight_; }
    qsizetype chunkCount(qsizetype line);
    qsizetype chunkOf(qsizetype line, qsizetype pos);
    // The bytes of a piece, without laying it out.
    std::pair<qsizetype, qsizetype> chunkBytes(qsizetype line, qsizetype chunk);
    // Valid until the next call that lays out a piece.
    const BoardPiece &piece(qsizetype line, qsizetype chunk);

    // The characters of text[from, to), from and to on character boundaries within one line.
    QString decode(qsizetype from, qsizetype to, std::vector<quint16> *charStarts = nullptr);

private:
    const std::vector<qsizetype> *chunkStarts(qsizetype line);
    static quint64 key(qsizetype line, qsizetype chunk)
    {
        return (quint64(line) << 24) | quint64(chunk);
    }

    const QByteArray &text_;
    const board::LineIndex &index_;
    QFont font_;
    qreal width_ = 0;
    qreal rowHeight_ = 1;
    QTextOption option_;
    // Laid-out pieces, weighed by their bytes: a layout takes tens of bytes per character,
    // so the cache holds a few screens of short lines or a few pieces of a long one.
    static constexpr qsizetype kCachedBytes = 64 * 1024;
    QCache<quint64, BoardPiece> cache_{kCachedBytes};
    static_assert(kChunkBytes + 128 < kCachedBytes, "a piece must fit in the cache");
    // Where the pieces of each long line start, found on its first showing.
    std::unordered_map<qsizetype, std::vector<qsizetype>> chunks_;
    // Made on the first text to show: an empty board at start needs no code-page tables.
    std::optional<QStringDecoder> decoder_;
};

} // namespace boardview
