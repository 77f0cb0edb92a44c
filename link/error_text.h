#pragma once

#include <QString>

// The wording of the link's errors, the one place they are made. The serial control's own
// name the COM port and the device, and where the user can do something about it, say what.
namespace analyzer::errortext {

// The COM-port field does not hold a whole number; `typed` as the user typed it.
QString notAnInteger(const QString &typed);
// A received block is too short for the record decoder.
QString indexOutOfBounds();

// "COM 3 (/dev/ttyUSB0)".
QString portAndDevice(int port, const QString &device);

QString invalidPortNumber(int port);
// `device` is what COM `port` maps to; `entry` the port folder's entry naming it, or empty;
// `folder` the port folder, where an entry would go.
QString noSuchDevice(int port, const QString &device, const QString &entry, const QString &folder);
QString permissionDenied(int port, const QString &device);
QString portBusy(int port, const QString &device);
QString notASerialDevice(int port, const QString &device, const QString &systemText);
QString cannotOpen(int port, const QString &device, const QString &systemText);
QString alreadyOpen(int port, const QString &device);
QString openWithAnotherNumber(int requested, int openPort, const QString &device);
// `lostDevice` is the device that went away while the port was open, or empty.
QString notOpen(int port, const QString &lostDevice);
// The port closed because its device went away while it was open.
QString deviceLost(int port, const QString &device);
QString cannotWrite(int port, const QString &device, const QString &systemText);
// The bytes of a download did not add up to whole records; the first `afterReading` readings
// are certain (0: none).
QString transferDisturbed(int port, const QString &device, qsizetype afterReading);
// Clear Memory asked for while a Download waits for the line to fall quiet.
QString clearWhileDownloadWaits(int port, const QString &device);
// Download was not sent: the line kept receiving for `seconds` without a pause.
QString lineBusy(int port, const QString &device, double seconds);

} // namespace analyzer::errortext
