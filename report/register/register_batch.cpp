#include "report/register/register_batch.h"

#include "cellregister/label_key.h"
#include "cellregister/location.h"
#include "cellregister/packs.h"
#include "cellregister/replacement.h"

#include <QHash>

namespace report {

Cell reportCell(const cellregister::CellSummary &c, const analysis::Rules &rules)
{
    Cell cell;
    cell.label = c.label;
    cell.ohms = {c.microohms, 6};
    cell.volts = {c.microvolts, 6};
    cell.resistanceText = c.resistanceText;
    cell.voltageText = c.voltageText;
    cell.capacityMicroampHours = c.capacityMicroampHours;
    cell.selfDischargeMvPerDay = cellregister::selfDischarge(c, rules.minDays);
    cell.retired = c.retired;
    // The failures as the register words them, with the rest a self-discharge waits for.
    cell.failures = cellregister::failures(c, rules);
    cell.pass = cell.failures.empty() && !cell.retired;
    return cell;
}

Batch batchOf(const std::vector<cellregister::CellSummary> &cells, const analysis::Rules &rules,
              const QString &source)
{
    Batch batch;
    batch.rules = rules;
    batch.rested = true;
    batch.source = source;
    batch.cells.reserve(cells.size());
    for (const cellregister::CellSummary &c : cells)
        batch.cells.push_back(reportCell(c, rules));
    return batch;
}

RegisterBatch registerBatch(cellregister::CellRegister &r, const RegisterSelection &selection)
{
    const cellregister::CellRegister::Snapshot snapshot(r);
    const QString shown = r.location().shown();
    RegisterBatch out;
    Batch &batch = out.batch;
    batch.rules = selection.rules;
    batch.rested = true;
    batch.source =
        selection.pack.isEmpty() ? shown : QStringLiteral("%1, pack %2").arg(shown, selection.pack);
    if (!selection.pack.isEmpty()) {
        // The pack is drawn among the register's cells; its labels are the pack's alone.
        cellregister::Pack pack = cellregister::loadPack(r, selection.pack);
        batch.rules = cellregister::packRules(pack, selection.given, selection.rules);
        batch.pack = Pack{pack.name, std::move(pack.groups)};
    }
    const std::vector<cellregister::CellSummary> cells = cellregister::summarizeCells(r);
    if (selection.labels.isEmpty()) {
        for (const cellregister::CellSummary &c : cells)
            batch.cells.push_back(reportCell(c, batch.rules));
        return out;
    }
    QHash<QString, const cellregister::CellSummary *> byLabel;
    for (const cellregister::CellSummary &c : cells)
        byLabel.insert(c.label, &c);
    for (const QString &label : selection.labels) {
        const cellregister::CellSummary *c = byLabel.value(label);
        // A label in another case names its cell too.
        if (!c)
            if (const auto stored = cellregister::storedLabel(r, label))
                c = byLabel.value(*stored);
        if (c)
            batch.cells.push_back(reportCell(*c, batch.rules));
        else
            out.unknown << label;
    }
    return out;
}

} // namespace report
