#pragma once

#include <QByteArray>
#include <QString>

// The analyzer's end of the cable in tests: a raw pseudo-terminal whose slave side is
// reachable as COM n through the port folder. The test writes what the analyzer sends to
// the master side and reads there what the program wrote.
class PtyDevice {
public:
    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    // Makes the port folder's entry comN a link to this device, replacing an older one.
    void linkAs(int com) const;
    // The slave side's device path, /dev/pts/N.
    const QString &path() const { return path_; }

    void send(const QByteArray &bytes) const;
    // What the program wrote: waits up to timeoutMs until `count` bytes came (or, with
    // count 0, returns at once with whatever is there).
    QByteArray received(int count = 0, int timeoutMs = 2000) const;
    // The settings the program put on its side of the line.
    bool lineSettings(struct termios *settings) const;

    // Pulls the cable: both sides close, and the program's side is hung up.
    void vanish();

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

// The port folder of the test's private configuration folder; emptied with clear().
QString testPortFolder();
void clearTestPortFolder();
