#include "link/record_framer.h"

#include "link/protocol.h"

#include <array>

namespace analyzer {

namespace {

bool isShortNoDataReply(const QByteArray &piece)
{
    return piece.size() >= 2 && piece.size() < kRecordSize && quint8(piece[1]) == kNoDataMarker;
}

// How well the held bytes fit records that start `skip` bytes in.
struct Fit {
    qsizetype records = 0;
    bool valid = false; // every record's flags byte could be a real one
    bool exact = false; // no bytes left over at the end
};

} // namespace

void RecordFramer::receive(QByteArrayView bytes, qint64 nowMs)
{
    if (bytes.isEmpty())
        return;
    const qint64 pause = lastArrival_ ? nowMs - *lastArrival_ : 0;
    const bool gap = afterQuiet_ || pause > kGapMs;
    lastArrival_ = nowMs;
    afterQuiet_ = false;
    if (gap) {
        if (holding_)
            place(true);
        startHolding();
        stalePiece_ = !held_.isEmpty() && pause > kStalePieceMs;
    }
    if (holding_) {
        held_.append(bytes);
        place(false);
        return;
    }
    piece_.append(bytes);
    cutRecords();
}

void RecordFramer::lineQuiet()
{
    if (holding_)
        place(true);
    if (isShortNoDataReply(piece_)) {
        blocks_.push_back(piece_);
        piece_.clear();
    }
    afterQuiet_ = true;
}

void RecordFramer::beginTransfer()
{
    piece_.clear();
    held_.clear();
    holding_ = false;
    afterQuiet_ = true;
    records_ = 0;
    dropped_ = 0;
    disturbedAfter_.reset();
}

void RecordFramer::flush()
{
    if (holding_)
        place(true);
    piece_.clear();
    afterQuiet_ = true;
}

void RecordFramer::clear()
{
    blocks_.clear();
    piece_.clear();
    held_.clear();
    holding_ = false;
    afterQuiet_ = true;
}

QByteArray RecordFramer::takeBlock()
{
    if (blocks_.empty())
        return {};
    QByteArray block = std::move(blocks_.front());
    blocks_.pop_front();
    return block;
}

bool RecordFramer::waitsForQuiet() const
{
    return holding_ || isShortNoDataReply(piece_);
}

void RecordFramer::startHolding()
{
    held_ = piece_;
    piece_.clear();
    holding_ = true;
}

bool RecordFramer::validFlags(std::uint8_t flags, bool firstOfTransfer) const
{
    // Bits 3 to 7 carry nothing in a reading; the no-data marker is the whole answer to a
    // download, so it can only come first.
    return (flags & 0xF8) == 0 || (firstOfTransfer && flags == kNoDataMarker);
}

// Chooses where records start in the held bytes: `skip` bytes in, 0 continuing the alignment
// from before the gap. Without `final` it looks at the first kLookaheadRecords records of
// each alignment and decides only when exactly one of them fits; otherwise it waits for the
// line to fall quiet, when the end of the burst tells more: the records of a transfer end on
// a record boundary.
void RecordFramer::place(bool final)
{
    constexpr int kAlignments = kRecordSize;
    const qsizetype size = held_.size();
    const bool full = size >= kMaxHeldBytes;
    if (!final && size < kRecordSize * kLookaheadRecords + kAlignments - 1)
        return;

    std::array<Fit, kAlignments> fits{};
    for (int skip = 0; skip < kAlignments && skip <= size; ++skip) {
        Fit &fit = fits[skip];
        fit.records = (size - skip) / kRecordSize;
        fit.exact = (size - skip) % kRecordSize == 0;
        fit.valid = true;
        const qsizetype judged =
            final || full ? fit.records : qMin<qsizetype>(fit.records, kLookaheadRecords);
        for (qsizetype i = 0; i < judged && fit.valid; ++i)
            fit.valid =
                validFlags(quint8(held_[skip + i * kRecordSize + 1]), records_ == 0 && i == 0);
    }
    // A no-data reply is the whole answer, whatever its length: bytes after it are no sign
    // of another alignment.
    if (records_ == 0 && fits[0].records > 0 && quint8(held_[1]) == kNoDataMarker)
        fits[0].exact = true;
    // A stale piece is joined only where the end of the burst says so, not by default.
    if (stalePiece_ && !final && !full)
        return;
    if (stalePiece_)
        fits[0].valid = fits[0].valid && fits[0].exact;

    int fitting = 0; // other alignments whose records all fit
    int ending = 0; // ... and that end on a record boundary
    int other = 0;
    int otherEnding = 0;
    for (int skip = 1; skip < kAlignments; ++skip) {
        if (!fits[skip].valid || fits[skip].records == 0)
            continue;
        ++fitting;
        other = skip;
        if (fits[skip].exact) {
            ++ending;
            otherEnding = skip;
        }
    }

    int skip = 0;
    bool doubtful = false;

    if (!final && !full) {
        // Records right after a Download or a short pause start where they always did, as
        // long as they fit. Another alignment often fits too (a resistance's high byte
        // where the flags were), so a move is made early only when it is the one that fits.
        if (fits[0].valid)
            skip = 0;
        else if (fitting == 1)
            skip = other;
        else
            return; // several or none fit so far: the end of the burst decides
    } else if (fits[0].valid) {
        skip = 0;
    } else if (final && ending == 1) {
        // A short tail may end on a boundary by chance.
        skip = otherEnding;
        doubtful = fits[skip].records < kLookaheadRecords / 2;
    } else if (!final && fitting == 1) {
        skip = other;
    } else {
        // Records with unusual flags that end where the burst ends are taken as they come;
        // anything else keeps the alignment it had, and the user hears of it.
        doubtful = !(final && fits[0].exact && ending == 0);
    }
    if (doubtful && !disturbedAfter_)
        disturbedAfter_ = records_;

    holding_ = false;
    dropped_ += skip;
    piece_ = held_.mid(skip);
    held_.clear();
    cutRecords();
}

void RecordFramer::cutRecords()
{
    qsizetype taken = 0;
    for (; piece_.size() - taken >= kRecordSize; taken += kRecordSize) {
        blocks_.push_back(piece_.mid(taken, kRecordSize));
        ++records_;
    }
    piece_.remove(0, taken);
}

} // namespace analyzer
