// The record framer against the truth. The input chooses a batch (shape, size, values, a first
// reading that a fault turns into an echo or a no-data reply), what came before Download and
// whether the adapter echoes, what the line does to the answer (bytes lost or added, anywhere)
// and its pauses; every line the framer and decoder give must be the true reading at its
// place, or the transfer reported disturbed no later than the first line that is not. Inputs with
// the high bit of the first byte clear drive the framer with arbitrary bytes and calls instead:
// every block it gives is a whole record or a short no-data reply, made of bytes it received.
#include "line_faults.h"
#include "link/protocol.h"
#include "link/record_framer.h"

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const QString &what = {})
{
    if (!ok) {
        std::fprintf(stderr, "%s\n", qPrintable(what));
        std::abort();
    }
}

// Reads the input a byte at a time; zeros once it runs out.
struct Input {
    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    bool more() const { return at < size; }
};

constexpr int kPausesMs[] = {0, 20, 40, 50, 60, 100, 200, 400, 1000, 1100, 1200, 2000};

void againstTheTruth(Input in)
{
    using namespace linefault;
    const std::uint8_t shape = in.byte();
    const int count = 1 + shape % 24;
    quint32 seed = 0;
    for (int i = 0; i < 4; ++i)
        seed = seed << 8 | in.byte();
    QList<QByteArray> truth = batch(Shape((shape >> 5) % 3), count, seed);
    // Which look-alike comes first (none past their number), what came unasked, and an echo.
    const std::uint8_t setting = in.byte();
    const QList<QByteArray> firsts = lookAlikes();
    if (setting % 8 < firsts.size())
        truth[0] = firsts[setting % 8];
    const QList<Delivery> before = unasked();
    const Delivery &unaskedBytes = before[(setting >> 3 & 0x0F) % before.size()];
    const int size = count * analyzer::kRecordSize;

    QList<Edit> edits;
    for (int n = in.byte() % 4; n > 0; --n) {
        const std::uint8_t how = in.byte();
        Edit e;
        e.kind = how & 1 ? Edit::Kind::Add : Edit::Kind::Lose;
        e.count = 1 + (how >> 1) % 5;
        e.at = int((in.byte() << 8 | in.byte()) % (size + 1));
        e.value = char(how & 0x10 ? in.byte() : 0);
        edits << e;
    }
    QList<Pause> pauses;
    while (in.more()) {
        const std::uint8_t when = in.byte();
        pauses << Pause{int((when << 8 | in.byte()) % (size + 8)),
                        kPausesMs[in.byte() % std::size(kPausesMs)]};
    }
    Delivery d = deliver(truth, edits, pauses);
    if (!judgeable(d))
        return;
    d.before = unaskedBytes.before;
    d.beforeTruth = unaskedBytes.beforeTruth;
    d.askMs = unaskedBytes.askMs;
    d.echo = setting & 0x80;
    const Outcome o = frame(d);
    const QString broken = violation(d, o);
    require(broken.isEmpty(), broken + QStringLiteral("\n") + described(d, o));
}

bool wellFormed(const QByteArray &block)
{
    if (block.size() == analyzer::kRecordSize)
        return true;
    return block.size() >= 2 && block.size() < analyzer::kRecordSize
        && std::uint8_t(block[1]) == analyzer::kNoDataMarker;
}

// Steps: a byte whose low four bits say what happens (0 to 10: that many bytes plus one
// arrive; 11: a look at the quiet line; 12: a transfer begins; 13: it ends; 14: it is
// abandoned; 15: the port reopens) and whose high four bits the pause before it, in 100 ms.
void arbitrary(Input in)
{
    analyzer::RecordFramer framer;
    qint64 now = 0;
    qsizetype received = 0, given = 0;
    while (in.more()) {
        const std::uint8_t step = in.byte();
        now += (step >> 4) * 100;
        switch (step & 0x0F) {
        case 11: framer.idle(now); break;
        case 12: framer.beginTransfer(); break;
        case 13: framer.endTransfer(); break;
        case 14: framer.abandonTransfer(); break;
        case 15:
            framer.reset(now);
            received = given = 0;
            break;
        default: {
            const std::size_t n = std::min<std::size_t>((step & 0x0F) + 1u, in.size - in.at);
            framer.receive(
                QByteArrayView(reinterpret_cast<const char *>(in.data + in.at), qsizetype(n)), now);
            received += qsizetype(n);
            in.at += n;
        }
        }
        while (framer.hasBlock()) {
            const QByteArray block = framer.takeBlock();
            require(wellFormed(block), QStringLiteral("a block of %1 bytes").arg(block.size()));
            given += block.size();
        }
        require(given <= received, QStringLiteral("more bytes given than received"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    const Input in{data + 1, size - 1};
    if (data[0] & 0x80)
        againstTheTruth(in);
    else
        arbitrary(in);
    return 0;
}
