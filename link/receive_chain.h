#pragma once

#include "link/command_echo.h"
#include "link/record_framer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

class QObject;
class QSerialPort;

namespace analyzer {

// What arrives on the open port, up to the events that hand it out: the bytes read, the echo
// of commands taken out, records cut by the framer, the quiet timer that lets the framer
// decide on a line that fell quiet, and one posted event for every block and disturbance.
class ReceiveChain {
public:
    // `raise` raises one OnComm event (a TMSComm::kCommEvent... code) on the control; it runs
    // from the event loop in `context`, never from inside the serial library's signal.
    ReceiveChain(QObject *context, QSerialPort &port, std::function<void(short)> raise);

    // Drops everything received and the events posted for it, at every opening and closing.
    void reset();
    // Changes with every reset(): events posted before it are dropped.
    quint64 opening() const { return opening_; }

    // A command was written: its echo, should the adapter hand it back, is taken out.
    void sent(const QByteArray &bytes) { echo_.sent(bytes); }
    // The next block; empty when none is waiting.
    QByteArray take();

    // Download goes out next: what came before it decides whether the line echoes.
    void beginTransfer();
    void endTransfer();
    // Something of the transfer is still to come out: a decision the line's quiet waits for,
    // or blocks cut and not yet handed out (their events are queued).
    bool transferPending() const { return framer_.nextDecision().has_value() || !blocks_.empty(); }
    std::optional<qsizetype> transferDisturbance() const { return framer_.disturbance(); }
    qsizetype disturbedAfter() const { return disturbedAfter_; }
    void setDiscarding(bool on);
    qint64 quietMilliseconds() const { return clock_.elapsed() - lastActivity_; }

private:
    void takeReceivedBytes();
    void lineQuiet();
    void afterFraming();
    void post(short event);

    QObject *context_;
    QSerialPort &port_;
    std::function<void(short)> raise_;
    // Blocks cut from the received bytes and not yet taken, oldest first; each has its own
    // posted receive event.
    std::deque<QByteArray> blocks_;
    CommandEcho echo_;
    RecordFramer framer_;
    QElapsedTimer clock_;
    // When the last byte arrived, or the port was opened, on clock_.
    qint64 lastActivity_ = 0;
    bool discarding_ = false;
    // The framer's transfer whose disturbance was last reported.
    quint64 reportedTransfer_ = 0;
    qsizetype disturbedAfter_ = 0;
    // Fires when the framer has something to decide about a line that fell quiet.
    QTimer quietTimer_;
    quint64 opening_ = 0;
};

} // namespace analyzer
