#include "linktext/fault_text.h"

#include "core/error.h"
#include "link/port_text.h"

namespace linktext {

namespace {

using Kind = analyzer::LinkFault::Kind;

QString noSuchDevice(const analyzer::LinkFault &f)
{
    if (f.port == 0)
        return QStringLiteral("%1 does not exist").arg(f.device);
    if (!f.entry.isEmpty())
        return QStringLiteral("COM %1 has no device: %2, named by %3, does not exist")
            .arg(f.port)
            .arg(f.device, f.entry);
    return QStringLiteral("COM %1 has no device: %2 does not exist; to use an adapter, make "
                          "%3/com%1 a link to it")
        .arg(f.port)
        .arg(f.device, f.folder);
}

QString notOpen(const analyzer::LinkFault &f)
{
    if (f.port == 0)
        return QStringLiteral("The port is not open");
    if (!f.device.isEmpty())
        return QStringLiteral("COM %1 is not open: its device %2 went away; connect again "
                              "once the analyzer is back")
            .arg(f.port)
            .arg(f.device);
    return QStringLiteral("COM %1 is not open").arg(f.port);
}

QString transferDisturbed(const QString &port, qsizetype afterReading)
{
    const QString doubtful = afterReading == 0
        ? QStringLiteral("every reading of it, from the first one on, may be wrong")
        : QStringLiteral("the readings after reading %1 may be wrong").arg(afterReading);
    return QStringLiteral("%1: bytes were lost or added on the line during the download, so "
                          "%2; download them again")
        .arg(port, doubtful);
}

QString sentence(const analyzer::LinkFault &f)
{
    const QString port = portAndDevice(f.port, f.device);
    switch (f.kind) {
    case Kind::NotAnInteger:
        return QStringLiteral("'%1' is not a valid integer value").arg(f.typed);
    case Kind::ShortBlock: return QStringLiteral("Variant or safe array index out of bounds");
    case Kind::InvalidPortNumber:
        return QStringLiteral("Invalid port number %1: COM ports are numbered %2 to %3")
            .arg(f.port)
            .arg(analyzer::kFirstComPort)
            .arg(analyzer::kLastComPort);
    case Kind::NoSuchDevice: return noSuchDevice(f);
    case Kind::PermissionDenied:
        return QStringLiteral("Permission denied opening %1: add your user to the dialout "
                              "group, then log in again")
            .arg(port);
    case Kind::PortBusy: return QStringLiteral("%1 is in use by another program").arg(port);
    case Kind::NotASerialDevice:
        return QStringLiteral("Cannot open %1: it is not a serial port (%2)")
            .arg(port, f.systemText);
    case Kind::CannotOpen: return QStringLiteral("Cannot open %1: %2").arg(port, f.systemText);
    case Kind::AlreadyOpen: return QStringLiteral("%1 is already open").arg(port);
    case Kind::OtherPortOpen:
        return QStringLiteral("COM %1 cannot be chosen while %2 is open; disconnect first")
            .arg(f.requestedPort)
            .arg(port);
    case Kind::NotOpen: return notOpen(f);
    case Kind::DeviceLost: return QStringLiteral("%1 lost its device and was closed").arg(port);
    case Kind::CannotWrite: return QStringLiteral("Cannot write to %1: %2").arg(port, f.systemText);
    case Kind::TransferDisturbed: return transferDisturbed(port, f.afterReading);
    case Kind::ClearWhileDownloadWaits:
        return QStringLiteral("%1 is still receiving and Download waits to go out, so Clear "
                              "Memory was not sent; try again once the readings have arrived")
            .arg(port);
    case Kind::LineBusy:
        return QStringLiteral("%1 kept receiving for %2 s without a pause, so Download was not "
                              "sent; wait until the analyzer has finished sending and try again")
            .arg(port, QString::number(f.waitedMs / 1000.0));
    }
    return QStringLiteral("Link fault %1 on %2").arg(int(f.kind)).arg(port);
}

} // namespace

QString portAndDevice(int port, const QString &device)
{
    // Port 0: opened by its device's name, not by a COM number.
    return port == 0 ? device : QStringLiteral("COM %1 (%2)").arg(port).arg(device);
}

QString describe(const analyzer::LinkFault &fault)
{
    // System texts end in periods of their own; the whole ends in none.
    return core::trimErrorTail(sentence(fault));
}

} // namespace linktext
