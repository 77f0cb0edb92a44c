#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "board/file_descriptor.h"

#include <memory>

namespace board {

// path made absolute against the current folder, as error messages show it.
QString absoluteFilePath(const QString &path);

// The text of the regular file at path: its bytes from its start up to its first zero byte,
// or up to its length at the time of opening; to its end when it shows a length of 0 (as
// the files of /proc and /sys do, whatever they hold). Raises EFOpenError when the file cannot be
// opened or read, or is no regular file (reading a pipe or a device could wait for ever),
// and EInvalidOperation as soon as more than maxBytes come before the first zero byte; no
// more than maxBytes + 1 bytes are ever held, however large the file.
QByteArray readFileText(const QString &path, qsizetype maxBytes);

// The bytes of the regular file at path, zero bytes and all, opened and read as readFileText
// does: the whole file when it holds at most maxBytes, else its first maxBytes + 1 bytes,
// which tell the caller that it is longer. Raises EFOpenError.
QByteArray readFileHead(const QString &path, qsizetype maxBytes);

// The regular file at path opened for reading, checked as readFileText checks it (a pipe or
// device is refused before it is opened, so that nothing waits). Raises EFOpenError.
FileDescriptor openRegularFile(const QString &path);

// The new content of the file at path, written in pieces and put in its place by commit(),
// as replaceFileContent does with all of it at once (the same checks, errors and fallbacks).
// Without a commit (an error, an interruption) the file is left as it was and the new one
// is removed; a pipe or device is written only at the commit.
class ContentReplacement {
public:
    // Raises EFCreateError.
    explicit ContentReplacement(const QString &path);
    ~ContentReplacement();
    ContentReplacement(const ContentReplacement &) = delete;
    ContentReplacement &operator=(const ContentReplacement &) = delete;

    // Raises EWriteError.
    void write(QByteArrayView bytes);
    // Raises EFCreateError or EWriteError.
    void commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Makes bytes the whole content of the file at path. The bytes go to a new file in the same
// folder, which replaces the file at path only once every byte is written and on disk, so a
// failed write leaves an existing file as it was and no temporary file behind. Through a
// symbolic link the file it names is written (and made, when missing), and the link stays.
// An existing file keeps its permissions; a read-only one is refused. A file that may be
// written but not replaced (its folder may not be written) is overwritten in place: a
// failure part-way then leaves it holding only the start of bytes. A pipe or a device is
// written directly, never waiting for long: one that would keep the caller waiting is
// refused. Raises EFCreateError when the file cannot be created, replaced or opened, and
// EWriteError when a write does not complete.
void replaceFileContent(const QString &path, QByteArrayView bytes);

// Writes every byte to fd, going on after short writes and interruptions; false at the
// first write that fails (errno says why).
bool writeAll(int fd, QByteArrayView bytes);

} // namespace board
