#include "cli/streams.h"

#include "board/data_board.h"
#include "board/errors.h"
#include "board/line_breaks.h"
#include "board/text_file.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool hasEscapes(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF)
            return true;
    return false;
}

// Reads fd to its end; more than the load limit is the board's error.
QByteArray readStream(int fd, const QString &shownName)
{
    QByteArray text;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw board::cannotOpenFile(shownName, errno);
        const void *zero = std::memchr(chunk, 0, size_t(std::max<ssize_t>(n, 0)));
        text.append(chunk, zero ? static_cast<const char *>(zero) - chunk : n);
        if (text.size() > board::DataBoard::kMaxLoadBytes)
            throw board::textExceedsCapacity();
        if (n == 0 || zero)
            break;
    }
    board::normalizeLineBreaksInPlace(text);
    if (text.size() > board::DataBoard::kMaxLoadBytes)
        throw board::textExceedsCapacity();
    return text;
}

} // namespace

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(bytes);
        if (!utf8.hasError()) {
            arguments << text;
            continue;
        }
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
                ? one.decode(bytes.mid(at, length))
                : QString();
            if (length > 0 && !decoded.isEmpty() && !one.hasError()) {
                text += decoded;
                at += length;
            } else {
                text += QChar(char16_t(kEscapeBase + lead));
                ++at;
            }
        }
        arguments << text;
    }
    return arguments;
}

QByteArray systemName(const QString &argument)
{
    if (!hasEscapes(argument))
        return QFile::encodeName(argument);
    QByteArray bytes;
    for (qsizetype at = 0; at < argument.size(); ++at) {
        const char16_t c = argument[at].unicode();
        if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF)
            bytes += char(c - kEscapeBase);
        else
            bytes += argument.mid(at, argument[at].isHighSurrogate() ? 2 : 1).toUtf8();
        if (argument[at].isHighSurrogate())
            ++at;
    }
    return bytes;
}

bool isStream(const QString &path)
{
    struct stat info { };
    return path == u"-"
        || (::stat(systemName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode)
            && !S_ISDIR(info.st_mode));
}

QByteArray inputText(const QString &path)
{
    if (path == u"-")
        return readStream(STDIN_FILENO, QStringLiteral("-"));
    if (!isStream(path) && !hasEscapes(path))
        return board::DataBoard::textOfFile(path);
    const QString shown = board::absoluteFilePath(path);
    const int fd = ::open(systemName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw board::cannotOpenFile(shown, errno);
    struct stat info { };
    const bool directory = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    QByteArray text;
    try {
        if (directory)
            throw board::cannotOpenFile(shown, EISDIR);
        text = readStream(fd, shown);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return text;
}

} // namespace cli
