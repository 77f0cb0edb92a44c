#include "report/html_report.h"

#include "report/captions.h"
#include "report/charts.h"
#include "report/errors.h"
#include "report/report_style.h"
#include "report/svg.h"
#include "report/units.h"

#include "analysis/statistics.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <map>

namespace report {

namespace {

constexpr std::size_t kListedFailures = 200;
constexpr std::size_t kGroupsPerFigure = 8;

QString cellText(const QString &id, const QString &text)
{
    return QStringLiteral("<td id=\"%1\">%2</td>").arg(id, escaped(text));
}

// One row of the summary: the texts come exact or rounded as the tool's stats prints them.
struct StatRow {
    QString id;
    QString name;
    QString minimum, maximum, mean, median, deviation;
};

QString statRow(const StatRow &r)
{
    return QStringLiteral("<tr><td class=\"text\">%1</td>").arg(escaped(r.name))
        + cellText(r.id + "-minimum", r.minimum) + cellText(r.id + "-maximum", r.maximum)
        + cellText(r.id + "-mean", r.mean) + cellText(r.id + "-median", r.median)
        + cellText(r.id + "-deviation", r.deviation) + QStringLiteral("</tr>\n");
}

// Whole numbers of 10^-places of the unit, as resistances (places 3: milliohms from
// micro-ohms), voltages and capacities are held.
StatRow exactRow(const QString &id, const QString &name, std::vector<std::int64_t> values,
                 int places, int meanPlaces)
{
    const analysis::Summary s = analysis::summarize(std::move(values), places);
    const auto text = [](const QByteArray &t) { return QString::fromLatin1(t); };
    return {id,
            name,
            text(reading::decimalText({s.minimum, places})),
            text(reading::decimalText({s.maximum, places})),
            text(reading::roundedText(s.mean, meanPlaces)),
            text(reading::decimalText(s.median)),
            text(reading::roundedText(s.standardDeviation, meanPlaces))};
}

StatRow dischargeRow(const QString &name, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v)
        sum += x;
    const double mean = sum / double(v.size());
    double squares = 0;
    for (double x : v)
        squares += (x - mean) * (x - mean);
    const std::size_t mid = v.size() / 2;
    const double median = v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
    return {QStringLiteral("self-discharge"),
            name,
            roundedNumber(v.front(), 2),
            roundedNumber(v.back(), 2),
            roundedNumber(mean, 3),
            roundedNumber(median, 3),
            roundedNumber(std::sqrt(squares / double(v.size())), 3)};
}

// The rule as the page's element ids name it, in no language.
QString ruleId(analysis::Rule rule)
{
    switch (rule) {
    case analysis::Rule::Resistance: return QStringLiteral("resistance");
    case analysis::Rule::SelfDischarge: return QStringLiteral("self-discharge");
    case analysis::Rule::MinVoltage:
    case analysis::Rule::MaxVoltage: return QStringLiteral("voltage");
    case analysis::Rule::Capacity: break;
    }
    return QStringLiteral("capacity");
}

class Writer {
public:
    Writer(const Batch &batch, const Captions &c) : batch_(batch), c_(c) { }

    QString html()
    {
        out_.reserve(qsizetype(batch_.cells.size()) * 260 + 20'000);
        out_ += QStringLiteral(
                    "<!DOCTYPE html>\n<html lang=\"%1\"><head><meta charset=\"utf-8\">"
                    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                    "style-src 'unsafe-inline'\">"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                    "<title>%2</title><style>%3%4</style></head>\n<body>\n")
                    .arg(c_.language, escaped(c_.title), QString::fromUtf8(kReportStyle),
                         QString::fromUtf8(kChartStyle));
        out_ += QStringLiteral("<h1>%1</h1>\n<p class=\"source\">%2: %3</p>\n")
                    .arg(escaped(c_.title), escaped(c_.cellsFrom), escaped(batch_.source));
        summary();
        histograms();
        charts();
        if (batch_.pack)
            pack(*batch_.pack);
        // Last, as it can be long: the pictures come first.
        failures(failing_);
        retiredCells();
        out_ += QStringLiteral("</body></html>\n");
        return out_;
    }

    // The report's opening: its summary and the two histograms, for a page of another's.
    QString opening()
    {
        summary();
        histograms();
        return out_;
    }

private:
    void summary()
    {
        std::size_t passing = 0, retired = 0;
        // By the rule's id, so that the rows keep one order whatever the language.
        std::map<QString, std::pair<analysis::Rule, std::size_t>> byRule;
        for (const Cell &cell : batch_.cells) {
            passing += cell.pass ? 1 : 0;
            // A retired cell is counted apart, neither a pass nor a failure.
            if (cell.retired) {
                ++retired;
                continue;
            }
            for (const analysis::Failure &f : cell.failures)
                ++byRule.try_emplace(ruleId(f.rule), f.rule, 0).first->second.second;
        }
        out_ +=
            QStringLiteral(
                "<section id=\"summary\"><h2>%1</h2>\n<table "
                "id=\"counts\"><caption class=\"unseen\">%2</caption><tr><th>%2</th><th></th></tr>")
                .arg(escaped(c_.summary), escaped(c_.counts));
        const auto countRow = [&](const QString &id, const QString &name, std::size_t n) {
            out_ += QStringLiteral("<tr><td class=\"text\">%1</td>").arg(escaped(name))
                + cellText(id, QString::number(n)) + QStringLiteral("</tr>");
        };
        countRow(QStringLiteral("count-all"), c_.all, batch_.cells.size());
        countRow(QStringLiteral("count-pass"), c_.pass, passing);
        countRow(QStringLiteral("count-fail"), c_.fail, batch_.cells.size() - passing - retired);
        for (const auto &[id, counted] : byRule)
            countRow(QStringLiteral("count-fail-") + id,
                     c_.fail + QStringLiteral(": ") + c_.ruleName(counted.first), counted.second);
        if (retired > 0)
            countRow(QStringLiteral("count-retired"), c_.retired, retired);
        out_ += QStringLiteral("</table>\n");

        // Named for a screen reader by what it holds; sighted readers see the header row.
        const QString statistics =
            QStringList{c_.minimum, c_.maximum, c_.mean, c_.median, c_.standardDeviation}.join(
                QStringLiteral(", "));
        out_ += QStringLiteral(
                    "<table id=\"statistics\"><caption class=\"unseen\">%7</caption><tr><th>%1</th>"
                    "<th>%2</th><th>%3</th><th>%4</th><th>%5</th><th>%6</th></tr>\n")
                    .arg(escaped(c_.quantity), escaped(c_.minimum), escaped(c_.maximum),
                         escaped(c_.mean), escaped(c_.median), escaped(c_.standardDeviation),
                         escaped(statistics));
        std::vector<std::int64_t> microohms, microvolts, capacities;
        std::vector<double> discharges;
        for (const Cell &cell : batch_.cells) {
            microohms.push_back(cell.microohms());
            microvolts.push_back(cell.microvolts());
            if (cell.capacityMicroampHours)
                capacities.push_back(*cell.capacityMicroampHours);
            if (cell.selfDischargeMvPerDay)
                discharges.push_back(*cell.selfDischargeMvPerDay);
        }
        if (!batch_.cells.empty()) {
            out_ += statRow(exactRow(QStringLiteral("resistance"),
                                     c_.resistance + QStringLiteral(" (m\u03A9)"),
                                     std::move(microohms), 3, 4));
            out_ += statRow(exactRow(QStringLiteral("voltage"), c_.voltage + QStringLiteral(" (V)"),
                                     std::move(microvolts), 6, 4));
        }
        if (!capacities.empty())
            out_ +=
                statRow(exactRow(QStringLiteral("capacity"), c_.capacity + QStringLiteral(" (mAh)"),
                                 std::move(capacities), 3, 1));
        if (!discharges.empty())
            out_ += statRow(dischargeRow(c_.selfDischarge + QStringLiteral(" (mV/day)"),
                                         std::move(discharges)));
        out_ += QStringLiteral("</table>\n");
        rules();
        out_ += QStringLiteral("</section>\n");
        failing_ = batch_.cells.size() - passing - retired;
        retired_ = retired;
    }

    void rules()
    {
        const analysis::Rules &r = batch_.rules;
        QStringList items;
        if (r.maxMicroohms)
            items << c_.maxResistance + QStringLiteral(": ") + milliohmText(*r.maxMicroohms);
        if (r.maxSelfDischargeMvPerDay)
            items << c_.maxSelfDischarge + QStringLiteral(": ")
                    + roundedNumber(*r.maxSelfDischargeMvPerDay, 3) + QStringLiteral(" mV/day");
        if (r.minCapacityMicroampHours)
            items << c_.minCapacity + QStringLiteral(": ")
                    + milliampHourText(*r.minCapacityMicroampHours);
        if (r.minMicrovolts)
            items << c_.minVoltage + QStringLiteral(": ") + voltText(*r.minMicrovolts);
        if (r.maxMicrovolts)
            items << c_.maxVoltage + QStringLiteral(": ") + voltText(*r.maxMicrovolts);
        if (batch_.rested)
            items << c_.minDays + QStringLiteral(": %1 d").arg(roundedNumber(r.minDays, 3));
        out_ += QStringLiteral("<h2>%1</h2>\n<ul id=\"rules\">").arg(escaped(c_.rules));
        if (items.isEmpty())
            items << c_.noRules;
        for (const QString &item : items)
            out_ += QStringLiteral("<li>%1</li>").arg(escaped(item));
        out_ += QStringLiteral("</ul>\n");
    }

    void failures(std::size_t failing)
    {
        if (failing == 0)
            return;
        out_ += QStringLiteral("<h2>%1</h2>\n<table id=\"failing\"><tr><th>%2</th><th>%3</th></tr>")
                    .arg(escaped(c_.failingCells), escaped(c_.cell), escaped(c_.reasons));
        std::size_t listed = 0;
        for (const Cell &cell : batch_.cells) {
            if (cell.pass || cell.retired)
                continue;
            if (listed++ == kListedFailures)
                break;
            QStringList reasons;
            for (const analysis::Failure &f : cell.failures)
                reasons << c_.failureText(f, batch_.rules);
            out_ += QStringLiteral("<tr><td class=\"text\">%1</td><td class=\"text\">%2</td></tr>")
                        .arg(escaped(cell.label), escaped(reasons.join(QStringLiteral("; "))));
        }
        out_ += QStringLiteral("</table>\n");
        if (failing > kListedFailures)
            out_ += QStringLiteral("<p>%1</p>\n")
                        .arg(escaped(c_.andMore.arg(failing - kListedFailures)));
    }

    // The retired cells apart from the failing ones, each with why it was retired.
    void retiredCells()
    {
        if (retired_ == 0)
            return;
        out_ += QStringLiteral("<h2>%1</h2>\n<table id=\"retired\"><tr><th>%2</th><th>%3</th></tr>")
                    .arg(escaped(c_.retiredCells), escaped(c_.cell), escaped(c_.retiredWhy));
        std::size_t listed = 0;
        for (const Cell &cell : batch_.cells) {
            if (!cell.retired)
                continue;
            if (listed++ == kListedFailures)
                break;
            out_ += QStringLiteral("<tr><td class=\"text\">%1</td><td class=\"text\">%2</td></tr>")
                        .arg(escaped(cell.label), escaped(*cell.retired));
        }
        out_ += QStringLiteral("</table>\n");
        if (retired_ > kListedFailures)
            out_ += QStringLiteral("<p>%1</p>\n")
                        .arg(escaped(c_.andMore.arg(retired_ - kListedFailures)));
    }

    void figure(const QString &id, const QString &caption, const QString &svg)
    {
        out_ += QStringLiteral("<figure id=\"%1\"><figcaption>%2</figcaption>\n")
                    .arg(id, escaped(caption))
            + svg + QStringLiteral("</figure>\n");
    }

    void histograms()
    {
        if (batch_.cells.empty())
            return;
        std::vector<std::int64_t> microohms, microvolts;
        for (const Cell &cell : batch_.cells) {
            microohms.push_back(cell.microohms());
            microvolts.push_back(cell.microvolts());
        }
        const analysis::Rules &r = batch_.rules;
        figure(
            QStringLiteral("figure-resistance"), c_.resistanceChart,
            histogramChart(microohms,
                           {QStringLiteral("resistance-histogram"), c_.resistanceAxis,
                            QStringLiteral("m\u03A9"), 1000, r.maxMicroohms,
                            r.maxMicroohms ? c_.maxResistance + u' ' + milliohmText(*r.maxMicroohms)
                                           : QString()},
                           c_));
        figure(QStringLiteral("figure-voltage"), c_.voltageChart,
               histogramChart(microvolts,
                              {QStringLiteral("voltage-histogram"), c_.voltageAxis,
                               QStringLiteral("V"), 1'000'000, std::nullopt, QString()},
                              c_));
    }

    void charts()
    {
        if (batch_.cells.empty())
            return;
        const analysis::Rules &r = batch_.rules;
        figure(QStringLiteral("figure-resistance-voltage"), c_.scatterChart,
               scatterChart(batch_.cells, r, c_));
        const QString discharge = dischargeChart(batch_.cells, r, c_);
        if (discharge.isEmpty())
            out_ += QStringLiteral("<h2>%1</h2>\n<p id=\"no-self-discharge\">%2</p>\n")
                        .arg(escaped(c_.dischargeChart), escaped(c_.noDischarge));
        else
            figure(QStringLiteral("figure-self-discharge"), c_.dischargeChart, discharge);
    }

    void pack(const Pack &pack)
    {
        QHash<QString, const Cell *> byLabel;
        for (const Cell &cell : batch_.cells)
            byLabel.insert(cell.label, &cell);
        PackCells groups;
        std::size_t parallel = 0;
        for (const QStringList &labels : pack.groups) {
            groups.emplace_back();
            for (const QString &label : labels) {
                const Cell *cell = byLabel.value(label);
                if (!cell)
                    throw EUnknownPackCell(
                        QStringLiteral(
                            "pack %1 holds cell %2, which is not among the cells of the report")
                            .arg(pack.name, label));
                groups.back().push_back(cell);
            }
            parallel = std::max(parallel, std::size_t(labels.size()));
        }
        if (groups.empty())
            return;
        const std::vector<GroupTotals> totals = groupTotals(groups);
        const QString caption =
            c_.packChart.arg(pack.name, QString::number(groups.size()), QString::number(parallel));
        out_ += QStringLiteral("<section id=\"pack\"><h2>%1</h2>\n").arg(escaped(caption));
        // A few groups a figure, so that no figure is taller than a printed page.
        for (std::size_t first = 0; first < groups.size(); first += kGroupsPerFigure) {
            const std::size_t last = std::min(groups.size(), first + kGroupsPerFigure) - 1;
            figure(QStringLiteral("figure-pack-%1").arg(first / kGroupsPerFigure + 1),
                   c_.packGroups.arg(first + 1).arg(last + 1),
                   packChart(groups, totals, first, last, c_));
        }
        spreads(groups, totals);
        out_ += QStringLiteral("</section>\n");
    }

    void spreads(const PackCells &groups, const std::vector<GroupTotals> &totals)
    {
        out_ += QStringLiteral("<h2>%1</h2>\n<table id=\"spreads\">").arg(escaped(c_.spreads));
        const auto row = [&](const QString &id, const QString &name, const QString &value,
                             double percent) {
            out_ += QStringLiteral("<tr><td class=\"text\">%1</td>").arg(escaped(name))
                + cellText(id, value)
                + cellText(id + QStringLiteral("-percent"),
                           c_.ofMean.arg(roundedNumber(percent, 3)))
                + QStringLiteral("</tr>");
        };
        const bool capacities = std::all_of(totals.begin(), totals.end(), [](const GroupTotals &t) {
            return bool(t.capacityMicroampHours);
        });
        if (capacities) {
            std::int64_t lo = INT64_MAX, hi = INT64_MIN, sum = 0;
            for (const GroupTotals &t : totals) {
                lo = std::min(lo, *t.capacityMicroampHours);
                hi = std::max(hi, *t.capacityMicroampHours);
                sum += *t.capacityMicroampHours;
            }
            const double mean = double(sum) / double(totals.size());
            row(QStringLiteral("spread-capacity"), c_.capacitySumSpread, milliampHourText(hi - lo),
                mean > 0 ? 100.0 * double(hi - lo) / mean : 0);
        }
        double lo = 1e300, hi = -1e300, sum = 0;
        for (const GroupTotals &t : totals) {
            lo = std::min(lo, t.parallelOhms);
            hi = std::max(hi, t.parallelOhms);
            sum += t.parallelOhms;
        }
        const double mean = sum / double(totals.size());
        row(QStringLiteral("spread-resistance"), c_.parallelResistanceSpread,
            roundedNumber((hi - lo) * 1000, 4) + QStringLiteral(" m\u03A9"),
            mean > 0 ? 100.0 * (hi - lo) / mean : 0);
        std::int64_t vlo = INT64_MAX, vhi = INT64_MIN, vsum = 0, n = 0;
        for (const auto &group : groups)
            for (const Cell *cell : group) {
                vlo = std::min(vlo, cell->microvolts());
                vhi = std::max(vhi, cell->microvolts());
                vsum += cell->microvolts();
                ++n;
            }
        row(QStringLiteral("spread-voltage"), c_.voltageSpread, voltText(vhi - vlo),
            vsum > 0 ? 100.0 * double(vhi - vlo) * double(n) / double(vsum) : 0);
        out_ += QStringLiteral("</table>\n");
    }

    const Batch &batch_;
    const Captions &c_;
    QString out_;
    std::size_t failing_ = 0;
    std::size_t retired_ = 0;
};

} // namespace

QByteArray reportHtml(const Batch &batch, Language language)
{
    return Writer(batch, captions(language)).html().toUtf8();
}

QString openingHtml(const Batch &batch, Language language)
{
    return Writer(batch, captions(language)).opening();
}

} // namespace report
