#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace analyzer {

// Some adapters hand back every byte written to them, ahead of whatever the analyzer sends.
// Such an adapter shows itself when the first command written after opening (Connect) comes
// back whole as the first bytes received; from then on the exact bytes of every command are
// taken out of what comes back after it. On any other line nothing is taken out. Pure: the
// caller reports what it wrote and what it received.
class CommandEcho {
public:
    // A new opening: whether the line echoes is not known yet.
    void reset();
    void sent(QByteArrayView bytes);
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
