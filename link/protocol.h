#pragma once

#include "reading/line_format.h"
#include "reading/reading.h"

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

using AnalyzerModel = reading::Model;

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

// The six bytes of a record, high bytes first, as the analyzer sends it; the one encoder.
QByteArray encodeRecord(const AnalyzerRecord &record);
// The record in six such bytes (bytes must hold kRecordSize).
AnalyzerRecord recordFromBytes(QByteArrayView bytes);

// The reading a record holds when read with model: the range code (flags & 3) sets the
// resistance's unit and places, where an RM-40A count is ten times that of the other two
// models; flag bit 2 gives the voltage three places instead of two.
reading::Reading readingOf(const AnalyzerRecord &record, AnalyzerModel model);

using reading::BoardLine;
using reading::kOhmGbk;

struct DecodeResult {
    enum class Kind { Line, NoData };
    Kind kind = Kind::NoData;
    reading::Reading reading; // what the record says; zero for NoData
    BoardLine line; // its board line; empty for NoData
    AnalyzerRecord record; // the fields it was made from; zero for NoData

    bool isNoData() const { return kind == Kind::NoData; }
};

// Decodes one received block. Pure: no I/O, no state. Raises LinkError ShortBlock when
// the block lacks a byte it needs: the flags byte (index 1) first, so a two-byte block
// carrying the no-data marker still yields the no-data outcome, then the other five. Bytes
// from index 6 on are ignored.
DecodeResult decodeRecord(QByteArrayView block, AnalyzerModel model);

// The same for callers that only tell the RM-40A from the others, which decode alike (as
// RM-40B).
inline DecodeResult decodeRecord(QByteArrayView block, bool rm40aSelected)
{
    return decodeRecord(block, rm40aSelected ? AnalyzerModel::RM40A : AnalyzerModel::RM40B);
}

} // namespace analyzer
