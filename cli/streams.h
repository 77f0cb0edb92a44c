#pragma once

#include <QByteArray>
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

// The text of a reading file as the window opens it (line breaks made CR LF, at most the
// board's load limit), except that a zero byte refuses the file rather than ending it.
QByteArray inputText(const QString &path);

} // namespace cli
