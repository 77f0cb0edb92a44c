#include "app/board_line_index.h"

#include <QtEndian>

#include <algorithm>
#include <bit>

namespace app {

namespace {

// Readings are mostly plain ASCII: the scan skips eight bytes at a time over bytes that can
// be neither a line break nor a lead byte.
qsizetype nextCandidate(const char *p, qsizetype pos, qsizetype n)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highBits = ones * 0x80;
    while (pos + 8 <= n) {
        const quint64 w = qFromLittleEndian<quint64>(p + pos);
        // Bytes below 0x0E wrap round and set their high bit; a borrow marks only bytes
        // above the first true candidate, so the lowest marked byte is one.
        const quint64 marked = ((w - ones * 0x0E) | w) & highBits;
        if (marked)
            return pos + std::countr_zero(marked) / 8;
        pos += 8;
    }
    while (pos < n) {
        const auto c = static_cast<unsigned char>(p[pos]);
        if (c <= 0x0D || c >= 0x80)
            break;
        ++pos;
    }
    return pos;
}

} // namespace

void BoardLineIndex::clear()
{
    starts_.assign(1, 0);
    shortBreaks_.clear();
    end_ = 0;
    endsInCR_ = false;
}

void BoardLineIndex::extend(QByteArrayView text)
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
        } else if (isGbkLeadByte(c)) {
            if (pos + 1 == n) {
                end_ = pos;
                return;
            }
            pos += 2;
        } else {
            ++pos;
        }
    }
    end_ = n;
}

void BoardLineIndex::compact()
{
    starts_.shrink_to_fit();
    shortBreaks_.shrink_to_fit();
}

qsizetype BoardLineIndex::lineEnd(qsizetype line) const
{
    if (line + 1 >= lineCount())
        return end_;
    const bool shortBreak =
        std::binary_search(shortBreaks_.begin(), shortBreaks_.end(), quint32(line));
    return qsizetype(starts_[size_t(line + 1)]) - (shortBreak ? 1 : 2);
}

qsizetype BoardLineIndex::lineOf(qsizetype pos) const
{
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), quint32(pos));
    return qsizetype(it - starts_.begin()) - 1;
}

qsizetype BoardLineIndex::memoryBytes() const
{
    return qsizetype((starts_.capacity() + shortBreaks_.capacity()) * sizeof(quint32));
}

} // namespace app
