#include "cli/streams.h"

#include "board/data_board.h"
#include "board/errors.h"
#include "board/line_breaks.h"
#include "board/text_file.h"
#include "cli/errors.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
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

// Reads fd to its end, or to one byte past maxBytes, which shows that it holds more.
QByteArray readStream(int fd, const QString &shownName, qsizetype maxBytes)
{
    QByteArray text;
    char chunk[65536];
    while (text.size() <= maxBytes) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw board::cannotOpenFile(shownName, errno);
        if (n == 0)
            break;
        text.append(chunk, std::min<qsizetype>(n, maxBytes + 1 - text.size()));
    }
    return text;
}

// The line (from 1) of the byte at `at`, counting CR LF, LF and a lone CR as one break each,
// as the board does.
qint64 lineAt(QByteArrayView text, qsizetype at)
{
    qint64 line = 1;
    for (qsizetype i = 0; i < at; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++line;
    }
    return line;
}

EInputFile tooLarge(const QString &path, QByteArrayView text)
{
    return EInputFile(
        QStringLiteral("%1:%2: the file goes on past %3 MiB here, more than the tool reads from "
                       "one file; nothing was read from it")
            .arg(path, QString::number(lineAt(text, board::DataBoard::kMaxLoadBytes)),
                 QString::number(board::DataBoard::kMaxLoadBytes / (1024 * 1024))));
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

QByteArray inputBytes(const QString &path)
{
    constexpr qsizetype kMax = board::DataBoard::kMaxLoadBytes;
    QByteArray text;
    if (path == u"-") {
        text = readStream(STDIN_FILENO, QStringLiteral("-"), kMax);
    } else if (!isStream(path) && !hasEscapes(path)) {
        text = board::readFileHead(path, kMax);
    } else {
        const QString shown = board::absoluteFilePath(path);
        const int fd = ::open(systemName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            throw board::cannotOpenFile(shown, errno);
        struct stat info { };
        const bool directory = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
        try {
            if (directory)
                throw board::cannotOpenFile(shown, EISDIR);
            text = readStream(fd, shown, kMax);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
    }
    // The window's board ends its text at a zero byte; a file for the tool that holds one
    // is no text (a wrong file, or one damaged), and reading only its start would pass
    // readings or capacities off as all of them.
    if (const qsizetype zero = text.indexOf('\0'); zero >= 0)
        throw EInputFile(QStringLiteral("%1:%2: a NUL byte, which no text file holds; nothing was "
                                        "read from the file")
                             .arg(path, QString::number(lineAt(text, zero))));
    if (text.size() > kMax)
        throw tooLarge(path, text);
    return text;
}

QByteArray inputText(const QString &path)
{
    QByteArray text = inputBytes(path);
    board::normalizeLineBreaksInPlace(text);
    if (text.size() > board::DataBoard::kMaxLoadBytes)
        throw tooLarge(path, text);
    return text;
}

} // namespace cli
