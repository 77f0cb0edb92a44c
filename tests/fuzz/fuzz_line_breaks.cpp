// Properties of the load normalisation on arbitrary bytes.
#include "board/line_breaks.h"

#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

bool isLeadByte(char c)
{
    return std::uint8_t(c) >= 0x81 && std::uint8_t(c) <= 0xFE;
}

// The bytes that are not line breaks, walking double-byte characters as the loader does.
QByteArray withoutBreaks(QByteArrayView text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLeadByte(text[i]) && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
        } else if (text[i] != '\r' && text[i] != '\n') {
            out += text[i];
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray text = board::normalizeLineBreaks(input);

    // No zero byte, and outside double-byte characters every CR is followed by LF and every
    // LF follows a CR.
    require(!text.contains('\0'));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLeadByte(text[i]) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (text[i] == '\r') {
            require(i + 1 < text.size() && text[i + 1] == '\n');
            ++i;
        } else {
            require(text[i] != '\n');
        }
    }

    // Nothing but line breaks changes, and only the text before the first zero byte counts.
    const qsizetype zero = input.indexOf('\0');
    const QByteArrayView kept = zero < 0 ? input : input.first(zero);
    require(withoutBreaks(text) == withoutBreaks(kept));

    // Normal text stays as it is, and both forms of the function agree.
    require(board::normalizeLineBreaks(text) == text);
    QByteArray inPlace(input.data(), input.size());
    board::normalizeLineBreaksInPlace(inPlace);
    require(inPlace == text);
    return 0;
}
