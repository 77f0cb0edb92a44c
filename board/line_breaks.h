#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace board {

// The text of a file as the board holds it. Every line break becomes CR LF: CR LF stays, a
// lone CR and a lone LF each become CR LF (so LF CR and CR CR are two breaks each). A GBK
// lead byte (0x81 to 0xFE) is copied together with the byte after it, which is therefore
// never taken for a line break. The text ends at the first zero byte. Nothing else changes.
QByteArray normalizeLineBreaks(QByteArrayView text);

// A GBK lead byte: the byte after it belongs to the same character, and is therefore never
// a line break.
inline bool isLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

// The first position from pos on (n when none) of a byte that may start something a scan
// of board text must look at: a control up to CR (zero, LF and CR among them) or a byte with
// the high bit (the lead bytes among them). Files are tens of megabytes of mostly plain
// ASCII, so it skips eight bytes at a time.
qsizetype nextCandidate(const char *p, qsizetype pos, qsizetype n);

// What ends a line of board text, the one rule every reader of board text follows: CR LF,
// a lone CR or a lone LF is a break, a byte after a lead byte never is, and a zero byte ends
// the text.
struct LineEnd {
    enum Kind {
        Break, // the line ends at `at`; the next starts at `next`
        Zero, // a zero byte at `at` ends the text
        None, // no end before n: at == n
        Undecided, // the last byte, at `at`, is a CR or a lead byte: the bytes to come decide
    };
    Kind kind;
    qsizetype at;
    qsizetype next;
};

// The end of the line that starts at pos (a character boundary) in p[0, n). With `more`,
// bytes follow p[n - 1] (text read in pieces), so a CR or a lead byte as the last byte is
// Undecided; without, the text ends at n.
LineEnd findLineEnd(const char *p, qsizetype pos, qsizetype n, bool more = false);

// The same, in text's own buffer: a text that is already normal (the usual case of a file
// this program wrote) is not copied.
void normalizeLineBreaksInPlace(QByteArray &text);

} // namespace board
