#include "board/line_index.h"

#include "board/gbk_character.h"

#include <algorithm>

namespace board {

void LineIndex::clear()
{
    starts_.assign(1, 0);
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
            starts_.back() = quint32(pos);
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
                shortBreaks_.push_back(quint32(starts_.size() - 1));
            pos += breakBytes;
            starts_.push_back(quint32(pos));
        } else if (isLeadByte(c) && pos + 1 == n) {
            end_ = pos;
            return;
        } else {
            pos += gbkCharacterBytes(p, pos, n);
        }
    }
    end_ = n;
}

void LineIndex::compact()
{
    starts_.shrink_to_fit();
    shortBreaks_.shrink_to_fit();
}

qsizetype LineIndex::lineEnd(qsizetype line) const
{
    if (line + 1 >= lineCount())
        return end_;
    const bool shortBreak =
        std::binary_search(shortBreaks_.begin(), shortBreaks_.end(), quint32(line));
    return qsizetype(starts_[size_t(line + 1)]) - (shortBreak ? 1 : 2);
}

qsizetype LineIndex::lineOf(qsizetype pos) const
{
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), quint32(pos));
    return qsizetype(it - starts_.begin()) - 1;
}

qsizetype LineIndex::memoryBytes() const
{
    return qsizetype((starts_.capacity() + shortBreaks_.capacity()) * sizeof(quint32));
}

} // namespace board
