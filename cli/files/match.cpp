#include "analysis/matching.h"
#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/input_files.h"
#include "cli/common/output.h"
#include "cli/files/commands.h"
#include "cli/tables/table_writer.h"
#include "reading/line_format.h"

#include <algorithm>
#include <cmath>

namespace cli {

namespace {

// A reading kept for the report: where it came from and how it was shown.
struct SourcedCell {
    int file = 0;
    int line = 0;
    int group = 0;
    reading::Decimal ohms;
    reading::Decimal volts;
    QByteArray resistanceText; // UTF-8
    QByteArray voltageText;
};

// Decimals of mΩ that group resistances carry: those of the finest reading, and one more
// for each factor of ten that parallel cells divide the resistance by.
int groupDecimals(const std::vector<SourcedCell> &cells, int parallel)
{
    int decimals = 0;
    for (const SourcedCell &c : cells)
        decimals = std::max(decimals, c.ohms.decimals - 3);
    return decimals + int(std::ceil(std::log10(double(parallel)) - 1e-9));
}

class Report {
public:
    Report(const Invocation &inv, const std::vector<SourcedCell> &cells,
           const std::vector<analysis::Cell> &values, const analysis::PackMatch &m, int decimals)
        : inv_(inv), cells_(cells), values_(values), m_(m), decimals_(decimals)
    { }

    QByteArray text() const
    {
        QByteArray t = QByteArray::number(inv_.series) + "S" + QByteArray::number(inv_.parallel)
            + "P from " + QByteArray::number(qulonglong(cells_.size())) + " cells, voltages within "
            + reading::decimalText({inv_.maxVoltageSpreadMicrovolts, 6}) + " V\n";
        t += "spread " + milliohms(m_.spread.ohms) + " ("
            + QByteArray::number(m_.spread.percentOfMean(), 'g', 4)
            + " % of the mean group resistance " + milliohms(m_.spread.meanOhms) + ")\n";
        for (std::size_t g = 0; g < m_.groups.size(); ++g) {
            const auto [lo, hi] = voltageRange(m_.groups[g].cells);
            t += "\ngroup " + QByteArray::number(qulonglong(g + 1)) + ": "
                + milliohms(m_.groups[g].ohms) + ", " + reading::decimalText({lo, 6}) + " V to "
                + reading::decimalText({hi, 6}) + " V\n";
            for (std::size_t c : m_.groups[g].cells)
                t += cellText(c);
        }
        t += "\ncells left out: " + QByteArray::number(qulonglong(m_.leftOut.size())) + '\n';
        if (inv_.verbose)
            for (std::size_t c : m_.leftOut)
                t += cellText(c);
        return t;
    }

    QByteArray json() const
    {
        using tables::Kind;
        tables::Writer groups(Format::Json,
                              {{"resistance_ohm", Kind::Number},
                               {"voltage_min_v", Kind::Number},
                               {"voltage_max_v", Kind::Number},
                               {"cells", Kind::Json}},
                              tables::Shape::Table, tables::Place::Value);
        for (const analysis::CellGroup &g : m_.groups) {
            const auto [lo, hi] = voltageRange(g.cells);
            groups.real(g.ohms).number({lo, 6}).number({hi, 6}).json(
                cellsJson(g.cells, tables::Place::ValueInRow));
            groups.endRow();
        }
        tables::Writer result(Format::Json,
                              {{"series", Kind::Number},
                               {"parallel", Kind::Number},
                               {"max_voltage_spread_v", Kind::Number},
                               {"cells", Kind::Number},
                               {"spread_ohm", Kind::Number},
                               {"spread_percent", Kind::Number},
                               {"mean_group_ohm", Kind::Number},
                               {"groups", Kind::Json},
                               {"left_out", Kind::Json}},
                              tables::Shape::Object);
        result.number(inv_.series).number(inv_.parallel);
        result.number({inv_.maxVoltageSpreadMicrovolts, 6}).number(qsizetype(cells_.size()));
        result.real(m_.spread.ohms).real(m_.spread.percentOfMean()).real(m_.spread.meanOhms);
        result.json(groups.finish()).json(cellsJson(m_.leftOut)).endRow();
        return result.finish();
    }

private:
    QByteArray milliohms(double ohms) const
    {
        return QByteArray::number(ohms * 1000, 'f', decimals_) + " m" + reading::kOhmUtf8;
    }

    std::pair<std::int64_t, std::int64_t> voltageRange(const std::vector<std::size_t> &group) const
    {
        std::int64_t lo = values_[group.front()].microvolts, hi = lo;
        for (std::size_t c : group) {
            lo = std::min(lo, values_[c].microvolts);
            hi = std::max(hi, values_[c].microvolts);
        }
        return {lo, hi};
    }

    QByteArray cellText(std::size_t i) const
    {
        const SourcedCell &c = cells_[i];
        return "  " + inv_.files[c.file].toUtf8() + ':' + QByteArray::number(c.line) + "  Group "
            + QByteArray::number(c.group) + "  " + c.resistanceText + "  " + c.voltageText + '\n';
    }

    QByteArray cellsJson(const std::vector<std::size_t> &indices,
                         tables::Place place = tables::Place::Value) const
    {
        using tables::Kind;
        tables::Writer list(Format::Json,
                            {{"file", Kind::Text},
                             {"line", Kind::Number},
                             {"group", Kind::Number},
                             {"resistance_ohm", Kind::Number},
                             {"voltage_v", Kind::Number}},
                            tables::Shape::Table, place);
        for (std::size_t i : indices) {
            const SourcedCell &c = cells_[i];
            list.text(inv_.files[c.file]).number(c.line).number(c.group).number(c.ohms);
            list.number(c.volts).endRow();
        }
        return list.finish();
    }

    const Invocation &inv_;
    const std::vector<SourcedCell> &cells_;
    const std::vector<analysis::Cell> &values_;
    const analysis::PackMatch &m_;
    int decimals_;
};

} // namespace

int runMatch(const Invocation &inv)
{
    std::vector<SourcedCell> cells;
    std::vector<analysis::Cell> values;
    forEachReading(
        inv.files, inv.strict,
        [&](int file, int line, const reading::Reading &r) {
            cells.push_back({file, line, r.group, r.ohms(), r.volts(),
                             reading::resistanceText(r, reading::kOhmUtf8),
                             reading::voltageText(r)});
            values.push_back({r.microohms(), r.microvolts()});
        },
        printMessage);
    if (cells.empty())
        throw ENoReadings(QStringLiteral("no readings in %1").arg(inv.files.join(", ")));

    const int decimals = groupDecimals(cells, inv.parallel);
    const analysis::PackMatch m = analysis::matchCells(
        values, {inv.series, inv.parallel, inv.maxVoltageSpreadMicrovolts},
        {inv.rules.maxMicroohms.value_or(0), inv.preferLow, std::pow(10.0, -3 - decimals)});
    const Report report(inv, cells, values, m, decimals);
    writeWhole(inv.output, inv.format == Format::Json ? report.json() : report.text());
    return kExitOk;
}

} // namespace cli
