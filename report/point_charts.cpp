#include "report/charts.h"
#include "report/svg.h"
#include "report/units.h"

#include <algorithm>

namespace report {

namespace {

// Above this many points the marks get smaller, so that a crowd still shows its shape.
constexpr std::size_t kCrowd = 1500;

// A dot for a passing cell, a cross for a failing one; the hover text names the cell.
void appendMark(QString &svg, double x, double y, bool pass, const QString &title,
                bool small = false)
{
    if (pass)
        svg += QStringLiteral(
                   "<circle class=\"pass\" cx=\"%1\" cy=\"%2\" r=\"%3\"><title>%4</title></circle>")
                   .arg(coordinate(x), coordinate(y),
                        small ? QStringLiteral("1.5") : QStringLiteral("3"), title);
    else
        svg += QStringLiteral("<path class=\"fail\" d=\"M%1 %2%3\"><title>%4</title></path>")
                   .arg(coordinate(x), coordinate(y),
                        small ? QStringLiteral("m-2-2l4 4m0-4l-4 4")
                              : QStringLiteral("m-3.5-3.5l7 7m0-7l-7 7"),
                        title);
}

QString cellTitle(const Cell &cell, const analysis::Rules &rules, const Captions &c)
{
    QString t = cell.label + QStringLiteral(": ") + milliohmText(cell.microohms())
        + QStringLiteral(", ") + voltText(cell.microvolts());
    if (cell.capacityMicroampHours)
        t += QStringLiteral(", ") + milliampHourText(*cell.capacityMicroampHours);
    if (cell.selfDischargeMvPerDay)
        t += QStringLiteral(", %1 mV/day").arg(roundedNumber(*cell.selfDischargeMvPerDay, 2));
    t += QStringLiteral(", ") + (cell.pass ? c.pass : c.fail);
    for (const analysis::Failure &f : cell.failures)
        t += QStringLiteral("; ") + c.failureText(f, rules);
    return escaped(t);
}

void appendLegend(QString &svg, const Captions &c)
{
    const double y = Plot::kHeight - 12;
    appendMark(svg, Plot::kRight - 150, y - 4, true, c.pass);
    svg += QStringLiteral("<text class=\"legend\" x=\"%1\" y=\"%2\">%3</text>")
               .arg(coordinate(Plot::kRight - 142), coordinate(y), escaped(c.pass));
    appendMark(svg, Plot::kRight - 70, y - 4, false, c.fail);
    svg += QStringLiteral("<text class=\"legend\" x=\"%1\" y=\"%2\">%3</text>")
               .arg(coordinate(Plot::kRight - 62), coordinate(y), escaped(c.fail));
}

} // namespace

QString scatterChart(const std::vector<Cell> &cells, const analysis::Rules &rules,
                     const Captions &c)
{
    std::int64_t loV = INT64_MAX, hiV = INT64_MIN, loR = INT64_MAX, hiR = INT64_MIN;
    for (const Cell &cell : cells) {
        loV = std::min(loV, cell.microvolts());
        hiV = std::max(hiV, cell.microvolts());
        loR = std::min(loR, cell.microohms());
        hiR = std::max(hiR, cell.microohms());
    }
    if (rules.maxMicroohms) {
        loR = std::min(loR, *rules.maxMicroohms);
        hiR = std::max(hiR, *rules.maxMicroohms);
    }
    Plot plot(QStringLiteral("resistance-voltage"), c.scatterChart, roundAxis(loV / 1e6, hiV / 1e6),
              roundAxis(loR / 1e3, hiR / 1e3));
    plot.axes(c.voltageAxis, c.resistanceAxis);
    QString &svg = plot.body();
    svg.reserve(svg.size() + qsizetype(cells.size()) * 110);
    // Failing cells last, so that a cross is never hidden under a dot.
    for (bool pass : {true, false}) {
        svg += pass ? QStringLiteral("<g class=\"points pass\">")
                    : QStringLiteral("<g class=\"points fail\">");
        for (const Cell &cell : cells)
            if (cell.pass == pass)
                appendMark(svg, plot.x(cell.microvolts() / 1e6), plot.y(cell.microohms() / 1e3),
                           pass, cellTitle(cell, rules, c), cells.size() > kCrowd);
        svg += QStringLiteral("</g>\n");
    }
    if (rules.maxMicroohms)
        plot.horizontalLimit(*rules.maxMicroohms / 1e3,
                             c.maxResistance + u' ' + milliohmText(*rules.maxMicroohms));
    appendLegend(svg, c);
    return plot.finish();
}

QString dischargeChart(const std::vector<Cell> &cells, const analysis::Rules &rules,
                       const Captions &c)
{
    std::vector<const Cell *> known;
    for (const Cell &cell : cells)
        if (cell.selfDischargeMvPerDay)
            known.push_back(&cell);
    if (known.empty())
        return QString();
    std::stable_sort(known.begin(), known.end(), [](const Cell *a, const Cell *b) {
        return *a->selfDischargeMvPerDay < *b->selfDischargeMvPerDay;
    });
    double low = std::min(0.0, *known.front()->selfDischargeMvPerDay);
    double high = *known.back()->selfDischargeMvPerDay;
    if (rules.maxSelfDischargeMvPerDay)
        high = std::max(high, *rules.maxSelfDischargeMvPerDay);
    Plot plot(QStringLiteral("self-discharge"), c.dischargeChart,
              roundAxis(1, double(std::max<std::size_t>(known.size(), 2))), roundAxis(low, high));
    plot.axes(c.dischargeRankAxis, c.dischargeAxis);
    QString &svg = plot.body();
    svg += QStringLiteral("<g class=\"points\">");
    for (std::size_t i = 0; i < known.size(); ++i)
        appendMark(svg, plot.x(double(i + 1)), plot.y(*known[i]->selfDischargeMvPerDay),
                   known[i]->pass, cellTitle(*known[i], rules, c), known.size() > kCrowd);
    svg += QStringLiteral("</g>\n");
    if (rules.maxSelfDischargeMvPerDay)
        plot.horizontalLimit(*rules.maxSelfDischargeMvPerDay,
                             c.maxSelfDischarge + u' '
                                 + roundedNumber(*rules.maxSelfDischargeMvPerDay, 2)
                                 + QStringLiteral(" mV/day"));
    appendLegend(svg, c);
    return plot.finish();
}

} // namespace report
