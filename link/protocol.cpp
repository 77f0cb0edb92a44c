#include "link/protocol.h"

#include "link/errors.h"

namespace analyzer {

namespace {

struct ResistanceScale {
    int places;
    reading::ResistanceUnit unit;
};

constexpr auto kMilli = reading::ResistanceUnit::Milliohm;
constexpr auto kOhm = reading::ResistanceUnit::Ohm;
// By range code; at the same code an RM-40A count is ten times that of the other two models.
constexpr ResistanceScale kScaleRM40A[4] = {{2, kMilli}, {1, kMilli}, {3, kOhm}, {2, kOhm}};
constexpr ResistanceScale kScaleOther[4] = {{3, kMilli}, {2, kMilli}, {1, kMilli}, {3, kOhm}};
constexpr std::uint8_t kMillivoltFlag = 4;

} // namespace

QByteArray encodeRecord(const AnalyzerRecord &r)
{
    const char bytes[kRecordSize] = {char(r.group),           char(r.flags),
                                     char(r.resistance >> 8), char(r.resistance & 0xFF),
                                     char(r.voltage >> 8),    char(r.voltage & 0xFF)};
    return QByteArray(bytes, kRecordSize);
}

AnalyzerRecord recordFromBytes(QByteArrayView bytes)
{
    const auto at = [&bytes](qsizetype i) { return static_cast<std::uint8_t>(bytes[i]); };
    return {at(0), at(1), std::uint16_t(at(2) << 8 | at(3)), std::uint16_t(at(4) << 8 | at(5))};
}

reading::Reading readingOf(const AnalyzerRecord &record, AnalyzerModel model)
{
    const ResistanceScale *scales = model == AnalyzerModel::RM40A ? kScaleRM40A : kScaleOther;
    const ResistanceScale scale = scales[record.flags & 3];
    reading::Reading r;
    r.group = record.group;
    r.resistance = {record.resistance, scale.places};
    r.unit = scale.unit;
    r.voltage = {record.voltage, (record.flags & kMillivoltFlag) ? 3 : 2};
    r.model = model;
    return r;
}

DecodeResult decodeRecord(QByteArrayView block, AnalyzerModel model)
{
    if (block.size() < 2)
        throw LinkError(LinkFault{LinkFault::Kind::ShortBlock});
    if (std::uint8_t(block[1]) == kNoDataMarker)
        return {};
    if (block.size() < kRecordSize)
        throw LinkError(LinkFault{LinkFault::Kind::ShortBlock});

    DecodeResult result;
    result.kind = DecodeResult::Kind::Line;
    result.record = recordFromBytes(block.first(kRecordSize));
    result.reading = readingOf(result.record, model);
    result.line = reading::boardLine(result.reading);
    return result;
}

} // namespace analyzer
