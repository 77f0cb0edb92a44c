#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <deque>
#include <optional>

namespace analyzer {

// Cuts what the analyzer sends into blocks for the decoder: six-byte records, and a no-data
// reply of two to five bytes once the line has fallen quiet after it. Pure: the caller says
// when bytes arrived and when the line fell quiet; nothing here reads a clock or a port.
//
// The records carry no framing, so their alignment is all there is. It is trusted while bytes
// come back to back. After a gap (the line quiet for longer than a record takes, or the
// start of a transfer) the bytes that follow are held until there is evidence of where the
// records start: every record's flags byte has bits 3 to 7 clear, and a transfer ends on a
// record boundary. The alignment that continues the bytes before the gap wins whenever the
// records fit, so a record split by a stall of the program itself is never broken. When the
// old alignment does not fit and exactly one other does, the bytes before it (up to five)
// are dropped as noise. When neither holds, the records keep the old alignment, so records
// with unusual flags still give their lines, and the transfer is marked disturbed unless
// the burst ended exactly on a record boundary.
class RecordFramer {
public:
    // A pause between two arrivals longer than this is a gap: records come back to back,
    // 25 ms each at 2400 baud.
    static constexpr qint64 kGapMs = 50;
    // A piece of a record that waited longer than this is no longer presumed to be joined
    // by what comes next: a stall of the program lasts less.
    static constexpr qint64 kStalePieceMs = 1000;
    // Records held after a gap before the alignment is chosen without waiting for the end.
    static constexpr int kLookaheadRecords = 8;
    // Held bytes are placed at this size at the latest, bursts that long give evidence
    // enough; it bounds the work and the delay.
    static constexpr qsizetype kMaxHeldBytes = 6 * 1024;

    // `bytes` arrived at `nowMs` (any monotonic clock in milliseconds).
    void receive(QByteArrayView bytes, qint64 nowMs);
    // The line has been quiet for a while (the caller's quiet time, longer than kGapMs):
    // held bytes are placed, and a waiting no-data reply shorter than a record is released.
    void lineQuiet();
    // The next byte starts a record: a piece left from before is dropped, and the counts of
    // the transfer start again.
    void beginTransfer();
    // Places held bytes as if the line had fallen quiet, then drops the piece of a record
    // left over; blocks already cut stay to be taken.
    void flush();
    // Forgets everything received and not yet taken.
    void clear();

    bool hasBlock() const { return !blocks_.empty(); }
    QByteArray takeBlock();
    // Whether bytes are waiting for the line to fall quiet before they can be placed.
    bool waitsForQuiet() const;

    // Records released since the transfer began.
    qsizetype recordsInTransfer() const { return records_; }
    // Once per transfer: the number of records released before the first place where the
    // records could not be aligned with confidence; empty when there is none.
    std::optional<qsizetype> disturbance() const { return disturbedAfter_; }
    // Bytes dropped as noise while re-aligning, in this transfer.
    qsizetype droppedBytes() const { return dropped_; }

private:
    void startHolding();
    void place(bool final);
    void release(QByteArrayView stream);
    void cutRecords();
    bool validFlags(std::uint8_t flags, bool firstOfTransfer) const;

    std::deque<QByteArray> blocks_;
    // Bytes of a record not complete yet, in the trusted alignment.
    QByteArray piece_;
    // While re-aligning: the piece from before the gap followed by everything since.
    QByteArray held_;
    qsizetype heldPiece_ = 0;
    bool holding_ = false;
    // The held bytes start with a piece that waited longer than kStalePieceMs.
    bool stalePiece_ = false;
    bool afterQuiet_ = true;
    std::optional<qint64> lastArrival_;
    qsizetype records_ = 0;
    qsizetype dropped_ = 0;
    std::optional<qsizetype> disturbedAfter_;
};

} // namespace analyzer
