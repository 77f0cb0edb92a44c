#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <memory>

namespace board {
class ContentReplacement;
}

namespace cli {

// Where a subcommand's result goes, in large writes as the bytes come, never held whole.
// Standard output ("-" or no path), a pipe or a device get them directly; a named file gets
// them through a new file beside it, which replaces it (as the window saves) only when
// finish() is called: an Output that goes without finishing leaves the old file as it was
// and nothing new behind. The new file is made with the first large write, so that a
// subcommand's own complaints come before one about the output.
class Output {
public:
    explicit Output(const QString &path);
    ~Output();
    // Holds at most about this much before writing it.
    static constexpr qsizetype kChunk = qsizetype(1) << 20;
    // A piece of at least this much (a table writer's) goes as it is rather than copied.
    static constexpr qsizetype kPassOn = qsizetype(1) << 16;
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // The bytes are board text (GBK): a terminal shows them as UTF-8; files and pipes get
    // them unchanged.
    void setBoardText();

    void write(QByteArrayView bytes);
    // Raises EFCreateError or EWriteError.
    void finish();

private:
    void flush();
    void send(QByteArrayView bytes);

    QString path_;
    int fd_ = -1; // streamed to; -1: the file at path_ is replaced
    bool ownsFd_ = false;
    bool terminal_ = false;
    QStringDecoder gbk_;
    QByteArray buffer_;
    std::unique_ptr<board::ContentReplacement> file_;
};

// All of bytes to path (empty: standard output) as one Output writes them; raises as
// finish() does.
void writeWhole(const QString &path, QByteArrayView bytes);

// Standard error, unbuffered: a message and a line break.
void printMessage(const QString &message);

} // namespace cli
