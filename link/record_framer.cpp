#include "link/record_framer.h"

#include "link/protocol.h"

namespace analyzer {

void RecordFramer::receive(QByteArrayView bytes, qint64 nowMs)
{
    const qint64 pause = nowMs - lastArrival_;
    lastArrival_ = nowMs;
    if (bytes.isEmpty())
        return;
    if (!inTransfer_) {
        if (pause < kStreamQuietMs)
            return;
        beginTransfer();
    }
    piece_.append(bytes);
    if (!shortReply())
        cut();
}

void RecordFramer::idle(qint64 nowMs)
{
    const qint64 quiet = nowMs - lastArrival_;
    if (shortReply() && quiet >= kQuietMs)
        releaseReply();
    if (inTransfer_ && !piece_.isEmpty() && quiet >= kStalePieceMs)
        disturb();
}

std::optional<qint64> RecordFramer::nextDecision() const
{
    if (shortReply())
        return lastArrival_ + kQuietMs;
    if (inTransfer_ && !piece_.isEmpty() && !disturbedAfter_)
        return lastArrival_ + kStalePieceMs;
    return std::nullopt;
}

void RecordFramer::beginTransfer()
{
    piece_.clear();
    inTransfer_ = true;
    placed_ = 0;
    repliedShort_ = false;
    disturbedAfter_.reset();
    ++transfers_;
}

void RecordFramer::endTransfer()
{
    if (shortReply())
        releaseReply();
    if (!piece_.isEmpty())
        disturb();
    abandonTransfer();
}

void RecordFramer::abandonTransfer()
{
    piece_.clear();
    inTransfer_ = false;
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

// The analyzer's no-data reply may be shorter than a record; it is whole once the line falls
// quiet after it.
bool RecordFramer::shortReply() const
{
    return placed_ == 0 && piece_.size() >= 2 && piece_.size() < kRecordSize
        && quint8(piece_[1]) == kNoDataMarker;
}

void RecordFramer::releaseReply()
{
    blocks_.push_back(piece_);
    piece_.clear();
    ++placed_;
    repliedShort_ = true;
}

void RecordFramer::cut()
{
    qsizetype taken = 0;
    for (; piece_.size() - taken >= kRecordSize; taken += kRecordSize) {
        QByteArray block = piece_.mid(taken, kRecordSize);
        // A record after a reply shorter than a record: the reply was what the line left of
        // the first reading, and the count of bytes since says nothing.
        if (repliedShort_)
            disturb();
        ++placed_;
        blocks_.push_back(std::move(block));
    }
    piece_.remove(0, taken);
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
