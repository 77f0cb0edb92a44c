#include "analysis/statistics.h"
#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/input_files.h"
#include "cli/common/output.h"
#include "cli/common/rows.h"
#include "cli/common/streams.h"
#include "cli/files/commands.h"
#include "cli/tables/table_writer.h"
#include "reading/line_format.h"

#include <algorithm>

namespace cli {

namespace {

constexpr int kBins = 10;
constexpr int kBarWidth = 40;

// Padded by characters, not bytes: the unit signs are two bytes in UTF-8.
QByteArray column(const QByteArray &utf8, int width)
{
    return QString::fromUtf8(utf8).leftJustified(width, u' ').toUtf8();
}

// A summary's figures as texts: minimum, maximum, mean, median, standard deviation. The
// summary counts 10^-decimals; `shift` more decimals turn its unit into the one shown.
QList<QByteArray> figures(const analysis::Summary &s, int decimals, int meanPlaces, int shift = 0)
{
    const double scale = std::pow(10.0, -shift);
    return {reading::decimalText({s.minimum, decimals + shift}),
            reading::decimalText({s.maximum, decimals + shift}),
            reading::roundedText(s.mean * scale, meanPlaces + shift),
            reading::decimalText({s.median.units, s.median.decimals + shift}),
            reading::roundedText(s.standardDeviation * scale, meanPlaces + shift)};
}

QByteArray textReport(const analysis::Summary &r, const analysis::Summary &v,
                      const std::vector<std::size_t> &bins)
{
    QByteArray text = "readings      " + QByteArray::number(qulonglong(r.count)) + "\n\n";
    text += "              minimum     maximum     mean        median      std. deviation\n";
    const QByteArray resistanceName = QByteArray("resistance/m") + reading::kOhmUtf8;
    for (const auto &[name, f] : {std::pair{resistanceName, figures(r, 3, 4)},
                                  {QByteArray("voltage/V"), figures(v, 6, 4)}}) {
        text += column(name, 14);
        for (qsizetype i = 0; i < f.size(); ++i)
            text += i + 1 < f.size() ? column(f[i], 12) : f[i] + '\n';
    }

    text += '\n' + resistanceName + '\n';
    const std::size_t most = *std::max_element(bins.begin(), bins.end());
    const double width = double(r.maximum - r.minimum) / kBins;
    QList<QByteArray> edges;
    for (int b = 0; b <= kBins; ++b)
        edges << QByteArray::number((double(r.minimum) + b * width) / 1000, 'f', 3);
    qsizetype edgeWidth = 0;
    for (const QByteArray &e : edges)
        edgeWidth = std::max(edgeWidth, e.size());
    for (int b = 0; b < kBins; ++b) {
        const std::size_t n = bins[std::size_t(b)];
        const int bar = n == 0 ? 0 : std::max(1, int(double(n) * kBarWidth / double(most) + 0.5));
        text += "  " + edges[b].rightJustified(edgeWidth) + " - "
            + edges[b + 1].rightJustified(edgeWidth) + "  "
            + QByteArray(bar, '#').leftJustified(kBarWidth) + "  "
            + QByteArray::number(qulonglong(n)) + '\n';
    }
    return text;
}

const std::vector<tables::Column> kFigureColumns = {{"minimum", tables::Kind::Number},
                                                    {"maximum", tables::Kind::Number},
                                                    {"mean", tables::Kind::Number},
                                                    {"median", tables::Kind::Number},
                                                    {"standard_deviation", tables::Kind::Number}};

void writeFigures(tables::Writer &table, const QList<QByteArray> &f)
{
    for (const QByteArray &figure : f)
        table.number(figure);
}

// Ohms and volts, as convert gives them.
QByteArray csvReport(const analysis::Summary &r, const analysis::Summary &v)
{
    std::vector<tables::Column> columns = {{"quantity", tables::Kind::Text},
                                           {"count", tables::Kind::Number}};
    columns.insert(columns.end(), kFigureColumns.begin(), kFigureColumns.end());
    tables::Writer table(Format::Csv, std::move(columns));
    for (const auto &[name, f] :
         {std::pair{"resistance_ohm", figures(r, 3, 4, 3)}, {"voltage_v", figures(v, 6, 4)}}) {
        table.text(name).number(qsizetype(r.count));
        writeFigures(table, f);
        table.endRow();
    }
    return table.finish();
}

QByteArray jsonReport(const analysis::Summary &r, const analysis::Summary &v,
                      const std::vector<std::size_t> &bins)
{
    const auto object = [](const QList<QByteArray> &f) {
        tables::Writer figuresObject(Format::Json, kFigureColumns, tables::Shape::Object,
                                     tables::Place::Value);
        writeFigures(figuresObject, f);
        figuresObject.endRow();
        return figuresObject.finish();
    };
    tables::Writer histogram(Format::Json,
                             {{"from_ohm", tables::Kind::Number},
                              {"to_ohm", tables::Kind::Number},
                              {"count", tables::Kind::Number}},
                             tables::Shape::Table, tables::Place::Value);
    const double width = double(r.maximum - r.minimum) / kBins;
    for (int b = 0; b < kBins; ++b) {
        histogram.real((double(r.minimum) + b * width) / 1e6)
            .real((double(r.minimum) + (b + 1) * width) / 1e6)
            .number(qsizetype(bins[std::size_t(b)]))
            .endRow();
    }
    tables::Writer report(Format::Json,
                          {{"readings", tables::Kind::Number},
                           {"resistance_ohm", tables::Kind::Json},
                           {"voltage_v", tables::Kind::Json},
                           {"histogram", tables::Kind::Json}},
                          tables::Shape::Object);
    report.number(qsizetype(r.count))
        .json(object(figures(r, 3, 4, 3)))
        .json(object(figures(v, 6, 4)))
        .json(histogram.finish())
        .endRow();
    return report.finish();
}

} // namespace

int runStats(const Invocation &inv)
{
    // Counted by distinct value: a file of any length takes the same room.
    analysis::Tally microohms, microvolts;
    const InterruptCatcher interrupt;
    forEachReading(
        inv.files, inv.strict,
        [&](int, int, const reading::Reading &r) {
            microohms.add(r.microohms());
            microvolts.add(r.microvolts());
        },
        printMessage);
    const std::size_t count = microohms.count();
    if (count == 0 && !InterruptCatcher::caught())
        throw ENoReadings(QStringLiteral("no readings in %1").arg(inv.files.join(", ")));

    if (count > 0) {
        const std::vector<std::size_t> bins = analysis::histogram(microohms, kBins);
        // Micro-ohms are thousandths of a milliohm.
        const analysis::Summary r = analysis::summarize(microohms, 3);
        const analysis::Summary v = analysis::summarize(microvolts, 6);
        writeWhole(inv.output,
                   inv.format == Format::Csv        ? csvReport(r, v)
                       : inv.format == Format::Json ? jsonReport(r, v, bins)
                                                    : textReport(r, v, bins));
    }
    return interruptedExit(count);
}

} // namespace cli
