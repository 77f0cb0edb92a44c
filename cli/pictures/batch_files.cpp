#include "cli/pictures/batch_files.h"

#include "analysis/matching.h"
#include "cli/common/errors.h"
#include "cli/common/input_files.h"
#include "cli/common/output.h"
#include "cli/register/cell_labels.h"
#include "reading/line_format.h"

namespace cli {

namespace {

constexpr qsizetype kNamedFiles = 4;

QString sourceText(const QStringList &files)
{
    QString names = files.mid(0, kNamedFiles).join(QStringLiteral(", "));
    if (files.size() > kNamedFiles)
        names += QStringLiteral(" and %1 more files").arg(files.size() - kNamedFiles);
    return names;
}

report::Pack matchedPack(const report::Batch &batch, const BatchFromFiles &from)
{
    std::vector<analysis::Cell> candidates;
    std::vector<const report::Cell *> passing;
    for (const report::Cell &cell : batch.cells) {
        if (!cell.pass)
            continue;
        candidates.push_back({cell.microohms(), cell.microvolts()});
        passing.push_back(&cell);
    }
    const analysis::PackMatch m = analysis::matchCells(
        candidates, {from.series, from.parallel, from.maxVoltageSpreadMicrovolts});
    report::Pack pack{QStringLiteral("matched"), {}};
    for (const analysis::CellGroup &group : m.groups) {
        QStringList labels;
        for (std::size_t c : group.cells)
            labels << passing[c]->label;
        pack.groups.push_back(labels);
    }
    return pack;
}

} // namespace

report::Batch batchFromFiles(const BatchFromFiles &from, const char *subcommand)
{
    report::Batch batch;
    forEachReading(
        from.files, from.strict,
        [&](int, int, const reading::Reading &r) {
            report::Cell cell;
            cell.ohms = r.ohms();
            cell.volts = r.volts();
            cell.resistanceText = QString::fromUtf8(reading::resistanceText(r, reading::kOhmUtf8));
            cell.voltageText = QString::fromLatin1(reading::voltageText(r));
            batch.cells.push_back(std::move(cell));
        },
        printMessage);
    if (batch.cells.empty())
        throw ENoReadings(QStringLiteral("no readings in %1").arg(from.files.join(", ")));

    QStringList labels;
    if (!from.cellRange.isEmpty() || !from.cellsFrom.isEmpty()) {
        labels = namedCells(from.cellRange, from.cellsFrom, QString::fromLatin1(subcommand));
        if (std::size_t(labels.size()) != batch.cells.size())
            throw EUsageError(
                QStringLiteral("%1: %2 names %3 cells, but the files hold %4 readings")
                    .arg(QLatin1String(subcommand), namedCellsText(from.cellRange, from.cellsFrom),
                         QString::number(labels.size()), QString::number(batch.cells.size())));
    } else if (!from.firstCell.isEmpty()) {
        labels = labelsFrom(from.firstCell, qsizetype(batch.cells.size()),
                            QString::fromLatin1(subcommand));
    }
    batch.rules.maxMicroohms = from.maxMicroohms;
    for (std::size_t i = 0; i < batch.cells.size(); ++i) {
        report::Cell &cell = batch.cells[i];
        cell.label = labels.isEmpty() ? QStringLiteral("#%1").arg(i + 1) : labels[qsizetype(i)];
        report::judge(cell, batch.rules);
    }
    batch.source = sourceText(from.files);
    if (from.series > 0)
        batch.pack = matchedPack(batch, from);
    return batch;
}

} // namespace cli
