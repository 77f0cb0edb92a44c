#include "boardview/character_offsets.h"

#include "board/gbk_character.h"

#include <algorithm>
#include <limits>

namespace boardview {

namespace {

constexpr qsizetype kNoLimit = std::numeric_limits<qsizetype>::max();

} // namespace

qsizetype shownCharacterBytes(const char *text, qsizetype pos, qsizetype end)
{
    if (text[pos] == '\r' && pos + 1 < end && text[pos + 1] == '\n')
        return 2;
    return board::gbkCharacterBytes(text, pos, end);
}

std::pair<qsizetype, qsizetype> walkCharacters(const char *text, qsizetype end, qsizetype pos,
                                               qsizetype chars, qsizetype limit, qsizetype offset)
{
    while (pos < limit && chars < offset) {
        // Between candidates every byte is a character of its own.
        const qsizetype next = board::nextCandidate(text, pos, limit);
        if (chars + (next - pos) >= offset)
            return {pos + (offset - chars), offset};
        chars += next - pos;
        pos = next;
        if (pos == limit)
            break;
        pos += shownCharacterBytes(text, pos, end);
        ++chars;
    }
    return {pos, chars};
}

void CharacterOffsets::markUpTo(const char *text, qsizetype end, qsizetype pos, qsizetype offset)
{
    // A mark never stands within two bytes of the end: the byte that comes next may pair
    // with the last one.
    while (marks_.back().pos < pos && marks_.back().chars < offset
           && marks_.back().pos + kBlockBytes + 2 < end) {
        const Mark last = marks_.back();
        // A character that crosses the block's end puts the mark after it.
        const auto [at, chars] =
            walkCharacters(text, end, last.pos, last.chars, last.pos + kBlockBytes, kNoLimit);
        marks_.push_back({at, chars});
    }
}

qsizetype CharacterOffsets::offsetOf(const char *text, qsizetype end, qsizetype pos)
{
    markUpTo(text, end, pos, kNoLimit);
    const auto it = std::upper_bound(marks_.begin(), marks_.end(), pos,
                                     [](qsizetype p, const Mark &m) { return p < m.pos; });
    const Mark from = *(it - 1);
    return walkCharacters(text, end, from.pos, from.chars, pos, kNoLimit).second;
}

qsizetype CharacterOffsets::positionOf(const char *text, qsizetype end, qsizetype offset)
{
    markUpTo(text, end, kNoLimit, offset);
    const auto it = std::upper_bound(marks_.begin(), marks_.end(), offset,
                                     [](qsizetype c, const Mark &m) { return c < m.chars; });
    const Mark from = *(it - 1);
    return walkCharacters(text, end, from.pos, from.chars, end, offset).first;
}

} // namespace boardview
