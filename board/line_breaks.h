#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace board {

// The text of a file as the board holds it. Every line break becomes CR LF: CR LF stays, a
// lone CR and a lone LF each become CR LF (so LF CR and CR CR are two breaks each). A GBK
// lead byte (0x81 to 0xFE) is copied together with the byte after it, which is therefore
// never taken for a line break. The text ends at the first zero byte. Nothing else changes.
QByteArray normalizeLineBreaks(QByteArrayView text);

// The same, in text's own buffer: a text that is already normal (the usual case of a file
// this program wrote) is not copied.
void normalizeLineBreaksInPlace(QByteArray &text);

} // namespace board
