#include "analysis/statistics.h"
#include "cli/errors.h"
#include "cli/exit_codes.h"
#include "cli/input_files.h"
#include "cli/output.h"
#include "cli/subcommands.h"
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

QByteArray summaryRow(const QByteArray &name, const analysis::Summary &s, int decimals, int meanPlaces)
{
    QByteArray row = column(name, 14);
    row += column(analysis::decimalText({s.minimum, decimals}), 12);
    row += column(analysis::decimalText({s.maximum, decimals}), 12);
    row += column(analysis::roundedText(s.mean, meanPlaces), 12);
    row += column(analysis::decimalText(s.median), 12);
    row += analysis::roundedText(s.standardDeviation, meanPlaces);
    return row + '\n';
}

} // namespace

int runStats(const Invocation &inv)
{
    std::vector<std::int64_t> microohms, microvolts;
    forEachReading(
        inv.files, inv.strict,
        [&](int, int, const analysis::Reading &r) {
            microohms.push_back(r.microohms());
            microvolts.push_back(r.microvolts());
        },
        printMessage);
    if (microohms.empty())
        throw ENoReadings(QStringLiteral("no readings in %1").arg(inv.files.join(", ")));

    const std::vector<std::size_t> bins = analysis::histogram(microohms, kBins);
    const analysis::Summary r = analysis::summarize(std::move(microohms), 6);
    const analysis::Summary v = analysis::summarize(std::move(microvolts), 6);

    QByteArray text = "readings      " + QByteArray::number(qulonglong(r.count)) + "\n\n";
    text += "              minimum     maximum     mean        median      std. deviation\n";
    text += summaryRow(QByteArray("resistance/") + reading::kOhmUtf8, r, 6, 7);
    text += summaryRow("voltage/V", v, 6, 4);

    text += QByteArray("\nresistance/m") + reading::kOhmUtf8 + '\n';
    const std::size_t most = *std::max_element(bins.begin(), bins.end());
    const double width = double(r.maximum - r.minimum) / kBins;
    for (int b = 0; b < kBins; ++b) {
        const double from = (double(r.minimum) + b * width) / 1000;
        const double to = (double(r.minimum) + (b + 1) * width) / 1000;
        const std::size_t n = bins[std::size_t(b)];
        const int bar = n == 0 ? 0 : std::max(1, int(double(n) * kBarWidth / double(most) + 0.5));
        text += "  " + QByteArray::number(from, 'f', 3).rightJustified(9) + " - " +
                QByteArray::number(to, 'f', 3).rightJustified(9) + "  " + QByteArray(bar, '#').leftJustified(kBarWidth) +
                "  " + QByteArray::number(qulonglong(n)) + '\n';
    }
    Output out(QString{});
    out.write(text);
    out.finish();
    return kExitOk;
}

} // namespace cli
