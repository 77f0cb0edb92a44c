#include "report/charts.h"
#include "report/svg.h"

#include "reading/decimal.h"

#include <algorithm>

namespace report {

namespace {

QString valueText(std::int64_t value, std::int64_t perUnit)
{
    // perUnit is a power of ten: the value is exact at that many decimals.
    int places = 0;
    for (std::int64_t p = perUnit; p > 1; p /= 10)
        ++places;
    return QString::fromLatin1(reading::decimalText({value, places}));
}

} // namespace

QString histogramChart(const std::vector<std::int64_t> &values, const HistogramLayout &layout,
                       const Captions &c)
{
    const Bins bins = roundBins(values);
    const double unit = double(layout.perUnit);
    const double from = double(bins.start) / unit;
    const double to = double(bins.start + bins.width * std::int64_t(bins.counts.size())) / unit;
    double low = from, high = to;
    if (layout.limit) {
        low = std::min(low, double(*layout.limit) / unit);
        high = std::max(high, double(*layout.limit) / unit);
    }
    const std::size_t most =
        bins.counts.empty() ? 1 : *std::max_element(bins.counts.begin(), bins.counts.end());
    Plot plot(layout.id, layout.axisTitle, roundAxis(low, high),
              roundAxis(0, double(std::max<std::size_t>(most, 1))));
    plot.axes(layout.axisTitle, c.cellsAxis);

    QString &svg = plot.body();
    svg += QStringLiteral("<g class=\"bars\">");
    for (std::size_t b = 0; b < bins.counts.size(); ++b) {
        const std::int64_t start = bins.start + std::int64_t(b) * bins.width;
        const double x0 = plot.x(double(start) / unit);
        const double x1 = plot.x(double(start + bins.width) / unit);
        const double top = plot.y(double(bins.counts[b]));
        svg += QStringLiteral("<rect class=\"bar\" data-count=\"%1\" x=\"%2\" y=\"%3\" "
                              "width=\"%4\" height=\"%5\">"
                              "<title>%6</title></rect>")
                   .arg(bins.counts[b])
                   .arg(coordinate(x0), coordinate(top), coordinate(x1 - x0),
                        coordinate(Plot::kBottom - top),
                        escaped(c.binTitle
                                    .arg(valueText(start, layout.perUnit),
                                         valueText(start + bins.width, layout.perUnit), layout.unit)
                                    .arg(bins.counts[b])));
    }
    svg += QStringLiteral("</g>\n");
    // The few far out, said in words beside the bars they would have flattened.
    const auto outside = [&](std::size_t count, const QString &caption, std::int64_t extreme,
                             bool right) {
        if (count == 0)
            return;
        svg += QStringLiteral("<text class=\"outside\" x=\"%1\" y=\"%2\" text-anchor=\"%3\">%4"
                              "</text>\n")
                   .arg(coordinate(right ? Plot::kRight - 4 : Plot::kLeft + 4),
                        coordinate(Plot::kTop + 30),
                        right ? QStringLiteral("end") : QStringLiteral("start"),
                        escaped(caption.arg(count).arg(valueText(extreme, layout.perUnit),
                                                       layout.unit)));
    };
    outside(bins.below, c.belowChart, bins.lowest, false);
    outside(bins.above, c.aboveChart, bins.highest, true);
    if (layout.limit)
        plot.verticalLimit(double(*layout.limit) / unit, layout.limitCaption);
    return plot.finish();
}

} // namespace report
