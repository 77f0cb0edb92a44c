#include "analysis/matching.h"
#include "cli/errors.h"
#include "cli/exit_codes.h"
#include "cli/input_files.h"
#include "cli/output.h"
#include "cli/rows.h"
#include "cli/subcommands.h"

#include <algorithm>

namespace cli {

namespace {

// A reading kept for the report: where it came from and how it was shown.
struct SourcedCell {
    int file = 0;
    int line = 0;
    int group = 0;
    analysis::Decimal ohms;
    analysis::Decimal volts;
    QByteArray resistanceText; // UTF-8
    QByteArray voltageText;
};

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 10);
}

QByteArray milliohms(double ohms)
{
    return QByteArray::number(ohms * 1000, 'f', 6) + " m" + reading::kOhmUtf8;
}

class Report {
public:
    Report(const Invocation &inv, const std::vector<SourcedCell> &cells, const std::vector<analysis::Cell> &values,
           const analysis::PackMatch &m)
        : inv_(inv), cells_(cells), values_(values), m_(m)
    {
    }

    QByteArray text() const
    {
        QByteArray t = QByteArray::number(inv_.series) + "S" + QByteArray::number(inv_.parallel) + "P from " +
                       QByteArray::number(qulonglong(cells_.size())) + " cells, voltages within " +
                       analysis::decimalText({inv_.maxVoltageSpreadMicrovolts, 6}) + " V\n";
        t += "spread " + milliohms(m_.spread.ohms) + " (" + QByteArray::number(m_.spread.percentOfMean(), 'g', 4) +
             " % of the mean group resistance " + milliohms(m_.spread.meanOhms) + ")\n";
        for (std::size_t g = 0; g < m_.groups.size(); ++g) {
            const auto [lo, hi] = voltageRange(m_.groups[g].cells);
            t += "\ngroup " + QByteArray::number(qulonglong(g + 1)) + ": " + milliohms(m_.groups[g].ohms) + ", " +
                 analysis::decimalText({lo, 6}) + " V to " + analysis::decimalText({hi, 6}) + " V\n";
            for (std::size_t c : m_.groups[g].cells)
                t += cellText(c);
        }
        t += "\ncells left out: " + QByteArray::number(qulonglong(m_.leftOut.size())) + '\n';
        for (std::size_t c : m_.leftOut)
            t += cellText(c);
        return t;
    }

    QByteArray json() const
    {
        QByteArray j = "{\n  \"series\": " + QByteArray::number(inv_.series) + ",\n  \"parallel\": " +
                       QByteArray::number(inv_.parallel) + ",\n  \"max_voltage_spread_v\": " +
                       analysis::decimalText({inv_.maxVoltageSpreadMicrovolts, 6}) + ",\n  \"cells\": " +
                       QByteArray::number(qulonglong(cells_.size())) + ",\n  \"spread_ohm\": " + number(m_.spread.ohms) +
                       ",\n  \"spread_percent\": " + number(m_.spread.percentOfMean()) +
                       ",\n  \"mean_group_ohm\": " + number(m_.spread.meanOhms) + ",\n  \"groups\": [";
        for (std::size_t g = 0; g < m_.groups.size(); ++g) {
            const auto [lo, hi] = voltageRange(m_.groups[g].cells);
            j += g == 0 ? "\n" : ",\n";
            j += "    {\"resistance_ohm\": " + number(m_.groups[g].ohms) +
                 ", \"voltage_min_v\": " + analysis::decimalText({lo, 6}) +
                 ", \"voltage_max_v\": " + analysis::decimalText({hi, 6}) + ", \"cells\": [";
            bool first = true;
            for (std::size_t c : m_.groups[g].cells) {
                j += first ? "\n      " : ",\n      ";
                j += cellJson(c);
                first = false;
            }
            j += "\n    ]}";
        }
        j += "\n  ],\n  \"left_out\": [";
        bool first = true;
        for (std::size_t c : m_.leftOut) {
            j += first ? "\n    " : ",\n    ";
            j += cellJson(c);
            first = false;
        }
        j += first ? "]\n}\n" : "\n  ]\n}\n";
        return j;
    }

private:
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
        return "  " + inv_.files[c.file].toUtf8() + ':' + QByteArray::number(c.line) + "  Group " +
               QByteArray::number(c.group) + "  " + c.resistanceText + "  " + c.voltageText + '\n';
    }

    QByteArray cellJson(std::size_t i) const
    {
        const SourcedCell &c = cells_[i];
        return "{\"file\": " + jsonString(inv_.files[c.file].toUtf8()) + ", \"line\": " + QByteArray::number(c.line) +
               ", \"group\": " + QByteArray::number(c.group) + ", \"resistance_ohm\": " +
               analysis::decimalText(c.ohms) + ", \"voltage_v\": " + analysis::decimalText(c.volts) + "}";
    }

    const Invocation &inv_;
    const std::vector<SourcedCell> &cells_;
    const std::vector<analysis::Cell> &values_;
    const analysis::PackMatch &m_;
};

} // namespace

int runMatch(const Invocation &inv)
{
    std::vector<SourcedCell> cells;
    std::vector<analysis::Cell> values;
    forEachReading(
        inv.files, inv.strict,
        [&](int file, int line, const analysis::Reading &r) {
            cells.push_back({file, line, r.group, r.ohms(), r.volts(), analysis::resistanceTextUtf8(r),
                             reading::voltageText(r)});
            values.push_back({r.microohms(), r.microvolts()});
        },
        printMessage);
    if (cells.empty())
        throw ENoReadings(QStringLiteral("no readings in %1").arg(inv.files.join(", ")));

    const analysis::PackMatch m =
        analysis::matchCells(values, {inv.series, inv.parallel, inv.maxVoltageSpreadMicrovolts});
    const Report report(inv, cells, values, m);
    Output out(QString{});
    out.write(inv.format == Format::Json ? report.json() : report.text());
    out.finish();
    return kExitOk;
}

} // namespace cli
