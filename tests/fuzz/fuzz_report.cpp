// The report on arbitrary batches: whatever readings a board holds (one a line, CR LF), the
// page is written, every cell lands in exactly one bar of each histogram, and a resistance
// limit read from the input splits the cells into the counts shown.
#include "reading/line_format.h"
#include "report/html_report.h"

#include <QRegularExpression>
#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

qsizetype barsOf(const QString &html, const QString &id)
{
    const qsizetype start = html.indexOf(QStringLiteral("<svg id=\"%1\"").arg(id));
    const QString svg = html.mid(start, html.indexOf(QStringLiteral("</svg>"), start) - start);
    static const QRegularExpression bar(QStringLiteral("data-count=\"([0-9]+)\""));
    qsizetype sum = 0;
    for (const QRegularExpressionMatch &m : bar.globalMatch(svg))
        sum += m.captured(1).toLongLong();
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    report::Batch batch;
    // The first two bytes: the resistance limit in tenths of a milliohm, or none for 0.
    const int limit = data[0] << 8 | data[1];
    if (limit > 0)
        batch.rules.maxMicroohms = std::int64_t(limit) * 100;
    const QByteArray text(reinterpret_cast<const char *>(data) + 2, qsizetype(size) - 2);
    for (const QByteArray &line : text.split('\n')) {
        const auto r = reading::parseBoardLine(line.endsWith('\r') ? line.chopped(1) : line);
        if (!r)
            continue;
        report::Cell cell;
        cell.label = QStringLiteral("#%1").arg(batch.cells.size() + 1);
        cell.ohms = r->ohms();
        cell.volts = r->volts();
        report::judge(cell, batch.rules);
        batch.cells.push_back(cell);
    }
    const QString html = QString::fromUtf8(report::reportHtml(batch, report::Language::English));
    require(html.startsWith(QStringLiteral("<!DOCTYPE html>"))
            && html.endsWith(QStringLiteral("</html>\n")));
    if (batch.cells.empty())
        return 0;
    const qsizetype n = qsizetype(batch.cells.size());
    require(barsOf(html, QStringLiteral("resistance-histogram")) == n);
    require(barsOf(html, QStringLiteral("voltage-histogram")) == n);
    qsizetype failing = 0;
    for (const report::Cell &c : batch.cells)
        failing += batch.rules.maxMicroohms && c.microohms() > *batch.rules.maxMicroohms ? 1 : 0;
    require(html.contains(QStringLiteral("<td id=\"count-fail\">%1</td>").arg(failing)));
    return 0;
}
