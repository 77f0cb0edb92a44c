#include "link/command_echo.h"

namespace analyzer {

namespace {

// Every command is two bytes; the first one coming back whole is the proof.
constexpr qsizetype kProbeBytes = 2;

} // namespace

void CommandEcho::reset()
{
    state_ = State::Unknown;
    expected_.clear();
    probe_.clear();
}

void CommandEcho::sent(QByteArrayView bytes)
{
    if (state_ != State::Plain)
        expected_.append(bytes);
}

void CommandEcho::decideBeforeAnswer()
{
    if (state_ != State::Unknown)
        return;
    state_ = State::Plain;
    expected_.clear();
    probe_.clear();
}

QByteArray CommandEcho::received(QByteArrayView bytes)
{
    QByteArray kept;
    kept.reserve(bytes.size());
    for (const char b : bytes) {
        switch (state_) {
        case State::Unknown:
            if (expected_.isEmpty()) {
                // Bytes that came before anything was written cannot be an echo.
                kept += b;
            } else if (probe_.size() < expected_.size() && b == expected_[probe_.size()]) {
                probe_ += b;
                if (probe_.size() == kProbeBytes) {
                    state_ = State::Echoing;
                    expected_.remove(0, kProbeBytes);
                    probe_.clear();
                }
            } else {
                state_ = State::Plain;
                kept += probe_;
                kept += b;
                probe_.clear();
                expected_.clear();
            }
            break;
        case State::Echoing:
            if (!expected_.isEmpty() && b == expected_.front()) {
                expected_.remove(0, 1);
            } else {
                // An echo that went missing is not waited for: later bytes are the analyzer's.
                expected_.clear();
                kept += b;
            }
            break;
        case State::Plain: kept += b; break;
        }
    }
    return kept;
}

} // namespace analyzer
