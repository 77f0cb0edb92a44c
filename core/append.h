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
inline void appendBytes(QByteArray &out, const char *bytes, qsizetype n)
{
    QByteArray::DataPointer &d = out.data_ptr();
    if (d.needsDetach() || d.freeSpaceAtEnd() < n)
        out.reserve(std::max(out.capacity() * 2, out.size() + n));
    std::memcpy(d.data() + d.size, bytes, size_t(n));
    d.size += n;
    d.data()[d.size] = '\0';
}

// Room for at least n more bytes at the end of out, to be written in place: the bytes
// written there become part of out with appended(out, written).
inline char *roomAtEnd(QByteArray &out, qsizetype n)
{
    QByteArray::DataPointer &d = out.data_ptr();
    if (d.needsDetach() || d.freeSpaceAtEnd() < n)
        out.reserve(std::max(out.capacity() * 2, out.size() + n));
    return d.data() + d.size;
}

inline void appended(QByteArray &out, qsizetype n)
{
    QByteArray::DataPointer &d = out.data_ptr();
    d.size += n;
    d.data()[d.size] = '\0';
}

inline void appendByte(QByteArray &out, char c)
{
    appendBytes(out, &c, 1);
}

} // namespace core
