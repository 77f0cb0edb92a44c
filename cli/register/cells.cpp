// cells, cell and export: what the register holds, as tables.
#include "cellregister/cell_life.h"
#include "cellregister/errors.h"
#include "cellregister/label_key.h"
#include "cellregister/local_time.h"
#include "cellregister/packs.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/register/commands.h"
#include "cli/register/record.h"
#include "cli/register/tables.h"

#include <QHash>

namespace cli {

using tables::Kind;

namespace {

// The tables' words for a cell's failures.
QStringList reasonTexts(const std::vector<analysis::Failure> &failures,
                        const analysis::Rules &rules)
{
    const auto exact = [](const analysis::Quantity &q, int decimals) {
        return QString::fromLatin1(exactText(std::get<std::int64_t>(q), decimals));
    };
    QStringList texts;
    for (const analysis::Failure &f : failures) {
        switch (f.rule) {
        case analysis::Rule::Resistance:
            texts << QStringLiteral("resistance %1 mΩ > %2 mΩ")
                         .arg(exact(*f.value, 3), exact(f.limit, 3));
            break;
        case analysis::Rule::SelfDischarge:
            texts << (f.known() ? QStringLiteral("self-discharge %1 mV/day > %2 mV/day")
                                      .arg(QString::number(std::get<double>(*f.value), 'f', 2))
                                      .arg(std::get<double>(f.limit))
                          : f.restedDays
                          ? QStringLiteral("self-discharge unknown (rested %1 of %2 d)")
                                .arg(
                                    QString::fromStdString(analysis::restLengthText(*f.restedDays)))
                                .arg(rules.minDays)
                          : QStringLiteral("self-discharge unknown (no rest start)"));
            break;
        case analysis::Rule::Capacity:
            texts << (f.known() ? QStringLiteral("capacity %1 mAh < %2 mAh")
                                      .arg(exact(*f.value, 3), exact(f.limit, 3))
                                : QStringLiteral("capacity unknown"));
            break;
        case analysis::Rule::MinVoltage:
            texts
                << QStringLiteral("voltage %1 V < %2 V").arg(exact(*f.value, 6), exact(f.limit, 6));
            break;
        case analysis::Rule::MaxVoltage:
            texts
                << QStringLiteral("voltage %1 V > %2 V").arg(exact(*f.value, 6), exact(f.limit, 6));
            break;
        }
    }
    return texts;
}

} // namespace

int runCells(const Invocation &inv)
{
    const analysis::Rules &rules = inv.rules;
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    // Rows go out as the cells come: a register of any size takes the same memory.
    Output out(inv.output);
    CellTable table(inv.format, [&out](QByteArrayView bytes) { out.write(bytes); });
    cellregister::forEachCellSummary(*reg, [&](const cellregister::CellSummary &c) {
        const QStringList reasons = reasonTexts(cellregister::failures(c, rules), rules);
        // A retired cell is neither a pass nor a failure.
        if (!inv.onlyPassing || (!c.retired && *inv.onlyPassing == reasons.isEmpty()))
            table.add(c, rules, reasons);
    });
    table.finish();
    out.finish();
    // Twins an earlier version let in stay flagged until the user joins them.
    for (const auto &[first, later] : cellregister::caseTwins(*reg))
        printMessage(QStringLiteral("battery-analyzer-cli: cells %1 and %2 differ only in case; "
                                    "cell merge %1 %2 joins them")
                         .arg(first, later));
    return kExitOk;
}

int runCell(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    // Its summary, history and swaps all from one moment of the register.
    const cellregister::CellRegister::Snapshot snapshot(*reg);
    // The label as the register holds it: the one typed may differ in case.
    const QString label = cellregister::storedLabel(*reg, inv.label).value_or(inv.label);
    const auto cell = cellregister::summarizeCell(*reg, label);
    if (!cell)
        throw EUnknownEntry(QStringLiteral("the register holds no cell '%1'").arg(inv.label));
    MeasurementTable history(Format::Json, tables::Place::Value);
    QByteArray text;
    cellregister::forEachMeasurement(*reg, label, [&](const cellregister::Measurement &m) {
        history.add(m);
        text += cellregister::localTimeText(m.at).toUtf8() + "  Group "
            + QByteArray::number(m.group) + "  " + m.resistanceText.toUtf8() + "  "
            + m.voltageText.toUtf8() + "  " + m.model.toUtf8() + "  " + m.source.toUtf8()
            + (m.sourceLine ? ':' + QByteArray::number(m.sourceLine) : QByteArray())
            + (m.restStart ? "  rest starts" : "") + '\n';
    });
    const QByteArray capacity =
        cell->capacityMicroampHours ? exactText(*cell->capacityMicroampHours, 3) : QByteArray();
    QByteArray swapsText;
    tables::Writer swapsJson(
        Format::Json,
        {{"pack", Kind::Text}, {"group", Kind::Number}, {"way", Kind::Text}, {"at", Kind::Text}},
        tables::Shape::Table, tables::Place::Value);
    for (const auto &[pack, s] : cellregister::swapsOfCell(*reg, label)) {
        const QByteArray way = s.removed == label ? "out of" : "into";
        swapsText += "swapped " + way + " pack " + pack.toUtf8() + " (group "
            + QByteArray::number(s.group) + ") at " + cellregister::localTimeText(s.at).toUtf8()
            + '\n';
        swapsJson.text(pack).number(s.group).text(way).text(cellregister::localTimeText(s.at));
        swapsJson.endRow();
    }
    // Every capacity measured, the last one counting.
    QByteArray capacitiesText;
    tables::Writer capacitiesJson(
        Format::Json, {{"capacity_mah", Kind::Number}, {"source", Kind::Text}, {"at", Kind::Text}},
        tables::Shape::Table, tables::Place::Value);
    for (const auto &c : cellregister::capacityHistory(*reg, label)) {
        const QByteArray mah = exactText(c.microampHours, 3);
        const QString at = cellregister::localTimeText(c.at);
        capacitiesText += "  " + mah + " mAh  " + at.toUtf8() + "  " + c.source.toUtf8() + '\n';
        capacitiesJson.number(mah).text(c.source).text(at).endRow();
    }
    if (inv.format == Format::Json) {
        tables::Writer object(Format::Json,
                              {{"label", Kind::Text},
                               {"capacity_mah", Kind::Number},
                               {"pack", Kind::Text},
                               {"retired", Kind::Text},
                               {"capacities", Kind::Json},
                               {"swaps", Kind::Json},
                               {"measurements", Kind::Json}},
                              tables::Shape::Object);
        object.text(label).number(capacity);
        cell->pack.isEmpty() ? object.none() : object.text(cell->pack);
        cell->retired ? object.text(*cell->retired) : object.none();
        object.json(capacitiesJson.finish()).json(swapsJson.finish()).json(history.finish());
        object.endRow();
        writeWhole(inv.output, object.finish());
    } else {
        writeWhole(
            inv.output,
            "cell " + label.toUtf8() + "\ncapacity: "
                + (capacity.isEmpty() ? "unknown" : capacity + " mAh") + '\n' + capacitiesText
                + "pack: " + (cell->pack.isEmpty() ? "none" : cell->pack.toUtf8()) + '\n'
                + (cell->retired ? "retired: " + cell->retired->toUtf8() + '\n' : QByteArray())
                + swapsText + "measurements: " + QByteArray::number(cell->measurements) + '\n'
                + text);
    }
    return kExitOk;
}

int runExport(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    // The cells' states and their measurements as they were at one moment.
    const cellregister::CellRegister::Snapshot snapshot(*reg);
    const std::vector<cellregister::CellSummary> cells = cellregister::cellStates(*reg);
    QHash<QString, const cellregister::CellSummary *> byLabel;
    byLabel.reserve(qsizetype(cells.size()));
    for (const cellregister::CellSummary &c : cells)
        byLabel.insert(c.label, &c);
    Output out(inv.output);
    // Large registers go out in pieces rather than all at once.
    MeasurementTable table(
        inv.format, tables::Place::Document, [&out](QByteArrayView bytes) { out.write(bytes); },
        MeasurementTable::Columns::WithCellState);
    cellregister::forEachMeasurement(*reg, QString(), [&](const cellregister::Measurement &m) {
        table.add(m, byLabel.value(m.label));
    });
    table.finish();
    out.finish();
    return kExitOk;
}

} // namespace cli
