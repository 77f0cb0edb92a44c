#include "cli/common/streams.h"

#include "board/data_board.h"
#include "board/errors.h"
#include "board/file_name.h"
#include "board/line_breaks.h"
#include "board/text_file.h"
#include "cli/common/errors.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <csignal>
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

namespace {

volatile std::sig_atomic_t interruptCaught = 0;
struct sigaction previousInt {
}, previousTerm{};

void onInterrupt(int)
{
    interruptCaught = 1;
}

} // namespace

InterruptCatcher::InterruptCatcher()
{
    interruptCaught = 0;
    struct sigaction action { };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read waiting on a pipe returns, and the reader sees the signal.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

InterruptCatcher::~InterruptCatcher()
{
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
}

bool InterruptCatcher::caught()
{
    return interruptCaught != 0;
}

LineReader::LineReader(const QString &path, qsizetype chunk)
    : path_(path), chunk_(std::max<qsizetype>(chunk, 1))
{
    if (path == u"-") {
        fd_ = STDIN_FILENO;
        stream_ = true;
    } else if (!isStream(path)) {
        owned_ = board::openRegularFile(path);
        fd_ = owned_.get();
    } else {
        const QString shown = board::absoluteFilePath(path);
        owned_.reset(::open(board::systemName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        if (owned_.get() < 0)
            throw board::cannotOpenFile(shown, errno);
        struct stat info { };
        if (::fstat(owned_.get(), &info) == 0 && S_ISDIR(info.st_mode))
            throw board::cannotOpenFile(shown, EISDIR);
        fd_ = owned_.get();
        stream_ = true;
    }
    // The line being looked at (up to kLongestLine and a byte that waits for the next) and
    // one chunk after it.
    buffer_.resize(kLongestLine + 1 + chunk_);

    if (stream_)
        return;
    // A regular file can be read twice: once for a zero byte, which is rare and quickly
    // found, and again for its lines.
    bool zero = false;
    for (off_t at = 0; !zero;) {
        const ssize_t n = ::pread(fd_, buffer_.data(), size_t(buffer_.size()), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw board::cannotOpenFile(board::absoluteFilePath(path_), errno);
        if (n == 0)
            break;
        zero = std::memchr(buffer_.constData(), 0, size_t(n)) != nullptr;
        at += n;
    }
    if (zero) {
        // Counted through to it, to name its line.
        QByteArrayView line;
        while (next(line)) { }
    }
}

void LineReader::refuseZero()
{
    throw EInputFile(QStringLiteral("%1:%2: a NUL byte, which no text file holds; %3")
                         .arg(path_, QString::number(number_),
                              stream_ ? QStringLiteral("nothing from there on was read")
                                      : QStringLiteral("nothing was read from the file")));
}

bool LineReader::next(QByteArrayView &line)
{
    for (;;) {
        const board::LineEnd e = board::findLineEnd(buffer_.constData(), scan_, end_, !eof_);
        if (e.kind == board::LineEnd::Zero) {
            ++number_;
            refuseZero();
        }
        if (e.kind == board::LineEnd::Break
            || (e.kind == board::LineEnd::None && eof_ && (begin_ < end_ || skipping_))) {
            ++number_;
            cut_ = skipping_ || e.at - begin_ > kLongestLine;
            line = skipping_ ? QByteArrayView(cutStart_)
                             : QByteArrayView(buffer_.constData() + begin_,
                                              std::min(e.at - begin_, kLongestLine));
            skipping_ = false;
            begin_ = scan_ = e.next;
            return true;
        }
        if (e.kind == board::LineEnd::None && eof_)
            return false;
        scan_ = e.at; // the end so far, or the byte the next chunk decides
        if (!fill())
            return false;
    }
}

bool LineReader::fill()
{
    // A line too long to be a reading keeps only its start; the rest is dropped as it comes.
    if (!skipping_ && scan_ - begin_ > kLongestLine) {
        cutStart_ = QByteArray(buffer_.constData() + begin_, kLongestLine);
        skipping_ = true;
    }
    if (skipping_)
        begin_ = scan_;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.constData() + begin_, size_t(end_ - begin_));
        scan_ -= begin_;
        end_ -= begin_;
        begin_ = 0;
    }
    for (;;) {
        if (InterruptCatcher::caught())
            return false;
        const ssize_t n =
            ::read(fd_, buffer_.data() + end_, size_t(std::min(chunk_, buffer_.size() - end_)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw board::cannotOpenFile(path_ == u"-" ? path_ : board::absoluteFilePath(path_),
                                        errno);
        if (n == 0)
            eof_ = true;
        end_ += n;
        return true;
    }
}

} // namespace cli
