#pragma once

#include <QtGlobal>

#include <utility>
#include <vector>

namespace boardview {

// Character offsets of the board text as a screen reader counts them (a GBK character is
// one, a line break CR LF is one), turned into byte positions and back at the cost of one
// block of text: a mark every kBlockBytes holds the characters before it. Marks are found on
// the first question past them, with the scan that skips plain ASCII eight bytes at a time,
// and stay valid as text is appended.
class CharacterOffsets {
public:
    static constexpr qsizetype kBlockBytes = 64 * 1024;

    // The text was replaced.
    void clear() { marks_.assign(1, {0, 0}); }

    // Characters of text[0, end) before byte pos, pos on a character boundary.
    qsizetype offsetOf(const char *text, qsizetype end, qsizetype pos);
    // The character boundary where `offset` characters lie before; end when there are fewer.
    qsizetype positionOf(const char *text, qsizetype end, qsizetype offset);

private:
    struct Mark {
        qsizetype pos;
        qsizetype chars;
    };
    // Adds marks until the last is at or past pos, or offset characters, or near end.
    void markUpTo(const char *text, qsizetype end, qsizetype pos, qsizetype offset);

    std::vector<Mark> marks_{{0, 0}};
};

// Bytes of the shown character at text[pos], text ending at end.
qsizetype shownCharacterBytes(const char *text, qsizetype pos, qsizetype end);
// From (pos, chars) on, to the boundary `offset` characters in or to limit, whichever comes
// first (past limit when a character crosses it): the position reached and its characters.
std::pair<qsizetype, qsizetype> walkCharacters(const char *text, qsizetype end, qsizetype pos,
                                               qsizetype chars, qsizetype limit, qsizetype offset);

} // namespace boardview
