// A cell's life beyond its readings: retire, restore, relabel; packs taken apart; record
// runs listed and taken back.
#include "cellregister/cell_life.h"
#include "cellregister/local_time.h"
#include "cellregister/packs.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/common/streams.h"
#include "cli/register/commands.h"
#include "cli/register/record.h"

namespace cli {

namespace {

void say(const QString &text)
{
    printMessage(QStringLiteral("battery-analyzer-cli: ") + text);
}

} // namespace

int runCellRetire(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    const QString reason = inv.reason.isEmpty() ? QStringLiteral("retired") : inv.reason;
    cellregister::retireCell(*reg, inv.label, reason);
    say(QStringLiteral("cell %1 retired (%2)").arg(inv.label, reason));
    return kExitOk;
}

int runCellRestore(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    cellregister::restoreCell(*reg, inv.label);
    say(QStringLiteral("cell %1 is in stock").arg(inv.label));
    return kExitOk;
}

int runCellRelabel(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    cellregister::relabelCell(*reg, inv.label, inv.newLabel);
    say(QStringLiteral("cell %1 is now %2").arg(inv.label, inv.newLabel));
    return kExitOk;
}

int runCellMerge(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    cellregister::mergeCells(*reg, inv.label, inv.newLabel);
    say(QStringLiteral("cells %1 and %2 are one cell now, %1").arg(inv.label, inv.newLabel));
    return kExitOk;
}

int runPackDelete(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    cellregister::deletePack(*reg, inv.pack);
    say(QStringLiteral("pack '%1' deleted; its cells are in stock").arg(inv.pack));
    return kExitOk;
}

int runRuns(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    using tables::Kind;
    const bool text = inv.format == Format::Text;
    const int fit = text ? tables::kFitContent : 0;
    tables::Writer t(inv.format,
                     {{"run", Kind::Number, fit},
                      {"stored", Kind::Text, fit},
                      {"measured", Kind::Text, fit},
                      {"model", Kind::Text, fit},
                      {"readings", Kind::Number, fit},
                      {"source", Kind::Text}});
    for (const cellregister::RecordRun &run : cellregister::recordRuns(*reg)) {
        t.number(run.id).text(cellregister::localTimeText(run.recordedAt));
        t.text(cellregister::localTimeText(run.measuredAt)).text(run.model);
        t.number(run.readings).text(run.source).endRow();
    }
    writeWhole(inv.output, t.finish());
    return kExitOk;
}

int runUndo(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    const cellregister::Undone undone = cellregister::undoRun(*reg, inv.run);
    say(QStringLiteral("run %1 taken back: %2 readings removed").arg(inv.run).arg(undone.readings)
        + (undone.cellsRemoved.isEmpty()
               ? QString()
               : QStringLiteral(", and the cells only it brought: %1")
                     .arg(undone.cellsRemoved.join(QStringLiteral(", ")))));
    for (const auto &[pack, cells] : undone.packsFailing)
        say(QStringLiteral("pack '%1' now holds failing cells: %2 (pack replace %1 LABEL finds "
                           "a spare)")
                .arg(pack, cells.join(QStringLiteral(", "))));
    return kExitOk;
}

} // namespace cli
