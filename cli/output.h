#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace cli {

// Where a subcommand's result goes. Standard output gets the bytes as they come (in large
// writes); a named file gets them all at once when finish() is called, and as the window
// saves, replaces an existing file only once every byte is on disk.
class Output {
public:
    explicit Output(const QString &path);
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    void write(QByteArrayView bytes);
    // Raises EFCreateError or EWriteError.
    void finish();

private:
    void flush();

    QString path_;
    QByteArray buffer_;
};

// Standard error, unbuffered: a message and a line break.
void printMessage(const QString &message);

} // namespace cli
