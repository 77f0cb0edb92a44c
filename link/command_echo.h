#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace analyzer {

// Some adapters hand back every byte written to them, ahead of whatever the analyzer sends.
// Such an adapter shows itself when the first command written after opening (Connect) comes
// back whole as the first bytes received, before any answer is asked for; from then on the
// exact bytes of every command are taken out of what comes back after it. On any other line
// nothing is taken out. Pure: the caller reports what it wrote and what it received.
class CommandEcho {
public:
    // A new opening: whether the line echoes is not known yet.
    void reset();
    void sent(QByteArrayView bytes);
    // A command whose answer is wanted goes out next (Download, once the line was quiet):
    // whether the line echoes is decided from what came before it. The answer's own first
    // bytes may spell a command (a reading in group 83, 'S', that lost a byte or two), so
    // they never decide it. Bytes held back as a possible echo are dropped, since they
    // answer nothing that was asked.
    void decideBeforeAnswer();
    // `bytes` without the echo of commands sent before them.
    QByteArray received(QByteArrayView bytes);
    bool echoing() const { return state_ == State::Echoing; }

private:
    enum class State { Unknown, Echoing, Plain };
    State state_ = State::Unknown;
    // Bytes written whose echo has not come back yet.
    QByteArray expected_;
    // While unknown: the bytes received so far that match the start of what was written.
    QByteArray probe_;
};

} // namespace analyzer
