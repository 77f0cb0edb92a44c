#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <vector>

namespace board {

// Where the lines of the board's text start, found in one pass over its bytes and extended
// as bytes are appended. CR LF, a lone CR and a lone LF each end a line. Appends have no
// limit, so offsets run past 4 GiB; each start is still kept in four bytes (its offset within
// its 4 GiB span), with the first line of every further span noted apart, which keeps the
// index far smaller than the text it describes.
//
// A lead byte at the very end waits for the byte that completes it and is not part of the
// indexed text until then, as a decoder would hold it back.
class LineIndex {
public:
    // Forgets every line: the text is empty.
    void clear();
    // Indexes the bytes of text past those indexed so far; the bytes before must not have
    // changed since.
    void extend(QByteArrayView text);
    // After a whole text was indexed at once: gives back the room kept for growth.
    void compact();

    // At least one: an empty text, and a text ending in a line break, end with an empty line.
    qsizetype lineCount() const { return qsizetype(lows_.size()); }
    qsizetype lineStart(qsizetype line) const;
    // The end of the line's own bytes, before its line break.
    qsizetype lineEnd(qsizetype line) const;
    // The line that holds byte `pos` (or whose line break does).
    qsizetype lineOf(qsizetype pos) const;
    // The end of the indexed text.
    qsizetype end() const { return end_; }
    // Heap bytes held.
    qsizetype memoryBytes() const;

private:
    static constexpr int kSpanBits = 32;
    void addLine(qsizetype start);

    // Each line's start within its 4 GiB span.
    std::vector<quint32> lows_{0};
    // spanStarts_[k]: the first line that starts in span k + 1 or later.
    std::vector<qsizetype> spanStarts_;
    // Lines (ascending) whose line break is a single byte; rare in the board's text, whose
    // breaks are CR LF but for a CR or LF taken by a lead byte before it.
    std::vector<qsizetype> shortBreaks_;
    qsizetype end_ = 0;
    // The text ended in a CR: an LF that comes next makes that break CR LF.
    bool endsInCR_ = false;
};

} // namespace board
