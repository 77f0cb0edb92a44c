#include "cli/output.h"

#include "board/errors.h"
#include "board/file_name.h"
#include "board/text_file.h"
#include "cli/streams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

constexpr qsizetype kStreamChunk = 1 << 20;

} // namespace

Output::Output(const QString &path) : path_(path)
{
    if (path_.isEmpty() || path_ == u"-") {
        fd_ = STDOUT_FILENO;
    } else if (isStream(path_)) {
        // A pipe or device is written as it is, waiting as long as its reader does.
        fd_ = ::open(board::systemName(path_).constData(),
                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd_ < 0)
            throw board::cannotCreateFile(board::absoluteFilePath(path_), errno);
        ownsFd_ = true;
    }
    if (fd_ >= 0)
        buffer_.reserve(kStreamChunk + kStreamChunk / 4);
}

Output::~Output()
{
    if (ownsFd_)
        ::close(fd_);
}

void Output::setBoardText()
{
    terminal_ = fd_ >= 0 && ::isatty(fd_) == 1;
    if (terminal_)
        gbk_ = QStringDecoder("GBK");
}

void Output::write(QByteArrayView bytes)
{
    buffer_.append(bytes);
    if (fd_ >= 0 && buffer_.size() >= kStreamChunk)
        flush();
}

void Output::flush()
{
    const QByteArray shown =
        terminal_ && gbk_.isValid() ? QString(gbk_.decode(buffer_)).toUtf8() : QByteArray();
    if (!board::writeAll(fd_, terminal_ && gbk_.isValid() ? shown : buffer_))
        throw board::streamWriteError();
    // Keeps the allocation for the next chunk.
    buffer_.resize(0);
}

void Output::finish()
{
    if (fd_ >= 0)
        flush();
    else
        board::replaceFileContent(path_, buffer_);
}

void writeWhole(const QString &path, QByteArrayView bytes)
{
    Output out(path);
    out.write(bytes);
    out.finish();
}

void printMessage(const QString &message)
{
    const QByteArray bytes = (message + u'\n').toLocal8Bit();
    // A message that cannot be shown has nowhere else to go.
    if (::write(STDERR_FILENO, bytes.constData(), size_t(bytes.size())) < 0) { }
}

} // namespace cli
