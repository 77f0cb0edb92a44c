#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace sim {
class RawPty;
}

// The analyzer's end of the cable in tests: a raw pseudo-terminal whose slave side is
// reachable as COM n through the port folder. The test writes what the analyzer sends to
// the master side and reads there what the program wrote.
class PtyDevice {
public:
    PtyDevice();
    // A device linked as COM `com` at once.
    explicit PtyDevice(int com);
    ~PtyDevice();
    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    // Makes the port folder's entry comN a link to this device, replacing an older one.
    void linkAs(int com) const;
    // The slave side's device path, /dev/pts/N.
    const QString &path() const { return path_; }

    void send(const QByteArray &bytes) const;
    // What the program wrote since the last call: waits up to timeoutMs until `count` bytes
    // came (or, with count 0, returns at once with whatever is there).
    QByteArray received(int count = 0, int timeoutMs = 2000);
    // Everything the program wrote since the device was made.
    const QByteArray &receivedSoFar();
    // The settings the program put on its side of the line.
    bool lineSettings(struct termios *settings) const;

    // Pulls the cable: both sides close, and the program's side is hung up.
    void vanish();
    // Hangs up the program's side while the device stays where it is: from then on the
    // program's writes fail. False when the system does not allow it (hanging up a terminal
    // needs CAP_SYS_ADMIN).
    bool hangUp() const;
    // Fills the line towards the analyzer until it takes no more, as an analyzer that stopped
    // reading would: the program's next write cannot go out. resume() takes the filler (zero
    // bytes, which the program never sends) off the line again; anything else it finds there
    // counts as received.
    void stall();
    void resume();

private:
    std::unique_ptr<sim::RawPty> pty_;
    QString path_;
    QByteArray log_;
};

// The port folder of the test's private configuration folder; emptied with clear().
QString testPortFolder();
void clearTestPortFolder();
