#include "line_faults.h"

#include "link/protocol.h"

namespace linefault {

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

namespace {

QList<QByteArray> batch(int first = 1, int last = 20)
{
    QList<QByteArray> records;
    for (int n = first; n <= last; ++n)
        records << batchRecord(n);
    return records;
}

QByteArray stray(int count)
{
    // Bytes a glitch might leave: nothing that looks like a record on its own.
    return QByteArray::fromHex("A5F13C0E77").left(count);
}

} // namespace

QList<Fault> faults()
{
    QList<Fault> rows;
    const QByteArray first = batchRecords(1, 10), rest = batchRecords(11, 20);
    rows << Fault{"no fault", {{0, first}, {20, rest}}, batch()};
    for (int n : {1, 2, 3, 4, 5}) {
        rows << Fault{QStringLiteral("%1 stray, 0.1 s quiet").arg(n),
                      {{0, first + stray(n)}, {100, rest}},
                      batch()};
    }
    rows << Fault{"3 stray, 0.5 s quiet", {{0, first + stray(3)}, {500, rest}}, batch()};
    rows << Fault{"2 stray, 1.2 s quiet", {{0, first + stray(2)}, {1200, rest}}, batch()};
    for (int n : {1, 3, 5}) {
        rows << Fault{QStringLiteral("%1 stray straight before reading 11").arg(n),
                      {{0, first}, {300, stray(n) + rest}},
                      batch()};
    }
    rows << Fault{"reading 11 split 3+3 over 1.1 s",
                  {{0, first + rest.left(3)}, {1100, rest.mid(3)}},
                  batch()};
    // One record after a fault is too little to be sure of: it is placed as well as the
    // evidence allows, and the user is told.
    rows << Fault{"a stray byte before the last reading",
                  {{0, batchRecords(1, 19)}, {300, stray(1) + batchRecord(20)}},
                  batch(),
                  19};
    const QByteArray last = batchRecord(20);
    rows << Fault{"stray bytes around the last reading",
                  {{0, batchRecords(1, 19)}, {300, stray(1) + last + stray(1)}},
                  batch(1, 19) << (last.mid(1) + stray(1)),
                  19};
    return rows;
}

} // namespace linefault
