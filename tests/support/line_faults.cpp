#include "line_faults.h"

#include "link/command_echo.h"
#include "link/protocol.h"
#include "link/record_framer.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace linefault {

namespace {

// A small generator of its own, so that a seed gives the same batch everywhere.
struct Random {
    quint32 state;
    quint32 next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

constexpr int kSecondMs = 1000;

} // namespace

QList<QByteArray> batch(Shape shape, int count, quint32 seed)
{
    Random random{seed};
    QList<QByteArray> records;
    for (int i = 0; i < count; ++i) {
        analyzer::AnalyzerRecord r;
        if (shape == Shape::Small) {
            r.group = std::uint8_t(1 + i % 20);
            r.flags = std::uint8_t(random.next() % 8);
            r.resistance = std::uint16_t((random.next() % 4) << 8 | (random.next() & 0xFF));
            r.voltage = std::uint16_t((random.next() % 4) << 8 | (random.next() & 0xFF));
        } else if (shape == Shape::Markers) {
            r.group = analyzer::kNoDataMarker;
            r.flags = std::uint8_t(random.next() % 8);
            r.resistance = r.voltage = analyzer::kNoDataMarker << 8 | analyzer::kNoDataMarker;
        } else {
            r.group = std::uint8_t(random.next());
            do
                r.flags = std::uint8_t(random.next());
            while (r.flags == analyzer::kNoDataMarker);
            r.resistance = std::uint16_t(random.next());
            r.voltage = std::uint16_t(random.next());
        }
        records << analyzer::encodeRecord(r);
    }
    return records;
}

QList<QByteArray> lookAlikes()
{
    const auto hex = [](const char *h) { return QByteArray::fromHex(h); };
    return {
        hex("53050145534B"), // S . . E S K
        hex("530501024553"), // S . . . E S
        hex("5345012C0E74"), // S E: flags 0x45
        hex("534B012C0E74"), // S K: flags 0x4B
        hex("8805012C0E74"), // group 136
        hex("070588020E74"), // resistance 0x8802
    };
}

QList<Delivery> unasked()
{
    const QByteArray a = batchRecord(3), b = batchRecord(4), c = batchRecord(5);
    const auto row = [](const char *name, QList<Step> before, QList<QByteArray> truth, int askMs) {
        Delivery d;
        d.name = QString::fromLatin1(name);
        d.before = before;
        d.beforeTruth = truth;
        d.askMs = askMs;
        return d;
    };
    return {
        row("nothing before Download", {}, {}, 300),
        row("Download clicked at once", {}, {}, 0),
        row("half a record, then Download", {{300, a.left(3)}}, {}, 300),
        row("half a record, Download clicked at once", {{300, a.left(3)}}, {}, 20),
        row("half a record, Download after 1.2 s", {{300, a.left(3)}}, {}, 1200),
        row("five bytes, 2 s of silence, two records, then Download",
            {{300, a.left(5)}, {2000, b + c}}, {b, c}, 300),
        row("half a record, 2 s of silence, two records and a half, Download at once",
            {{300, a.left(3)}, {2000, b + c + a.left(3)}}, {b, c}, 20),
        row("two records unasked, then Download", {{300, b + c}}, {b, c}, 300),
        row("a stream flowing when the port opened", {{0, a.mid(2) + b + c}}, {b, c}, 300),
        row("a stream flowing when the port opened, Download clicked at once",
            {{0, a.mid(2) + b}, {40, c}}, {b, c}, 10),
    };
}

Delivery deliver(const QList<QByteArray> &truth, const QList<Edit> &edits,
                 const QList<Pause> &pauses)
{
    Delivery d;
    d.truth = truth;
    d.edits = int(edits.size());
    QByteArray bytes = truth.join();
    // From the last offset back, so that each edit's offset still means the bytes sent.
    QList<Edit> ordered = edits;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Edit &a, const Edit &b) { return a.at > b.at; });
    for (const Edit &e : ordered) {
        const int at = std::clamp(e.at, 0, int(bytes.size()));
        if (e.kind == Edit::Kind::Lose) {
            const int lost = std::min(e.count, int(bytes.size()) - at);
            bytes.remove(at, lost);
            d.netBytes -= lost;
        } else {
            bytes.insert(at, QByteArray(e.count, e.value));
            d.netBytes += e.count;
        }
    }
    QList<Pause> ordPauses = pauses;
    std::stable_sort(ordPauses.begin(), ordPauses.end(),
                     [](const Pause &a, const Pause &b) { return a.at < b.at; });
    int from = 0, pause = 0;
    for (const Pause &p : ordPauses) {
        const int at = std::clamp(p.at, from, int(bytes.size()));
        if (at > from)
            d.steps << Step{pause, bytes.mid(from, at - from)};
        pause = at > from ? p.ms : pause + p.ms;
        from = at;
    }
    if (from < bytes.size())
        d.steps << Step{pause, bytes.mid(from)};
    // Pauses at one place make one long pause.
    for (const Step &s : d.steps)
        d.longestPauseMs = std::max(d.longestPauseMs, s.pauseMs);
    return d;
}

bool judgeable(const Delivery &d)
{
    return d.edits == 0 || d.netBytes % analyzer::kRecordSize != 0;
}

QString violation(const Delivery &d, const Outcome &o)
{
    QList<QByteArray> truth;
    for (const QByteArray &r : d.truth)
        truth << analyzer::decodeRecord(r, analyzer::AnalyzerModel::RM40A).line;
    qsizetype firstWrong = 0;
    while (firstWrong < o.lines.size() && firstWrong < truth.size()
           && o.lines[firstWrong] == truth[firstWrong])
        ++firstWrong;
    const bool faulted = d.edits > 0 && d.netBytes % analyzer::kRecordSize != 0;
    QList<QByteArray> sentBefore;
    for (const QByteArray &r : d.beforeTruth)
        sentBefore << analyzer::decodeRecord(r, analyzer::AnalyzerModel::RM40A).line;
    for (qsizetype i = 0; i < o.earlier.size(); ++i)
        if (!sentBefore.contains(o.earlier[i]))
            return QStringLiteral("line %1 given before Download is no record sent whole")
                .arg(i + 1);
    // A pause longer than a second ends a transfer: what came after it is a stream of its own.
    if (o.noData && o.certain && d.longestPauseMs <= kSecondMs)
        return QStringLiteral("no readings said and a disturbance reported: two messages");
    if (!o.certain) {
        // Fewer bytes than a record, with the no-data marker in the flags' place, are the
        // analyzer's no-data reply: what the line did to them cannot be told.
        qsizetype delivered = 0;
        for (const Step &s : d.steps)
            delivered += s.bytes.size();
        if (o.noData && o.lines.isEmpty() && delivered < analyzer::kRecordSize)
            return {};
        if (faulted)
            return QStringLiteral("%1 bytes came too many or too few, and no report")
                .arg(d.netBytes);
        if (o.lines != truth)
            return QStringLiteral("%1 of %2 lines given, line %3 wrong or missing, no report")
                .arg(o.lines.size())
                .arg(truth.size())
                .arg(firstWrong + 1);
        return {};
    }
    if (*o.certain > firstWrong)
        return QStringLiteral("reported certain up to reading %1, but line %2 is wrong")
            .arg(*o.certain)
            .arg(firstWrong + 1);
    if (!faulted && d.longestPauseMs <= kSecondMs)
        return QStringLiteral("reported disturbed without a fault (longest pause %1 ms)")
            .arg(d.longestPauseMs);
    return {};
}

QString described(const Delivery &d, const Outcome &o)
{
    QStringList parts{QStringLiteral("sent %1").arg(QString::fromLatin1(d.truth.join().toHex()))};
    for (const Step &s : d.steps)
        parts << QStringLiteral("after %1 ms %2")
                     .arg(s.pauseMs)
                     .arg(QString::fromLatin1(s.bytes.toHex()));
    parts << QStringLiteral("%1 lines%2%3")
                 .arg(o.lines.size())
                 .arg(o.noData ? QStringLiteral(", no data") : QString())
                 .arg(o.certain ? QStringLiteral(", certain %1").arg(*o.certain) : QString());
    return parts.join(QStringLiteral("; "));
}

Outcome frame(const Delivery &d)
{
    analyzer::CommandEcho echo;
    analyzer::RecordFramer framer;
    framer.reset(0);
    Outcome o;
    bool asked = false; // Download went out
    quint64 reported = 0; // the transfer whose disturbance was reported last
    qint64 now = 0, lastByte = 0;
    const auto take = [&] {
        while (framer.hasBlock()) {
            const analyzer::DecodeResult r =
                analyzer::decodeRecord(framer.takeBlock(), analyzer::AnalyzerModel::RM40A);
            QList<QByteArray> &lines = asked ? o.lines : o.earlier;
            if (!r.isNoData())
                lines << r.line;
            else if (asked && o.lines.isEmpty())
                o.noData = true;
            else
                lines << QByteArrayLiteral("<no data>");
        }
        // Once per transfer, behind its blocks, as the control raises it.
        if (framer.disturbance() && framer.transferNumber() != reported) {
            reported = framer.transferNumber();
            if (asked && !o.certain)
                o.certain = framer.disturbance();
        }
    };
    // The control's timer: it fires when the framer's decision falls due before more bytes.
    const auto quietUntil = [&](qint64 until) {
        for (int looks = 0; looks < 8; ++looks) {
            const std::optional<qint64> due = framer.nextDecision();
            if (!due || *due >= until)
                return;
            framer.idle(*due);
            take();
        }
    };
    const auto arrive = [&](qint64 pauseMs, const QByteArray &bytes) {
        quietUntil(now + pauseMs);
        now += pauseMs;
        lastByte = now;
        framer.receive(echo.received(bytes), now);
        take();
    };
    echo.sent("SE");
    if (d.echo)
        arrive(0, "SE");
    for (const Step &s : d.before)
        arrive(s.pauseMs, s.bytes);
    quietUntil(now + d.askMs);
    now += d.askMs;
    // Download waits for a quiet line, dropping what arrives meanwhile; nothing does here.
    if (now - lastByte < analyzer::RecordFramer::kStreamQuietMs) {
        framer.abandonTransfer();
        quietUntil(lastByte + analyzer::RecordFramer::kStreamQuietMs);
        now = lastByte + analyzer::RecordFramer::kStreamQuietMs;
    }
    echo.decideBeforeAnswer();
    framer.beginTransfer();
    take();
    asked = true;
    echo.sent("SK");
    if (d.echo)
        arrive(0, "SK");
    for (const Step &s : d.steps)
        arrive(s.pauseMs, s.bytes);
    quietUntil(std::numeric_limits<qint64>::max());
    return o;
}

std::optional<qsizetype> certainIn(const QString &message)
{
    static const QRegularExpression after(QStringLiteral("after reading (\\d+)"));
    if (const QRegularExpressionMatch m = after.match(message); m.hasMatch())
        return m.captured(1).toLongLong();
    if (message.contains(QStringLiteral("from the first one on")))
        return 0;
    return std::nullopt;
}

Outcome shown(const QByteArray &boardText, const QString &report, bool noData,
              const QByteArray &before)
{
    Outcome o;
    o.lines = boardText.split('\n');
    o.lines.removeLast();
    for (QByteArray &l : o.lines)
        l.chop(1);
    o.earlier = o.lines.mid(0, before.count('\n'));
    o.lines.remove(0, o.earlier.size());
    if (!report.isEmpty())
        o.certain = certainIn(report).value_or(-1);
    o.noData = noData;
    return o;
}

QByteArray batchRecord(int n)
{
    analyzer::AnalyzerRecord r;
    r.group = std::uint8_t(n);
    r.flags = std::uint8_t((n % 4) | (n % 2) << 2);
    r.resistance = std::uint16_t(250 + 37 * n);
    r.voltage = std::uint16_t(3600 + 13 * n);
    return analyzer::encodeRecord(r);
}

QByteArray batchRecords(int first, int last)
{
    QByteArray bytes;
    for (int n = first; n <= last; ++n)
        bytes += batchRecord(n);
    return bytes;
}

QList<Delivery> sample()
{
    using K = Edit::Kind;
    // Records of 18650 cells with small values: every shifted alignment looks valid.
    const QList<QByteArray> cells = batch(Shape::Small, 20, 18650);
    constexpr int r11 = 60; // the first byte of reading 11
    const auto row = [&](const char *name, QList<Edit> edits, QList<Pause> pauses = {}) {
        Delivery d = deliver(cells, edits, pauses);
        d.name = QString::fromLatin1(name);
        return d;
    };
    const QList<QByteArray> firsts = lookAlikes();
    const auto first = [&](int which, const char *name, QList<Edit> edits) {
        Delivery d = deliver(QList<QByteArray>{firsts[which]} + cells.mid(1), edits);
        d.name = QString::fromLatin1(name);
        return d;
    };
    Delivery unaskedPiece = row("five bytes unasked, 2 s of silence, two records unasked", {});
    const Delivery before = unasked()[5];
    unaskedPiece.before = before.before;
    unaskedPiece.beforeTruth = before.beforeTruth;
    QList<Pause> everyByte;
    for (int at = 1; at < 120; ++at)
        everyByte << Pause{at, 40};
    return {
        row("no fault, pauses of 0.3 s and 1 s inside readings", {}, {{9, 300}, {63, 1000}}),
        row("the flags byte of reading 11 lost", {{K::Lose, r11 + 1, 1}}),
        row("the last byte of reading 11 lost", {{K::Lose, r11 + 5, 1}}),
        row("two bytes of reading 11 lost", {{K::Lose, r11 + 2, 2}}),
        row("a byte of reading 2 lost", {{K::Lose, 8, 1}}),
        row("a byte of the last reading lost", {{K::Lose, 117, 1}}),
        row("three zero bytes between readings 10 and 11", {{K::Add, r11, 3, 0}}),
        row("a stray byte after reading 10, then 0.1 s", {{K::Add, r11, 1, '\xA5'}},
            {{r11 + 1, 100}}),
        row("a stray byte after reading 10, then 1.2 s", {{K::Add, r11, 1, '\x03'}},
            {{r11 + 1, 1200}}),
        row("a byte lost in reading 4, two added in reading 14",
            {{K::Lose, 20, 1}, {K::Add, 80, 2, '\xFF'}}),
        row("a slow steady line: every byte 40 ms after the last", {}, everyByte),
        first(0, "a first reading in group 83 lost its second and third bytes: S E S K",
              {{K::Lose, 1, 2}}),
        first(1, "a first reading in group 83 lost its second to fourth bytes: S E S",
              {{K::Lose, 1, 3}}),
        first(4, "a byte added before a first reading in group 136", {{K::Add, 0, 1, '\x05'}}),
        first(5, "the group byte lost of a first reading whose resistance starts with 136",
              {{K::Lose, 0, 1}}),
        unaskedPiece,
    };
}

} // namespace linefault
