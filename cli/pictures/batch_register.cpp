#include "cli/pictures/batch_register.h"

#include "cellregister/cell_register.h"
#include "cellregister/errors.h"
#include "cellregister/location.h"
#include "cellregister/packs.h"
#include "cli/common/errors.h"
#include "cli/register/cell_labels.h"

#include <QHash>

namespace cli {

namespace {

constexpr qsizetype kNamedLabels = 5;

QString sourceText(const cellregister::Location &where, const QString &pack)
{
    const QString shown = where.shown();
    return pack.isEmpty() ? shown : QStringLiteral("%1, pack %2").arg(shown, pack);
}

} // namespace

report::Cell reportCell(const cellregister::CellSummary &c, const analysis::Rules &rules)
{
    report::Cell cell;
    cell.label = c.label;
    cell.ohms = {c.microohms, 6};
    cell.volts = {c.microvolts, 6};
    cell.resistanceText = c.resistanceText;
    cell.voltageText = c.voltageText;
    cell.capacityMicroampHours = c.capacityMicroampHours;
    cell.selfDischargeMvPerDay = cellregister::selfDischarge(c, rules.minDays);
    report::judge(cell, rules);
    return cell;
}

report::Batch batchFromRegister(const BatchFromRegister &from, const char *subcommand)
{
    QStringList wanted;
    if (!from.cellRange.isEmpty() || !from.cellsFrom.isEmpty())
        wanted = namedCells(from.cellRange, from.cellsFrom, QString::fromLatin1(subcommand));

    cellregister::CellRegister reg(cellregister::locate(from.db), from.lockWaitMilliseconds,
                                   cellregister::Opening::MustExist);
    // The pack and the cells as they were at one moment.
    const cellregister::CellRegister::Snapshot snapshot(reg);
    report::Batch batch;
    batch.rules = from.rules;
    batch.rested = true;
    batch.source = sourceText(reg.location(), from.pack);
    if (!from.pack.isEmpty()) {
        // The pack is drawn among the register's cells; its labels are the pack's alone.
        cellregister::Pack pack = cellregister::loadPack(reg, from.pack);
        batch.rules = packRules(from.givenRules, pack.rules);
        batch.pack = report::Pack{pack.name, std::move(pack.groups)};
    }

    std::vector<cellregister::CellSummary> cells = cellregister::summarizeCells(reg);
    if (wanted.isEmpty()) {
        for (const cellregister::CellSummary &c : cells)
            batch.cells.push_back(reportCell(c, batch.rules));
    } else {
        QHash<QString, const cellregister::CellSummary *> byLabel;
        for (const cellregister::CellSummary &c : cells)
            byLabel.insert(c.label, &c);
        QStringList unknown;
        for (const QString &label : wanted) {
            if (const cellregister::CellSummary *c = byLabel.value(label))
                batch.cells.push_back(reportCell(*c, batch.rules));
            else
                unknown << label;
        }
        if (!unknown.isEmpty()) {
            QString named = unknown.mid(0, kNamedLabels).join(QStringLiteral(", "));
            if (unknown.size() > kNamedLabels)
                named += QStringLiteral(" and %1 more").arg(unknown.size() - kNamedLabels);
            throw EUnknownEntry(QStringLiteral("%1: the register holds no cell %2")
                                    .arg(QLatin1String(subcommand), named));
        }
    }
    if (batch.cells.empty())
        throw ENoReadings(QStringLiteral("%1: the register %2 holds no cell")
                              .arg(QLatin1String(subcommand), reg.location().shown()));
    return batch;
}

} // namespace cli
