#include "link/record_framer.h"

#include "link/protocol.h"

namespace analyzer {

void RecordFramer::receive(QByteArrayView bytes, qint64 nowMs)
{
    // The quiet before these bytes may have ended the transfer they would otherwise join.
    idle(nowMs);
    const qint64 pause = nowMs - lastArrival_;
    lastArrival_ = nowMs;
    if (bytes.isEmpty())
        return;
    if (!inTransfer_) {
        if (pause < kStreamQuietMs)
            return;
        open(false);
    }
    // The answer to Download was that nothing is stored: whatever comes after it says that
    // the reply was readings that lost their place.
    if (replied_)
        disturb();
    answered_ = true;
    piece_.append(bytes);
    cut();
}

void RecordFramer::idle(qint64 nowMs)
{
    if (!inTransfer_ || nowMs - lastArrival_ < kStalePieceMs)
        return;
    if (asked_) {
        // The answer to Download may still go on: its count goes on with it.
        if (!piece_.isEmpty())
            judgePiece();
    } else if (answered_) {
        // Bytes nobody asked for end with the line's quiet.
        judgePiece();
        abandonTransfer();
    }
}

std::optional<qint64> RecordFramer::nextDecision() const
{
    if (inTransfer_ && !piece_.isEmpty())
        return lastArrival_ + kStalePieceMs;
    return std::nullopt;
}

void RecordFramer::beginTransfer()
{
    // The answer to the Download before, had it said that nothing is stored, still counts.
    if (inTransfer_ && replyWaits())
        judgePiece();
    open(true);
}

void RecordFramer::open(bool asked)
{
    piece_.clear();
    inTransfer_ = true;
    asked_ = asked;
    answered_ = replied_ = false;
    placed_ = 0;
    disturbedAfter_.reset();
    ++transfers_;
}

void RecordFramer::endTransfer()
{
    if (inTransfer_)
        judgePiece();
    abandonTransfer();
}

void RecordFramer::abandonTransfer()
{
    piece_.clear();
    inTransfer_ = false;
    answered_ = replied_ = false;
}

void RecordFramer::reset(qint64 nowMs)
{
    blocks_.clear();
    abandonTransfer();
    placed_ = 0;
    disturbedAfter_.reset();
    lastArrival_ = nowMs;
}

QByteArray RecordFramer::takeBlock()
{
    if (blocks_.empty())
        return {};
    QByteArray block = std::move(blocks_.front());
    blocks_.pop_front();
    return block;
}

// What waits is a no-data reply as long as nothing follows it: two to six bytes with the marker
// in the flags' place as the whole answer, or a whole record of that kind after readings.
bool RecordFramer::replyWaits() const
{
    return piece_.size() >= 2 && quint8(piece_[1]) == kNoDataMarker
        && (placed_ == 0 ? piece_.size() <= kRecordSize : piece_.size() == kRecordSize);
}

// The line stayed quiet after the piece of the transfer: a reply waiting is given; a piece of
// a record is what the line left of one, reported and dropped, never joined to later bytes.
void RecordFramer::judgePiece()
{
    if (replyWaits()) {
        blocks_.push_back(piece_);
        // The whole answer to Download: bytes after it still count against it.
        replied_ = asked_ && ++placed_ == 1;
    } else if (!piece_.isEmpty()) {
        disturb();
    }
    piece_.clear();
}

void RecordFramer::cut()
{
    for (;;) {
        if (piece_.size() >= 2 && quint8(piece_[1]) == kNoDataMarker) {
            if (piece_.size() <= kRecordSize)
                return; // a no-data reply, unless more bytes come
            // A no-data reply with bytes behind it is readings that lost their place: it
            // says nothing, and no reading of the transfer is vouched for.
            disturb();
            piece_.remove(0, kRecordSize);
            ++placed_;
            continue;
        }
        if (piece_.size() < kRecordSize)
            return;
        blocks_.push_back(piece_.left(kRecordSize));
        piece_.remove(0, kRecordSize);
        ++placed_;
    }
}

// Without a checksum nothing tells where a byte went missing or came in: the first record
// already may be the one that moved, so no reading of the transfer is vouched for, and a
// no-data reply may have been readings that lost their place.
void RecordFramer::disturb()
{
    if (!disturbedAfter_)
        disturbedAfter_ = 0;
}

} // namespace analyzer
