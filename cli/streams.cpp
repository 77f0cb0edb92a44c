#include "cli/streams.h"

#include "board/data_board.h"
#include "board/errors.h"
#include "board/file_name.h"
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
    for (int i = 0; i < argc; ++i)
        arguments << board::nameFromSystem(argv[i]);
    return arguments;
}

bool isStream(const QString &path)
{
    struct stat info { };
    return path == u"-"
        || (::stat(board::systemName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode)
            && !S_ISDIR(info.st_mode));
}

QByteArray inputBytes(const QString &path)
{
    constexpr qsizetype kMax = board::DataBoard::kMaxLoadBytes;
    QByteArray text;
    if (path == u"-") {
        text = readStream(STDIN_FILENO, QStringLiteral("-"), kMax);
    } else if (!isStream(path)) {
        text = board::readFileHead(path, kMax);
    } else {
        const QString shown = board::absoluteFilePath(path);
        const int fd = ::open(board::systemName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
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
