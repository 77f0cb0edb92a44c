#include "cli/common/output.h"

#include "board/errors.h"
#include "board/file_name.h"
#include "board/text_file.h"
#include "cli/common/streams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

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
    buffer_.reserve(kChunk + kChunk / 4);
}

Output::~Output()
{
    // Without finish(), the new file (if any) goes and the old one stays.
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
    if (bytes.size() >= kPassOn) {
        // Large enough to go as it is, without a copy.
        flush();
        send(bytes);
        return;
    }
    buffer_.append(bytes);
    if (buffer_.size() >= kChunk)
        flush();
}

void Output::flush()
{
    send(buffer_);
    // Keeps the allocation for the next chunk.
    buffer_.resize(0);
}

void Output::send(QByteArrayView bytes)
{
    if (fd_ < 0) {
        if (!file_)
            file_ = std::make_unique<board::ContentReplacement>(path_);
        file_->write(bytes);
        return;
    }
    const QByteArray shown =
        terminal_ && gbk_.isValid() ? QString(gbk_.decode(bytes)).toUtf8() : QByteArray();
    if (!board::writeAll(fd_, terminal_ && gbk_.isValid() ? QByteArrayView(shown) : bytes))
        throw board::streamWriteError();
}

void Output::finish()
{
    flush();
    if (file_)
        file_->commit();
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
