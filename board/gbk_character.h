#pragma once

#include "board/line_breaks.h"

namespace board {

// The length in bytes of the character that starts at p[pos] in the text p[0, end): two for
// a GBK lead byte with a byte after it, one for any other byte. Every scan of board text
// steps by it, so that views, indexes and pieces agree on where characters start.
inline qsizetype gbkCharacterBytes(const char *p, qsizetype pos, qsizetype end)
{
    return isLeadByte(static_cast<unsigned char>(p[pos])) && pos + 1 < end ? 2 : 1;
}

} // namespace board
