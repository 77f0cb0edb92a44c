#pragma once

#include "board/file_descriptor.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace cli {

// The command line as given. A word that is not valid UTF-8 (a file name in another
// encoding) keeps every byte, as board::nameFromSystem holds it.
QStringList argumentsOf(int argc, char **argv);

// Whether path names something to be read or written as a stream rather than replaced as
// a file: "-" (standard input or output), a pipe, a socket or a device, also through
// /dev/stdout or /dev/fd/N.
bool isStream(const QString &path);

// The bytes of a text file the tool reads (a reading file, a capacity list); "-" is standard
// input. Pipes are read here, every other file by the board's
// own reader. Raises EInputFile, naming the file and the line, for a file that holds a zero
// byte or more than the board's load limit.
QByteArray inputBytes(const QString &path);

// The lines of a reading file ("-": standard input) as the window's board breaks them, read
// in pieces of `chunk` bytes: the memory it takes does not grow with the file. A zero byte
// refuses the file (EInputFile naming its line) rather than ending it; in a regular file it
// is looked for before the first line is given, so that no reading before it passes for
// all of them. A line longer than kLongestLine is given cut to its start (no reading is
// anywhere near as long). Raises EFOpenError when the file cannot be opened or read.
class LineReader {
public:
    static constexpr qsizetype kChunk = qsizetype(1) << 20;
    static constexpr qsizetype kLongestLine = 4096;

    explicit LineReader(const QString &path, qsizetype chunk = kChunk);

    // The next line without its break, valid until the next call; false at the end of the
    // file, or once an InterruptCatcher caught a signal.
    bool next(QByteArrayView &line);
    // The line last given, counted from 1.
    int lineNumber() const { return number_; }
    // Whether the line last given was cut.
    bool cut() const { return cut_; }

private:
    bool fill();
    [[noreturn]] void refuseZero();

    QString path_;
    bool stream_ = false;
    board::FileDescriptor owned_;
    int fd_ = -1;
    qsizetype chunk_;
    QByteArray buffer_;
    qsizetype begin_ = 0, scan_ = 0, end_ = 0; // the line being looked at; where to look on
    bool eof_ = false;
    bool skipping_ = false; // past kLongestLine: the rest of the line is dropped
    QByteArray cutStart_;
    bool cut_ = false;
    int number_ = 0;
};

// While one lives, SIGINT and SIGTERM no longer end the program: LineReader stops giving
// lines instead, so that what was read so far can still be written.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher &) = delete;
    InterruptCatcher &operator=(const InterruptCatcher &) = delete;

    static bool caught();
};

} // namespace cli
