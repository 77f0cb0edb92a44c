#include "link/error_text.h"

#include "core/error.h"
#include "link/port_text.h"

namespace analyzer::errortext {

namespace {

// Every text passes through here: messages are shown inside the error dialog, which adds
// its own period.
QString tidy(const QString &text)
{
    return core::trimErrorTail(text);
}

} // namespace

QString notAnInteger(const QString &typed)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(typed);
}

QString indexOutOfBounds()
{
    return QStringLiteral("Variant or safe array index out of bounds");
}

QString portAndDevice(int port, const QString &device)
{
    // Port 0: opened by its device's name, not by a COM number.
    return port == 0 ? device : QStringLiteral("COM %1 (%2)").arg(port).arg(device);
}

QString invalidPortNumber(int port)
{
    return tidy(QStringLiteral("Invalid port number %1: COM ports are numbered %2 to %3")
                    .arg(port)
                    .arg(kFirstComPort)
                    .arg(kLastComPort));
}

QString noSuchDevice(int port, const QString &device, const QString &entry, const QString &folder)
{
    if (port == 0)
        return tidy(QStringLiteral("%1 does not exist").arg(device));
    if (!entry.isEmpty())
        return tidy(QStringLiteral("COM %1 has no device: %2, named by %3, does not exist")
                        .arg(port)
                        .arg(device, entry));
    return tidy(QStringLiteral("COM %1 has no device: %2 does not exist; to use an adapter, "
                               "make %3/com%1 a link to it")
                    .arg(port)
                    .arg(device, folder));
}

QString permissionDenied(int port, const QString &device)
{
    return tidy(QStringLiteral("Permission denied opening %1: add your user to the dialout "
                               "group, then log in again")
                    .arg(portAndDevice(port, device)));
}

QString portBusy(int port, const QString &device)
{
    return tidy(QStringLiteral("%1 is in use by another program").arg(portAndDevice(port, device)));
}

QString notASerialDevice(int port, const QString &device, const QString &systemText)
{
    return tidy(QStringLiteral("Cannot open %1: it is not a serial port (%2)")
                    .arg(portAndDevice(port, device), systemText));
}

QString cannotOpen(int port, const QString &device, const QString &systemText)
{
    return tidy(QStringLiteral("Cannot open %1: %2").arg(portAndDevice(port, device), systemText));
}

QString alreadyOpen(int port, const QString &device)
{
    return tidy(QStringLiteral("%1 is already open").arg(portAndDevice(port, device)));
}

QString openWithAnotherNumber(int requested, int openPort, const QString &device)
{
    return tidy(QStringLiteral("COM %1 cannot be chosen while %2 is open; disconnect first")
                    .arg(requested)
                    .arg(portAndDevice(openPort, device)));
}

QString notOpen(int port, const QString &lostDevice)
{
    if (port == 0)
        return tidy(QStringLiteral("The port is not open"));
    if (!lostDevice.isEmpty())
        return tidy(QStringLiteral("COM %1 is not open: its device %2 went away; connect again "
                                   "once the analyzer is back")
                        .arg(port)
                        .arg(lostDevice));
    return tidy(QStringLiteral("COM %1 is not open").arg(port));
}

QString deviceLost(int port, const QString &device)
{
    return tidy(QStringLiteral("%1 lost its device and was closed; click Connect once the "
                               "analyzer is back")
                    .arg(portAndDevice(port, device)));
}

QString cannotWrite(int port, const QString &device, const QString &systemText)
{
    return tidy(
        QStringLiteral("Cannot write to %1: %2").arg(portAndDevice(port, device), systemText));
}

QString transferDisturbed(int port, const QString &device, qsizetype afterReading)
{
    const QString doubtful = afterReading == 0
        ? QStringLiteral("every reading of it, from the first one on, may be wrong")
        : QStringLiteral("the readings after reading %1 may be wrong").arg(afterReading);
    return tidy(QStringLiteral("%1: bytes were lost or added on the line during the download, so "
                               "%2; download them again")
                    .arg(portAndDevice(port, device), doubtful));
}

QString clearWhileDownloadWaits(int port, const QString &device)
{
    return tidy(QStringLiteral("%1 is still receiving and Download waits to go out, so Clear "
                               "Memory was not sent; try again once the readings have arrived")
                    .arg(portAndDevice(port, device)));
}

QString lineBusy(int port, const QString &device, double seconds)
{
    return tidy(QStringLiteral("%1 kept receiving for %2 s without a pause, so Download was not "
                               "sent; wait until the analyzer has finished sending and try again")
                    .arg(portAndDevice(port, device), QString::number(seconds)));
}

} // namespace analyzer::errortext
