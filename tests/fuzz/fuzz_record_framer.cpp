// The record framer on arbitrary arrivals, pauses and calls: every block it gives is a whole
// record or a short no-data reply made of bytes it received; and records that come back to
// back with real flags, cut into arbitrary pieces, come out exactly as they were sent.
#include "link/protocol.h"
#include "link/record_framer.h"

#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

bool wellFormed(const QByteArray &block)
{
    if (block.size() == analyzer::kRecordSize)
        return true;
    return block.size() >= 2 && block.size() < analyzer::kRecordSize
        && std::uint8_t(block[1]) == analyzer::kNoDataMarker;
}

// Steps: a byte whose low four bits say what happens (0 to 11: that many bytes plus one
// arrive; 12: the line falls quiet; 13: a transfer begins; 14: a flush; 15: a clear) and
// whose high four bits the pause before it, in 20 ms.
void arbitrary(const std::uint8_t *data, std::size_t size)
{
    analyzer::RecordFramer framer;
    qint64 now = 0;
    qsizetype received = 0, given = 0;
    for (std::size_t i = 0; i < size;) {
        const std::uint8_t step = data[i++];
        now += (step >> 4) * 20;
        switch (step & 0x0F) {
        case 12: framer.lineQuiet(); break;
        case 13: framer.beginTransfer(); break;
        case 14: framer.flush(); break;
        case 15:
            framer.clear();
            received = given = 0;
            break;
        default: {
            const std::size_t n = std::min<std::size_t>((step & 0x0F) + 1u, size - i);
            framer.receive(QByteArrayView(reinterpret_cast<const char *>(data + i), qsizetype(n)),
                           now);
            received += qsizetype(n);
            i += n;
        }
        }
        while (framer.hasBlock()) {
            const QByteArray block = framer.takeBlock();
            require(wellFormed(block));
            given += block.size();
        }
        require(given <= received);
    }
}

// Records from the data (flags cut to their meaningful bits), sent back to back in pieces
// whose sizes the data also gives.
void backToBack(const std::uint8_t *data, std::size_t size)
{
    const std::size_t count = std::min<std::size_t>(size / 7, 40);
    QByteArray sent;
    for (std::size_t r = 0; r < count; ++r) {
        QByteArray record(reinterpret_cast<const char *>(data + r * 7), analyzer::kRecordSize);
        record[1] = char(std::uint8_t(record[1]) & 0x07);
        sent += record;
    }
    analyzer::RecordFramer framer;
    framer.beginTransfer();
    qint64 now = 0;
    for (qsizetype at = 0, r = 0; at < sent.size(); ++r) {
        const std::uint8_t sizer = data[(std::size_t(r) * 7 + 6) % size];
        const qsizetype piece = std::min<qsizetype>(1 + sizer % 13, sent.size() - at);
        framer.receive(QByteArrayView(sent).sliced(at, piece), now);
        at += piece;
        now += 10;
    }
    framer.lineQuiet();
    QByteArray got;
    while (framer.hasBlock())
        got += framer.takeBlock();
    require(got == sent);
    require(!framer.disturbance());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    if (data[0] & 0x80)
        backToBack(data + 1, size - 1);
    else
        arbitrary(data + 1, size - 1);
    return 0;
}
