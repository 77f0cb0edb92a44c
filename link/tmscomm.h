#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class QSerialPort;

// The serial control: the one class that touches the serial library. Its members mirror
// the old serial control the rest of the program was written against.
//
// Line settings are fixed: 2400 baud, 8 data bits, no parity, 1 stop bit, no flow control,
// DTR raised and RTS lowered after opening. OnComm is raised with CommEvent 2 once for every
// received block: six bytes of a record, or a no-data reply once the line has been quiet for
// 1.15 s after it. Each read of Input takes one block. Records are cut and transfers judged as
// analyzer::RecordFramer describes, and the echo of commands from an adapter that hands them
// back is taken out (analyzer::CommandEcho). OnComm is always delivered from
// the event loop (queued), never from inside the serial library's signal, so a handler may
// open a modal box and further events still arrive.
class TMSComm : public QObject {
    Q_OBJECT
public:
    static constexpr short kCommEventReceive = 2;
    // Raised once when the device went away (the first read or write error that the event
    // loop reports while the port is open) and the control closed the port.
    static constexpr short kCommEventLineError = 1010;
    // Raised once per transfer begun with beginTransfer(), once it is known that its bytes
    // do not add up to whole records; disturbedAfter() tells how many readings are certain.
    static constexpr short kCommEventDisturbance = 1011;

    explicit TMSComm(QObject *parent = nullptr);
    ~TMSComm() override;

    // The COM port number that the next opening uses. Ports 1 to 255 are valid; any other
    // number raises LinkError and keeps the previous one, as does another number while
    // the port is open. See port_path.h for the device a number stands for.
    short CommPort() const;
    void setCommPort(int port);

    // Opens this device instead of the one a COM number stands for; a COM number set later
    // takes over again. CommPort is then 0, and messages name the device alone. Raises
    // LinkError while the port is open.
    void setPortPath(const QString &devicePath);

    bool PortOpen() const;
    // true opens COM CommPort (LinkError on failure, the port stays closed); false
    // closes it.
    void setPortOpen(bool open);

    // Sends one character as one byte. LinkError when the port is not open or the
    // write fails.
    void setOutput(const QString &oneCharacter);

    // Takes the next received block; empty when none is waiting. LinkError when the
    // port is not open.
    QByteArray Input();

    // The next byte received starts a record, and a new transfer begins: received bytes
    // that do not form a whole block yet are dropped; blocks already cut are still delivered.
    void beginTransfer();
    // The caller stops listening to the transfer: whatever the line's quiet would still
    // decide is decided now (a reply released, a piece left over reported).
    void endTransfer();
    // Whether the transfer waits for the line's quiet to decide something.
    bool transferPending() const;
    // How many readings of the transfer are certain, once it is known to be disturbed.
    std::optional<qsizetype> transferDisturbance() const;
    // While on, everything received is dropped, and so is the transfer's piece of a record
    // not complete yet; whole records received before are still delivered.
    void setDiscarding(bool discard);
    // How long nothing has been received (counted from the opening when nothing has).
    qint64 quietMilliseconds() const;
    // With CommEvent 1011: the records of the transfer delivered before the disturbance.
    qsizetype disturbedAfter() const;

    // The device the open port is on; empty while closed.
    QString openDevice() const;

    // True when the open line can carry nothing more: its device went away or the terminal
    // was hung up. A line whose other end merely stopped reading is not dead.
    bool lineDead() const;

    // The device that went away while the port was open (CommEvent 1010), until the next
    // opening; empty otherwise.
    QString lostDevice() const;

    // The cause of the current OnComm event; 2 means received data is waiting.
    short CommEvent() const;

signals:
    void OnComm();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
