#include "link/port_opening.h"

#include "link/port_path.h"
#include "link/port_text.h"

#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace analyzer {

namespace {

using Kind = LinkFault::Kind;

// The library reports a refused open and a port locked by another program alike; only the
// device's permissions tell them apart.
bool mayOpen(const QString &path)
{
#ifdef Q_OS_UNIX
    return ::access(path.toLocal8Bit().constData(), R_OK | W_OK) == 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}

} // namespace

PortOpening::PortOpening(QSerialPort &port) : port_(port)
{
    port_.setBaudRate(QSerialPort::Baud2400);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
}

void PortOpening::setCommPort(int port)
{
    if (port < kFirstComPort || port > kLastComPort)
        throw LinkError({Kind::InvalidPortNumber, port});
    if (port_.isOpen() && port != commPort_) {
        LinkFault taken{Kind::OtherPortOpen, commPort_, device_};
        taken.requestedPort = port;
        throw LinkError(taken);
    }
    commPort_ = short(port);
    portPath_.clear();
}

void PortOpening::setPortPath(const QString &devicePath)
{
    if (port_.isOpen())
        throw fault(Kind::AlreadyOpen, device_);
    commPort_ = 0;
    portPath_ = devicePath;
}

void PortOpening::open()
{
    if (port_.isOpen())
        throw fault(Kind::AlreadyOpen, device_);

    const QString canonical =
        existingDevice(portPath_.isEmpty() ? portDevicePath(commPort_) : portPath_);
    port_.setPortName(canonical);
    if (!port_.open(QIODevice::ReadWrite))
        throw openFailure(canonical);

    // DTR up and RTS down, as the instrument's adapter cables expect (some take their power
    // from these lines); Linux raises both on open. Pseudo-terminals have no modem lines, so
    // a refusal here is not an error.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(false);
    // Nothing received or queued before this opening belongs to it.
    port_.clear(QSerialPort::AllDirections);
    port_.clearError();

    device_ = canonical;
    lostDevice_.clear();
}

void PortOpening::closed(bool lost)
{
    if (lost)
        lostDevice_ = device_;
    device_.clear();
}

LinkError PortOpening::fault(Kind kind, const QString &on, const QString &systemText) const
{
    LinkFault f{kind, commPort_, on};
    f.systemText = systemText;
    return LinkError(f);
}

// The device to open, with links resolved: the lock the serial library takes is named after
// it, so two links to one adapter still count as one port.
QString PortOpening::existingDevice(const QString &path) const
{
#ifdef Q_OS_UNIX
    const QFileInfo info(path);
    if (!info.exists()) {
        LinkFault missing{Kind::NoSuchDevice, commPort_,
                          info.isSymLink() ? info.symLinkTarget() : path};
        missing.entry = info.isSymLink() ? path : QString();
        missing.folder = portFolder();
        throw LinkError(missing);
    }
    return info.canonicalFilePath();
#else
    return path;
#endif
}

LinkError PortOpening::openFailure(const QString &path) const
{
    switch (port_.error()) {
    case QSerialPort::DeviceNotFoundError: {
        LinkFault missing{Kind::NoSuchDevice, commPort_, path};
        missing.folder = portFolder();
        return LinkError(missing);
    }
    case QSerialPort::PermissionError:
        return fault(mayOpen(path) ? Kind::PortBusy : Kind::PermissionDenied, path);
    case QSerialPort::UnsupportedOperationError:
        return fault(Kind::NotASerialDevice, path, port_.errorString());
    default: return fault(Kind::CannotOpen, path, port_.errorString());
    }
}

} // namespace analyzer
