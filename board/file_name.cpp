#include "board/file_name.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace board {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(QChar c)
{
    return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF;
}

} // namespace

QString nameFromSystem(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // Valid runs decode as UTF-8; each byte of an invalid one is escaped on its own.
    text.clear();
    for (qsizetype at = 0; at < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        const qsizetype length = lead < 0x80 ? 1
            : lead >= 0xF0                   ? 4
            : lead >= 0xE0                   ? 3
            : lead >= 0xC0                   ? 2
                                             : 0;
        QStringDecoder one(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = length > 0 && at + length <= bytes.size()
            ? one.decode(bytes.sliced(at, length))
            : QString();
        if (length > 0 && !decoded.isEmpty() && !one.hasError()) {
            text += decoded;
            at += length;
        } else {
            text += QChar(char16_t(kEscapeBase + lead));
            ++at;
        }
    }
    return text;
}

QByteArray systemName(const QString &name)
{
    QByteArray bytes;
    if (!std::any_of(name.begin(), name.end(), isEscape)) {
        bytes = QFile::encodeName(name);
    } else {
        for (qsizetype at = 0; at < name.size(); ++at) {
            if (isEscape(name[at])) {
                bytes += char(name[at].unicode() - kEscapeBase);
                continue;
            }
            const qsizetype length = name[at].isHighSurrogate() ? 2 : 1;
            bytes += name.mid(at, length).toUtf8();
            at += length - 1;
        }
    }
    return bytes.contains('\0') ? QByteArray() : bytes;
}

} // namespace board
