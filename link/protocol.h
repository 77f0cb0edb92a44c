#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>

// The analyzer's byte protocol: four two-byte commands out, six-byte records in.
namespace analyzer {

enum class Command { Connect, Disconnect, Download, ClearMemory };

// Each command goes out as two one-character writes: 'S', then its letter.
struct CommandBytes {
    Command command;
    char first;
    char second;
};

inline constexpr std::array<CommandBytes, 4> kCommandTable{{
    {Command::Connect, 'S', 'E'},
    {Command::Disconnect, 'S', 'T'},
    {Command::Download, 'S', 'K'},
    {Command::ClearMemory, 'S', 'U'},
}};

constexpr const CommandBytes &commandBytes(Command c)
{
    return kCommandTable[static_cast<std::size_t>(c)];
}

enum class AnalyzerModel { RM40A, RM40B, RM40C };

inline constexpr int kRecordSize = 6;
// A flags byte equal to this (compared as a whole byte) means the analyzer holds no data.
inline constexpr std::uint8_t kNoDataMarker = 136;

// One stored reading as the analyzer sends it.
struct AnalyzerRecord {
    std::uint8_t group = 0;
    std::uint8_t flags = 0;
    std::uint16_t resistance = 0;
    std::uint16_t voltage = 0;
};

// The six bytes of a record, high bytes first, as the analyzer sends it.
QByteArray encodeRecord(const AnalyzerRecord &record);

// "Ω" in the GBK code page, the encoding of every line the program writes.
inline constexpr char kOhmGbk[] = "\xA6\xB8";

// A data-board line: 8-bit GBK text without a line break.
using BoardLine = QByteArray;

struct DecodeResult {
    enum class Kind { Line, NoData };
    Kind kind = Kind::NoData;
    BoardLine line; // empty for NoData
    AnalyzerRecord record; // the fields the line was made from; zero for NoData

    bool isNoData() const { return kind == Kind::NoData; }
};

// Decodes one received block. Pure: no I/O, no state. Reads bytes in the order
// 1, 2, 3, 4, 5, 0 and raises EVariantBadIndexError at the first one the block lacks, so a
// two-byte block carrying the no-data marker still yields the no-data outcome. Bytes from
// index 6 on are ignored.
DecodeResult decodeRecord(QByteArrayView block, bool rm40aSelected);

// v written in decimal with leading zeros up to four digits and a point before its last
// `decimals` digits (1 to 3): 567 with 1 gives "056.7", 65535 with 3 gives "65.535".
QByteArray fixedPointText(std::uint16_t v, int decimals);

} // namespace analyzer
