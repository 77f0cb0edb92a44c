#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <deque>
#include <optional>

namespace analyzer {

// Cuts what the analyzer sends into blocks for the decoder: six-byte records, and a no-data
// reply (two to six bytes, the marker where the flags go) once the line has fallen quiet after
// it. Pure: the caller says when bytes arrived and when it looks at a quiet line; nothing here
// reads a clock or a port.
//
// The records carry no framing and no checksum, so the count of bytes is the one check there
// is: the answer to a Download is whole records, back to back, from its first byte on. Every
// record is cut where that count puts it, as soon as its sixth byte is in, whatever pauses
// came between; a stall of the program therefore never breaks a record, and records with
// unusual flags or values give their lines as they are. A transfer whose bytes do not add up
// to whole records lost or gained bytes somewhere; a byte can go missing anywhere, so no
// reading of it can be vouched for and the transfer is reported disturbed from its start.
// That is known once a piece of a record has waited longer than any stall of the program
// lasts, or when the caller ends the transfer.
//
// The no-data reply is the whole answer: one followed by more bytes is readings that lost or
// gained a byte so that the marker fell where the flags are read. It is therefore given only
// once the line has stayed quiet after it as long as a piece of a record may wait; with bytes
// behind it, it is no reply but a disturbed transfer, and no block is made of it.
//
// A piece of a record that a long quiet ends is reported and dropped, never joined to bytes
// that come later. The answer to a Download goes on until the next Download or the end of the
// transfer, so that bytes late for it still count: a no-data reply that was its whole answer
// is disturbed by any byte after it. Bytes that answer no Download are a transfer of their own
// when they begin on a quiet line, and end with the line's quiet: the analyzer sends records
// back to back, so its first byte after a pause starts one. Bytes of a stream that was already
// flowing (when the port opened, or after such a transfer ended) joined it at an unknown byte,
// and are dropped until the line falls quiet.
class RecordFramer {
public:
    // The line quiet this long separates one stream of records from the next.
    static constexpr qint64 kStreamQuietMs = 100;
    // A piece of a record that waited this long is not the start of one split by a stall of
    // the program: the line lost or gained bytes. Pauses of a second still join. A no-data
    // reply followed by nothing this long stands alone.
    static constexpr qint64 kStalePieceMs = 1150;

    // `bytes` arrived at `nowMs` (any monotonic clock in milliseconds). Bytes the caller did
    // not keep (an echo, a stream it drops) come as an empty view: the line was busy.
    void receive(QByteArrayView bytes, qint64 nowMs);
    // Nothing has arrived from the last receive until `nowMs`: after kStalePieceMs a no-data
    // reply is released, a piece of a record reported and dropped, and a transfer that no
    // Download asked for is over.
    void idle(qint64 nowMs);
    // When idle() next has something to decide; empty when nothing waits for the line.
    std::optional<qint64> nextDecision() const;

    // A Download went out: the next byte starts a record or a no-data reply, and what arrives
    // until the next call is its answer. A no-data reply of the transfer before is given
    // first.
    void beginTransfer();
    // The caller stops listening: a reply still waiting for quiet is released, and a piece
    // of a record left over disturbs the transfer.
    void endTransfer();
    // The rest of the transfer is dropped on purpose (another Download is coming): the piece
    // left is forgotten without a verdict, and later bytes answer nothing that was asked.
    void abandonTransfer();
    // The port opened (or closed) at `nowMs`: everything received and not yet taken is
    // forgotten, and the line counts as busy until then.
    void reset(qint64 nowMs);

    bool hasBlock() const { return !blocks_.empty(); }
    QByteArray takeBlock();

    // Counts the transfers begun, asked for or not, so that each is reported once.
    quint64 transferNumber() const { return transfers_; }
    // Once per transfer: how many of its readings are certainly right, the transfer having
    // lost or gained bytes after them; empty while nothing is wrong.
    std::optional<qsizetype> disturbance() const { return disturbedAfter_; }

private:
    bool replyWaits() const;
    void open(bool asked);
    void judgePiece();
    void cut();
    void disturb();

    std::deque<QByteArray> blocks_;
    // Bytes of the record being received.
    QByteArray piece_;
    // A transfer is open: its records are cut and its bytes counted.
    bool inTransfer_ = false;
    // It answers a Download.
    bool asked_ = false;
    // Bytes of the open transfer have arrived: its end is judged by the line's quiet.
    bool answered_ = false;
    // It answers a Download, and its whole answer was a no-data reply, given: later bytes
    // disturb it.
    bool replied_ = false;
    qint64 lastArrival_ = 0;
    quint64 transfers_ = 0;
    qsizetype placed_ = 0; // blocks of the transfer
    std::optional<qsizetype> disturbedAfter_;
};

} // namespace analyzer
