#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

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
