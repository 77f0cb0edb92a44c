#include "board/line_breaks.h"

#include <QtEndian>
#include <bit>
#include <cstring>

namespace board {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';

// Where the normal form first differs from text: a lone CR or LF, or the zero byte that
// ends the text. n when text is already normal.
qsizetype firstChange(const char *p, qsizetype n)
{
    qsizetype pos = 0;
    for (;;) {
        pos = nextCandidate(p, pos, n);
        if (pos == n)
            return n;
        const auto c = static_cast<unsigned char>(p[pos]);
        if (c == 0 || c == kLF)
            return pos;
        if (c == kCR) {
            if (pos + 1 < n && p[pos + 1] == kLF) {
                pos += 2;
                continue;
            }
            return pos;
        }
        if (isLeadByte(c) && pos + 1 < n) {
            if (p[pos + 1] == 0)
                return pos + 1;
            pos += 2;
            continue;
        }
        ++pos;
    }
}

// Writes the normal form of p[pos, n) at out, pos being at a character boundary; returns
// the end of what it wrote. out must have room for twice n - pos.
char *writeNormal(const char *p, qsizetype pos, qsizetype n, char *out)
{
    for (;;) {
        const qsizetype next = nextCandidate(p, pos, n);
        std::memcpy(out, p + pos, size_t(next - pos));
        out += next - pos;
        pos = next;
        if (pos == n)
            return out;
        const auto c = static_cast<unsigned char>(p[pos]);
        if (c == 0)
            return out;
        if (c == kCR || c == kLF) {
            *out++ = kCR;
            *out++ = kLF;
            pos += (c == kCR && pos + 1 < n && p[pos + 1] == kLF) ? 2 : 1;
            continue;
        }
        *out++ = char(c);
        ++pos;
        if (isLeadByte(c) && pos < n) {
            if (p[pos] == 0)
                return out;
            *out++ = p[pos++];
        }
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
