#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

namespace cli {

// Where a subcommand's result goes. Standard output ("-" or no path), a pipe or a device get
// the bytes as they come (in large writes); a named file gets them all at once when finish()
// is called, and as the window saves, replaces an existing file only once every byte is on
// disk.
class Output {
public:
    explicit Output(const QString &path);
    ~Output();
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

    QString path_;
    int fd_ = -1; // streamed to; -1: the file at path_ is replaced
    bool ownsFd_ = false;
    bool terminal_ = false;
    QStringDecoder gbk_;
    QByteArray buffer_;
};

// All of bytes to path (empty: standard output) as one Output writes them; raises as
// finish() does.
void writeWhole(const QString &path, QByteArrayView bytes);

// Standard error, unbuffered: a message and a line break.
void printMessage(const QString &message);

} // namespace cli
