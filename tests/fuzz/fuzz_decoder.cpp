// Properties of the record decoder on arbitrary blocks: it fails only with the bounds error
// and exactly when a byte it needs is missing; every line it builds has the fixed shape and
// reads back as the reading it was made from.
#include "link/errors.h"
#include "link/protocol.h"

#include <QRegularExpression>
#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0 || size > 64)
        return 0;
    // The first byte chooses the model; the rest is the received block.
    const auto model = analyzer::AnalyzerModel(data[0] % 3);
    const QByteArray block(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const bool hasFlags = block.size() >= 2;
    const bool noData = hasFlags && std::uint8_t(block[1]) == analyzer::kNoDataMarker;
    const bool mustFail = !hasFlags || (!noData && block.size() < analyzer::kRecordSize);

    analyzer::DecodeResult result;
    try {
        result = analyzer::decodeRecord(block, model);
    } catch (const analyzer::LinkError &e) {
        require(mustFail);
        require(e.fault().kind == analyzer::LinkFault::Kind::ShortBlock);
        return 0;
    }
    require(!mustFail);
    require(result.isNoData() == noData);
    if (noData) {
        require(result.line.isEmpty());
        return 0;
    }

    // " Group <n>" + 7 blanks + resistance with its unit + 5 blanks + voltage + "V"; the
    // sign is the two GBK bytes, shown here as Latin-1 characters for the pattern.
    static const QRegularExpression shape(
        QStringLiteral("^ Group (\\d{1,3}) {7}(\\d{1,4}\\.\\d{1,3})(m\\x{A6}\\x{B8}| "
                       "\\x{A6}\\x{B8}) {5}(\\d{1,3}\\.\\d{2,3})V$"));
    const auto match = shape.match(QString::fromLatin1(result.line));
    require(match.hasMatch());
    require(match.captured(1).toInt() == std::uint8_t(block[0]));
    // The digits without the point give back the 16-bit values.
    const unsigned resistance = std::uint8_t(block[2]) << 8 | std::uint8_t(block[3]);
    const unsigned voltage = std::uint8_t(block[4]) << 8 | std::uint8_t(block[5]);
    require(match.captured(2).remove(u'.').toUInt() == resistance);
    require(match.captured(4).remove(u'.').toUInt() == voltage);
    const bool millivolts = (std::uint8_t(block[1]) & 4) != 0;
    require(match.captured(4).section(u'.', 1).size() == (millivolts ? 3 : 2));
    auto back = reading::parseBoardLine(result.line);
    require(back && !back->model);
    back->model = result.reading.model;
    require(*back == result.reading);
    return 0;
}
