#include "cli/pictures/batch_register.h"

#include "cellregister/cell_register.h"
#include "cellregister/errors.h"
#include "cellregister/location.h"
#include "cli/common/errors.h"
#include "cli/register/cell_labels.h"
#include "report/register/register_batch.h"

namespace cli {

namespace {

constexpr qsizetype kNamedLabels = 5;

} // namespace

report::Batch batchFromRegister(const BatchFromRegister &from, const char *subcommand)
{
    QStringList wanted;
    if (!from.cellRange.isEmpty() || !from.cellsFrom.isEmpty())
        wanted = namedCells(from.cellRange, from.cellsFrom, QString::fromLatin1(subcommand));

    cellregister::CellRegister reg(cellregister::locate(from.db), from.lockWaitMilliseconds,
                                   cellregister::Opening::MustExist);
    report::RegisterBatch taken =
        report::registerBatch(reg, {from.rules, from.givenRules, wanted, from.pack});
    if (const QStringList &unknown = taken.unknown; !unknown.isEmpty()) {
        QString named = unknown.mid(0, kNamedLabels).join(QStringLiteral(", "));
        if (unknown.size() > kNamedLabels)
            named += QStringLiteral(" and %1 more").arg(unknown.size() - kNamedLabels);
        throw EUnknownEntry(QStringLiteral("%1: the register holds no cell %2")
                                .arg(QLatin1String(subcommand), named));
    }
    if (taken.batch.cells.empty())
        throw ENoReadings(QStringLiteral("%1: the register %2 holds no cell")
                              .arg(QLatin1String(subcommand), reg.location().shown()));
    return std::move(taken.batch);
}

} // namespace cli
