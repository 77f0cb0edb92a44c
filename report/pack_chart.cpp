#include "report/charts.h"
#include "report/svg.h"
#include "report/units.h"

#include <algorithm>

namespace report {

namespace {

constexpr double kGroupColumn = 70;
constexpr double kCellWidth = 100;
constexpr double kRowHeight = 62;
constexpr double kTotalsColumn = 250;
constexpr double kSecondTotal = 110; // from the first
constexpr double kHeader = 24;

} // namespace

std::vector<GroupTotals> groupTotals(const PackCells &groups)
{
    std::vector<GroupTotals> totals;
    for (const auto &group : groups) {
        GroupTotals t;
        double siemens = 0;
        std::int64_t capacity = 0;
        bool allKnown = true;
        for (const Cell *cell : group) {
            siemens += cell->microohms() > 0 ? 1e6 / double(cell->microohms()) : 0;
            if (cell->capacityMicroampHours)
                capacity += *cell->capacityMicroampHours;
            else
                allKnown = false;
        }
        t.parallelOhms = siemens > 0 ? 1 / siemens : 0;
        if (allKnown && !group.empty())
            t.capacityMicroampHours = capacity;
        totals.push_back(t);
    }
    return totals;
}

QString packChart(const PackCells &groups, const std::vector<GroupTotals> &totals,
                  std::size_t first, std::size_t last, const Captions &c)
{
    std::size_t parallel = 1;
    for (const auto &group : groups)
        parallel = std::max(parallel, group.size());
    const double width = kGroupColumn + double(parallel) * kCellWidth + kTotalsColumn;
    const double height = kHeader + double(last - first + 1) * kRowHeight + 8;
    // As wide as drawn, or narrower to fit the page: never scaled up, so that the cells'
    // text keeps the size of the other charts' text.
    QString svg =
        QStringLiteral("<svg class=\"chart pack\" width=\"%1\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                       "xmlns=\"http://www.w3.org/2000/svg\">")
            .arg(coordinate(width), coordinate(height));
    svg += QStringLiteral("<text class=\"title\" x=\"4\" y=\"16\">%1</text>"
                          "<text class=\"title\" x=\"%2\" y=\"16\">%3</text>"
                          "<text class=\"title\" x=\"%2\" y=\"16\" dx=\"%4\">%5</text>\n")
               .arg(escaped(c.group), coordinate(width - kTotalsColumn + 8), escaped(c.capacitySum),
                    coordinate(kSecondTotal), escaped(c.parallelResistance));
    for (std::size_t g = first; g <= last; ++g) {
        const double top = kHeader + double(g - first) * kRowHeight;
        svg += QStringLiteral(
                   "<g class=\"group\"><text class=\"group-name\" x=\"4\" y=\"%1\">%2 %3</text>")
                   .arg(coordinate(top + kRowHeight / 2 + 4), escaped(c.group),
                        QString::number(g + 1));
        for (std::size_t p = 0; p < groups[g].size(); ++p) {
            const Cell &cell = *groups[g][p];
            const double left = kGroupColumn + double(p) * kCellWidth;
            QString title =
                QStringLiteral("%1: %2 %3 #%4, %5, %6")
                    .arg(cell.label, c.group, QString::number(g + 1), QString::number(p + 1),
                         milliohmText(cell.microohms()), voltText(cell.microvolts()));
            if (cell.capacityMicroampHours)
                title += QStringLiteral(", ") + milliampHourText(*cell.capacityMicroampHours);
            svg += QStringLiteral("<g class=\"cell %1\"><title>%2</title>"
                                  "<rect x=\"%3\" y=\"%4\" width=\"%5\" height=\"%6\" rx=\"4\"/>"
                                  "<text x=\"%7\" y=\"%8\" class=\"cell-label\">%9</text>")
                       .arg(cell.pass ? QStringLiteral("pass") : QStringLiteral("fail"),
                            escaped(title), coordinate(left + 2), coordinate(top + 2),
                            coordinate(kCellWidth - 4), coordinate(kRowHeight - 4),
                            coordinate(left + 8), coordinate(top + 17), escaped(cell.label));
            QStringList lines{milliohmText(cell.microohms()), voltText(cell.microvolts())};
            if (cell.capacityMicroampHours)
                lines << milliampHourText(*cell.capacityMicroampHours);
            for (int i = 0; i < lines.size(); ++i)
                svg += QStringLiteral("<text x=\"%1\" y=\"%2\">%3</text>")
                           .arg(coordinate(left + 8), coordinate(top + 31 + 12 * i),
                                escaped(lines[i]));
            svg += QStringLiteral("</g>");
        }
        const GroupTotals &t = totals[g];
        svg +=
            QStringLiteral("<text class=\"totals\" x=\"%1\" y=\"%2\">%3</text>"
                           "<text class=\"totals\" x=\"%1\" dx=\"%5\" y=\"%2\">%4</text></g>\n")
                .arg(coordinate(width - kTotalsColumn + 8), coordinate(top + kRowHeight / 2 + 4),
                     t.capacityMicroampHours ? milliampHourText(*t.capacityMicroampHours)
                                             : escaped(c.unknown),
                     escaped(roundedNumber(t.parallelOhms * 1000, 3) + QStringLiteral(" m\u03A9")),
                     coordinate(kSecondTotal));
    }
    return svg + QStringLiteral("</svg>");
}

} // namespace report
