#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace core {

// Appends n bytes to out. QByteArray's own append and resize are calls into Qt that cost
// more than the few bytes of a field; writers that add millions of fields into one reserved
// buffer use this instead, which grows the buffer (doubling) only when it is full and
// otherwise copies the bytes and moves the end (the array's own fields, as Qt's inline
// functions do).
namespace detail {

// A copy of the few bytes of a field in moves of fixed size, which the compiler writes in
// place where a call to memcpy would cost more than the copy.
[[gnu::always_inline]] inline void copySmall(char *to, const char *from, qsizetype n)
{
    if (n >= 8) {
        if (n > 16) {
            std::memcpy(to, from, size_t(n));
            return;
        }
        // Two moves of eight that overlap in the middle.
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else {
        for (qsizetype i = 0; i < n; ++i)
            to[i] = from[i];
    }
}

[[gnu::noinline]] inline void grow(QByteArray &out, qsizetype n)
{
    out.reserve(std::max(out.capacity() * 2, out.size() + n));
}

} // namespace detail

[[gnu::always_inline]] inline void appendBytes(QByteArray &out, const char *bytes, qsizetype n)
{
    QByteArray::DataPointer &d = out.data_ptr();
    if (d.needsDetach() || d.freeSpaceAtEnd() < n) [[unlikely]]
        detail::grow(out, n);
    detail::copySmall(d.data() + d.size, bytes, n);
    d.size += n;
    d.data()[d.size] = '\0';
}

// Room for at least n more bytes at the end of out, to be written in place: the bytes
// written there become part of out with appended(out, written).
[[gnu::always_inline]] inline char *roomAtEnd(QByteArray &out, qsizetype n)
{
    QByteArray::DataPointer &d = out.data_ptr();
    if (d.needsDetach() || d.freeSpaceAtEnd() < n) [[unlikely]]
        detail::grow(out, n);
    return d.data() + d.size;
}

[[gnu::always_inline]] inline void appended(QByteArray &out, qsizetype n)
{
    QByteArray::DataPointer &d = out.data_ptr();
    d.size += n;
    d.data()[d.size] = '\0';
}

[[gnu::always_inline]] inline void appendByte(QByteArray &out, char c)
{
    *roomAtEnd(out, 1) = c;
    appended(out, 1);
}

} // namespace core
