#include "board/line_index.h"

#include "board/gbk_character.h"

#include <algorithm>

namespace board {

void LineIndex::clear()
{
    lows_.assign(1, 0);
    spanStarts_.clear();
    shortBreaks_.clear();
    end_ = 0;
    endsInCR_ = false;
}

void LineIndex::extend(QByteArrayView text)
{
    const char *p = text.data();
    const qsizetype n = text.size();
    qsizetype pos = end_;
    if (endsInCR_ && pos < n) {
        endsInCR_ = false;
        if (p[pos] == '\n') {
            ++pos;
            // The line started by the CR alone now starts one byte later.
            lows_.pop_back();
            while (!spanStarts_.empty() && spanStarts_.back() == lineCount())
                spanStarts_.pop_back();
            addLine(pos);
            shortBreaks_.pop_back();
        }
    }
    for (;;) {
        pos = nextCandidate(p, pos, n);
        if (pos == n)
            break;
        const auto c = static_cast<unsigned char>(p[pos]);
        if (c == '\r' || c == '\n') {
            qsizetype breakBytes = 1;
            if (c == '\r' && pos + 1 < n && p[pos + 1] == '\n')
                breakBytes = 2;
            else if (c == '\r' && pos + 1 == n)
                endsInCR_ = true;
            if (breakBytes == 1)
                shortBreaks_.push_back(lineCount() - 1);
            pos += breakBytes;
            addLine(pos);
        } else if (isLeadByte(c) && pos + 1 == n) {
            end_ = pos;
            return;
        } else {
            pos += gbkCharacterBytes(p, pos, n);
        }
    }
    end_ = n;
}

void LineIndex::addLine(qsizetype start)
{
    const auto span = size_t(start >> kSpanBits);
    while (spanStarts_.size() < span)
        spanStarts_.push_back(lineCount());
    lows_.push_back(quint32(start));
}

void LineIndex::compact()
{
    lows_.shrink_to_fit();
    spanStarts_.shrink_to_fit();
    shortBreaks_.shrink_to_fit();
}

qsizetype LineIndex::lineStart(qsizetype line) const
{
    const auto span =
        std::upper_bound(spanStarts_.begin(), spanStarts_.end(), line) - spanStarts_.begin();
    return (qsizetype(span) << kSpanBits) | qsizetype(lows_[size_t(line)]);
}

qsizetype LineIndex::lineEnd(qsizetype line) const
{
    if (line + 1 >= lineCount())
        return end_;
    const bool shortBreak = std::binary_search(shortBreaks_.begin(), shortBreaks_.end(), line);
    return lineStart(line + 1) - (shortBreak ? 1 : 2);
}

qsizetype LineIndex::lineOf(qsizetype pos) const
{
    // The lines that start in pos's span, then among them by the offset within it.
    const auto span = size_t(pos >> kSpanBits);
    if (span > spanStarts_.size())
        return lineCount() - 1;
    const qsizetype first = span == 0 ? 0 : spanStarts_[span - 1];
    const qsizetype last = span < spanStarts_.size() ? spanStarts_[span] : lineCount();
    const auto it = std::upper_bound(lows_.begin() + first, lows_.begin() + last, quint32(pos));
    return qsizetype(it - lows_.begin()) - 1;
}

qsizetype LineIndex::memoryBytes() const
{
    return qsizetype(lows_.capacity() * sizeof(quint32)
                     + (spanStarts_.capacity() + shortBreaks_.capacity()) * sizeof(qsizetype));
}

} // namespace board
