// Decoding throughput against the rate at which the analyzer's line can deliver records.
#include "harness.h"
#include "link/protocol.h"

#include <random>
#include <vector>

int main()
{
    // A fixed mix of records over every range code, both voltage scales and every group.
    std::mt19937 rng(42);
    std::vector<QByteArray> blocks;
    for (int i = 0; i < 4096; ++i) {
        analyzer::AnalyzerRecord r;
        r.group = std::uint8_t(i);
        r.flags = std::uint8_t(rng() % 8);
        r.resistance = std::uint16_t(rng());
        r.voltage = std::uint16_t(rng());
        blocks.push_back(analyzer::encodeRecord(r));
    }

    bool rm40a = true;
    const double perBatch = bench::secondsPerCall([&] {
        for (const QByteArray &b : blocks) {
            const auto result = analyzer::decodeRecord(b, rm40a);
            bench::keep(result);
        }
        rm40a = !rm40a;
    });
    const double recordsPerSecond = double(blocks.size()) / perBatch;

    // 2400 baud, 8N1: ten bit times a byte, 240 bytes/s, 40 six-byte records/s.
    const double lineRecordsPerSecond = 2400.0 / 10.0 / analyzer::kRecordSize;
    bench::row("decode records", recordsPerSecond, "records/s",
               recordsPerSecond / lineRecordsPerSecond, "x the 2400-baud line rate (40 records/s)",
               ">= 1");
    return 0;
}
