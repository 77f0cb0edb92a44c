#pragma once

#include "link/errors.h"

#include <QString>

class QSerialPort;

namespace analyzer {

// Opening the serial control's device: which device the next opening uses (a COM number
// through the port folder, or a device named by its path), opening it with the fixed line
// settings, and the fault with its facts when that fails. What arrives once it is open is
// the receive chain's.
class PortOpening {
public:
    // Sets the port's line settings, which every opening keeps.
    explicit PortOpening(QSerialPort &port);

    short commPort() const { return commPort_; }
    // Raises InvalidPortNumber, or OtherPortOpen while the port is open on another number.
    void setCommPort(int port);
    // Raises AlreadyOpen while the port is open.
    void setPortPath(const QString &devicePath);

    // Opens the device and sets its modem lines; raises the fault when the port is open
    // already, the device is missing, or the system refuses it.
    void open();
    // The port was closed; `lost`: because its device went away.
    void closed(bool lost);

    // The device the port is open on; empty while closed.
    const QString &device() const { return device_; }
    // The device that went away while the port was open, until the next opening.
    const QString &lostDevice() const { return lostDevice_; }

    // A fault on this port, concerning device `on`.
    LinkError fault(LinkFault::Kind kind, const QString &on, const QString &systemText = {}) const;

private:
    QString existingDevice(const QString &path) const;
    LinkError openFailure(const QString &path) const;

    QSerialPort &port_;
    short commPort_ = 1;
    QString portPath_; // set: the device opened, and commPort_ is 0
    // Kept after a loss as lostDevice_, for the "not open" fault.
    QString device_;
    QString lostDevice_;
};

} // namespace analyzer
