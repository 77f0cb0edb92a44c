#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QSerialPort;

// The serial control: the one class that touches the serial library. Its members mirror
// the old serial control the rest of the program was written against.
//
// Line settings are fixed: 2400 baud, 8 data bits, no parity, 1 stop bit, no flow control,
// DTR raised and RTS lowered after opening. OnComm is raised with CommEvent 2 once for every
// six received bytes waiting; each read of Input takes exactly six bytes. OnComm is always
// delivered from the event loop (queued), never from inside the serial library's signal,
// so a handler may open a modal box and further events still arrive.
class TMSComm : public QObject {
    Q_OBJECT
public:
    static constexpr short kCommEventReceive = 2;
    // Raised once when the device went away (the first read or write error that the event
    // loop reports while the port is open) and the control closed the port.
    static constexpr short kCommEventLineError = 1010;

    explicit TMSComm(QObject *parent = nullptr);
    ~TMSComm() override;

    // The COM port number that the next opening uses. Ports 1 to 255 are valid; any other
    // number raises EOleException and keeps the previous one, as does another number while
    // the port is open. See port_path.h for the device a number stands for.
    short CommPort() const;
    void setCommPort(int port);

    bool PortOpen() const;
    // true opens COM CommPort (EOleException on failure, the port stays closed); false
    // closes it.
    void setPortOpen(bool open);

    // Sends one character as one byte. EOleException when the port is not open or the
    // write fails.
    void setOutput(const QString &oneCharacter);

    // Takes the next received block: six bytes, or fewer when fewer are waiting.
    // EOleException when the port is not open.
    QByteArray Input();

    // The cause of the current OnComm event; 2 means received data is waiting.
    short CommEvent() const;

signals:
    void OnComm();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
