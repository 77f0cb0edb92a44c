#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File names as the system has them: bytes, not always UTF-8. A name that is not valid UTF-8
// keeps every byte in its text: each byte that does not decode is held as the lone surrogate
// U+DC00 + byte, and systemName turns it back into that byte.
namespace board {

QString nameFromSystem(QByteArrayView bytes);
// The name as the system calls take it; a null array when it holds a zero byte, which no
// file name can.
QByteArray systemName(const QString &name);

} // namespace board
