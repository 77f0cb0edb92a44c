#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace board {

// path made absolute against the current folder, as error messages show it.
QString absoluteFilePath(const QString &path);

// The bytes of the file at path, from its start to its length at the time of opening.
// Raises EFOpenError when the file cannot be opened or read, and EInvalidOperation when it
// holds more than maxBytes; nothing larger is ever read into memory.
QByteArray readWholeFile(const QString &path, qsizetype maxBytes);

// Makes bytes the whole content of the file at path. The bytes go to a new file in the same
// folder, which replaces the file at path only once every byte is written and on disk, so a
// failed write leaves an existing file as it was and no temporary file behind. An existing
// file keeps its permissions; a read-only one is refused. Raises EFCreateError when the file
// cannot be created or replaced, and EWriteError when a write does not complete.
void replaceFileContent(const QString &path, QByteArrayView bytes);

} // namespace board
