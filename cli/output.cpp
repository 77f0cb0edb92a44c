#include "cli/output.h"

#include "board/errors.h"
#include "board/text_file.h"

#include <cerrno>
#include <unistd.h>

namespace cli {

namespace {

constexpr qsizetype kStreamChunk = 1 << 20;

void writeAll(int fd, QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw board::streamWriteError();
        p += n;
        left -= n;
    }
}

} // namespace

Output::Output(const QString &path) : path_(path)
{
    if (path_.isEmpty())
        buffer_.reserve(kStreamChunk + kStreamChunk / 4);
}

Output::~Output() = default;

void Output::write(QByteArrayView bytes)
{
    buffer_.append(bytes);
    if (path_.isEmpty() && buffer_.size() >= kStreamChunk)
        flush();
}

void Output::flush()
{
    writeAll(STDOUT_FILENO, buffer_);
    // Keeps the allocation for the next chunk.
    buffer_.resize(0);
}

void Output::finish()
{
    if (path_.isEmpty())
        flush();
    else
        board::replaceFileContent(path_, buffer_);
}

void printMessage(const QString &message)
{
    const QByteArray bytes = (message + u'\n').toLocal8Bit();
    // A message that cannot be shown has nowhere else to go.
    if (::write(STDERR_FILENO, bytes.constData(), size_t(bytes.size())) < 0) {
    }
}

} // namespace cli
