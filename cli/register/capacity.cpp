// capacity: capacities measured by a charger, from its or a spreadsheet's CSV.
#include "cellregister/capacity_file.h"
#include "cellregister/local_time.h"
#include "cellregister/packs.h"
#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/common/streams.h"
#include "cli/register/commands.h"
#include "cli/register/record.h"

#include <QFileInfo>

namespace cli {

namespace {

// A problem of a capacity file in the tool's words.
QString problemText(const cellregister::CapacityProblem &p)
{
    using P = cellregister::CapacityProblem;
    switch (p.kind) {
    case P::NoHeader: return QStringLiteral("no header row naming the label and capacity columns");
    case P::NoLabelColumn:
        return p.value.isEmpty()
            ? QStringLiteral("the header row names no label column (id, label, cell, barcode ...; "
                             "--label-column names another)")
            : QStringLiteral("the header row names no column '%1'").arg(p.value);
    case P::NoCapacityColumn:
        return p.value.isEmpty()
            ? QStringLiteral("the header row names no capacity column (capacity_mah, capacity, "
                             "mah, ah ...; --capacity-column names another)")
            : QStringLiteral("the header row names no column '%1'").arg(p.value);
    case P::NoLabel: return QStringLiteral("a capacity without a cell label");
    case P::NotACapacity: return QStringLiteral("'%1' is no capacity (mAh or Ah)").arg(p.value);
    case P::Ambiguous:
        return QStringLiteral("'%1' could be a thousands mark or decimals; write it without a "
                              "thousands mark or with more decimals")
            .arg(p.value);
    case P::Repeated:
        return QStringLiteral("cell %1 is named twice (first on line %2; --repeated last takes "
                              "the last)")
            .arg(p.value)
            .arg(p.firstLine);
    case P::TooManyFields:
        return QStringLiteral("more fields than the header names (a decimal comma in a file "
                              "separated by commas? put the value in quotes)");
    }
    return {};
}

} // namespace

int runCapacity(const Invocation &inv)
{
    const QString path = inv.files.front();
    if (inv.at && *inv.at > QDateTime::currentDateTimeUtc().addSecs(kAheadOfClockSeconds))
        refuseUsage(QStringLiteral("capacity"),
                    QStringLiteral("--at %1 is ahead of this computer's clock")
                        .arg(cellregister::localTimeText(*inv.at)));
    const cellregister::CapacityFile file =
        cellregister::readCapacityFile(QString::fromUtf8(inputBytes(path)),
                                       {inv.labelColumn, inv.capacityColumn,
                                        inv.lastWins ? cellregister::RepeatedLabel::LastWins
                                                     : cellregister::RepeatedLabel::Refuse});
    if (!file.problems.empty()) {
        QStringList lines;
        for (const auto &p : file.problems)
            lines << QStringLiteral("%1:%2: %3").arg(path).arg(p.line).arg(problemText(p));
        throw ECapacityFile(
            lines.join(u'\n')
            + (lines.size() == 1
                   ? QStringLiteral("\nnothing imported")
                   : QStringLiteral("\nnothing imported (%1 problems)").arg(lines.size())));
    }
    std::vector<std::pair<QString, std::int64_t>> capacities;
    capacities.reserve(file.rows.size());
    for (const auto &row : file.rows)
        capacities.emplace_back(row.label, row.microampHours);
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    const QStringList skipped =
        cellregister::setCapacities(*reg, capacities, QFileInfo(path).absoluteFilePath(),
                                    inv.skipUnknown, inv.at.value_or(QDateTime()));
    // Counts of cells; the labels and column names go in whole, never read as markers.
    const auto cells = [](qsizetype n) {
        return n == 1 ? QStringLiteral("1 cell") : QStringLiteral("%1 cells").arg(n);
    };
    printMessage(QStringLiteral("battery-analyzer-cli: imported %1 capacities (columns '%2' and "
                                "'%3')")
                     .arg(QString::number(qsizetype(capacities.size()) - skipped.size()),
                          file.labelColumn, file.capacityColumn));
    for (const auto &[line, word] : file.summaryLines)
        printMessage(QStringLiteral("battery-analyzer-cli: %1:%2: skipped the summary line '%3'")
                         .arg(path)
                         .arg(line)
                         .arg(word));
    if (file.blankValues > 0)
        printMessage(QStringLiteral("battery-analyzer-cli: skipped %1 lines without a capacity")
                         .arg(file.blankValues));
    if (!skipped.isEmpty())
        printMessage(QStringLiteral("battery-analyzer-cli: skipped %1 not in the register: %2")
                         .arg(cells(skipped.size()), skipped.join(QStringLiteral(", "))));
    return kExitOk;
}

} // namespace cli
