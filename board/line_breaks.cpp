#include "board/line_breaks.h"

#include <QtEndian>
#include <bit>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace board {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';

// Where the normal form first differs from text: a lone CR or LF, or the zero byte that
// ends the text. n when text is already normal.
qsizetype firstChange(const char *p, qsizetype n)
{
    for (qsizetype pos = 0;;) {
        const LineEnd e = findLineEnd(p, pos, n);
        if (e.kind == LineEnd::None)
            return n;
        if (e.kind == LineEnd::Break && e.next - e.at == 2) {
            pos = e.next;
            continue;
        }
        return e.at;
    }
}

// Writes the normal form of p[pos, n) at out, pos being at a character boundary; returns
// the end of what it wrote. out must have room for twice n - pos.
char *writeNormal(const char *p, qsizetype pos, qsizetype n, char *out)
{
    for (;;) {
        const LineEnd e = findLineEnd(p, pos, n);
        std::memcpy(out, p + pos, size_t(e.at - pos));
        out += e.at - pos;
        if (e.kind != LineEnd::Break)
            return out;
        *out++ = kCR;
        *out++ = kLF;
        pos = e.next;
    }
}

QByteArray normalFrom(QByteArrayView text, qsizetype change)
{
    const qsizetype n = text.size();
    QByteArray out(change + 2 * (n - change), Qt::Uninitialized);
    std::memcpy(out.data(), text.data(), size_t(change));
    const char *end = writeNormal(text.data(), change, n, out.data() + change);
    out.truncate(end - out.constData());
    return out;
}

} // namespace

namespace {

// Only controls up to CR (zero, LF and CR among them) and bytes with the high bit (the lead
// bytes among them) need a closer look.
bool mayMatter(unsigned char c)
{
    return c <= 0x0D || c >= 0x80;
}

} // namespace

qsizetype nextCandidate(const char *p, qsizetype pos, qsizetype n)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highBits = ones * 0x80;
    while (pos + 8 <= n) {
        const quint64 w = qFromLittleEndian<quint64>(p + pos);
        // A byte below 0x0E wraps round and sets its high bit; its borrow can only mark
        // bytes above it, so the lowest marked byte is always a true candidate.
        const quint64 marked = ((w - ones * 0x0E) | w) & highBits;
        if (marked)
            return pos + std::countr_zero(marked) / 8;
        pos += 8;
    }
    while (pos < n && !mayMatter(static_cast<unsigned char>(p[pos])))
        ++pos;
    return pos;
}

namespace {

// The end that a zero, LF or CR at `at` makes of the line; none for another byte.
std::optional<LineEnd> endAtControl(const char *p, qsizetype at, qsizetype n, bool more)
{
    switch (p[at]) {
    case 0: return LineEnd{LineEnd::Zero, at, at};
    case kLF: return LineEnd{LineEnd::Break, at, at + 1};
    case kCR:
        if (at + 1 < n)
            return LineEnd{LineEnd::Break, at, p[at + 1] == kLF ? at + 2 : at + 1};
        return more ? LineEnd{LineEnd::Undecided, at, at} : LineEnd{LineEnd::Break, at, n};
    default: return std::nullopt;
    }
}

// The end of the line found by walking its characters, a lead byte and the byte after it
// at a time.
LineEnd walkToLineEnd(const char *p, qsizetype pos, qsizetype n, bool more)
{
    for (;;) {
        pos = nextCandidate(p, pos, n);
        if (pos == n)
            return {LineEnd::None, n, n};
        if (const auto end = endAtControl(p, pos, n, more))
            return *end;
        const auto c = static_cast<unsigned char>(p[pos]);
        if (isLeadByte(c)) {
            if (pos + 1 == n)
                return more ? LineEnd{LineEnd::Undecided, pos, pos} : LineEnd{LineEnd::None, n, n};
            if (p[pos + 1] == 0)
                return {LineEnd::Zero, pos + 1, pos + 1};
            pos += 2;
            continue;
        }
        ++pos;
    }
}

// The first position from pos on (n when none) of a control up to CR, zero, LF and CR among
// them: sixteen bytes at a time where the processor compares them at once, then eight.
qsizetype nextControl(const char *p, qsizetype pos, qsizetype n)
{
#if defined(__SSE2__)
    const __m128i highestControl = _mm_set1_epi8(0x0D);
    while (pos + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + pos));
        // The bytes that are their own minimum with 0x0D, unsigned, are those up to it.
        const int marked = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, highestControl), v));
        if (marked != 0)
            return pos + std::countr_zero(unsigned(marked));
        pos += 16;
    }
#endif
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highBits = ones * 0x80;
    while (pos + 8 <= n) {
        const quint64 w = qFromLittleEndian<quint64>(p + pos);
        // A byte below 0x0E wraps round; a byte with its own high bit set is left out. The
        // borrow can only mark bytes above a true one, so the lowest marked byte is one.
        const quint64 marked = (w - ones * 0x0E) & ~w & highBits;
        if (marked)
            return pos + std::countr_zero(marked) / 8;
        pos += 8;
    }
    for (; pos < n; ++pos)
        if (static_cast<unsigned char>(p[pos]) <= 0x0D)
            break;
    return pos;
}

} // namespace

LineEnd findLineEnd(const char *p, qsizetype pos, qsizetype n, bool more)
{
    // A line of readings holds lead bytes inside it and no control but its break: the first
    // control ends it, in one scan, unless the byte before that control may be a lead byte
    // that takes it in. Only then (and for a lead byte last) are the characters walked.
    const qsizetype start = pos;
    for (qsizetype at = pos;;) {
        at = nextControl(p, at, n);
        if (at > start && isLeadByte(static_cast<unsigned char>(p[at - 1])))
            return walkToLineEnd(p, start, n, more);
        if (at == n)
            return {LineEnd::None, n, n};
        if (const auto end = endAtControl(p, at, n, more))
            return *end;
        ++at; // another control, part of the line
    }
}

QByteArray normalizeLineBreaks(QByteArrayView text)
{
    const qsizetype change = firstChange(text.data(), text.size());
    if (change == text.size())
        return text.toByteArray();
    return normalFrom(text, change);
}

void normalizeLineBreaksInPlace(QByteArray &text)
{
    const qsizetype change = firstChange(text.constData(), text.size());
    if (change == text.size())
        return;
    if (text.at(change) == 0)
        text.truncate(change);
    else
        text = normalFrom(text, change);
}

} // namespace board
