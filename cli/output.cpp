#include "cli/output.h"

#include "board/errors.h"
#include "board/text_file.h"

#include <cerrno>
#include <unistd.h>

namespace cli {

namespace {

constexpr qsizetype kStreamChunk = 1 << 20;

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
    if (!board::writeAll(STDOUT_FILENO, buffer_))
        throw board::streamWriteError();
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
