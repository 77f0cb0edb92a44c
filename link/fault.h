#pragma once

#include <QString>
#include <QtGlobal>

namespace analyzer {

// What went wrong on the link, as facts and no words: each front end words a fault itself,
// and the sentences both share are in linktext/. Only the members a kind names are set.
struct LinkFault {
    enum class Kind {
        NotAnInteger, // the COM-port text as `typed` is no whole number
        ShortBlock, // a received block is too short for the record decoder
        InvalidPortNumber, // `port` is outside the COM numbers
        NoSuchDevice, // `device` does not exist; `entry`, `folder`
        PermissionDenied, // `device` may not be opened by this user
        PortBusy, // another program holds `device`
        NotASerialDevice, // `device` is no serial port; `systemText`
        CannotOpen, // `device` did not open; `systemText`
        AlreadyOpen, // `device` is open already
        OtherPortOpen, // `requestedPort` asked for while `port` is open on `device`
        NotOpen, // `device`: the one that went away while the port was open, or empty
        DeviceLost, // `device` went away and the port was closed
        CannotWrite, // a command did not go out to `device`; `systemText`
        TransferDisturbed, // bytes lost or added in a download; `afterReading` are certain
        ClearWhileDownloadWaits, // Clear Memory refused while Download waits for the line
        LineBusy, // Download not sent: the line kept receiving for `waitedMs`
    };

    Kind kind = Kind::CannotOpen;
    // The COM number; 0 when the port was opened by the name of its device.
    int port = 0;
    QString device{};
    // The system's or the serial library's own description of the failure.
    QString systemText{};
    QString typed{};
    // NoSuchDevice: the port folder's entry that names the missing device, or empty; and
    // the port folder, where an entry for the port would go.
    QString entry{};
    QString folder{};
    int requestedPort = 0;
    qsizetype afterReading = 0;
    int waitedMs = 0;

    bool operator==(const LinkFault &) const = default;
};

} // namespace analyzer
