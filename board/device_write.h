#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace board {

// Writes bytes to the pipe or device `name` (absolute: the name errors show) without ever
// keeping the caller waiting for long: the device is opened without waiting, and its reader
// gets at most kDeviceWriteMillis to take the bytes. A pipe whose reader has gone raises an
// error instead of ending the program. Raises EFCreateError when the device cannot be opened
// or takes nothing, and EWriteError when it stops taking bytes part-way.
void writeToDevice(const QByteArray &name, const QString &absolute, QByteArrayView bytes);

// Long enough for a program reading a pipe to drain it many times over; short enough that the
// window never seems frozen.
inline constexpr int kDeviceWriteMillis = 1000;

} // namespace board
