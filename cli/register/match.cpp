// match --db, and the packs it saves: list, show, and replace a failed cell.
#include "analysis/capacity_matching.h"
#include "analysis/errors.h"
#include "analysis/matching.h"
#include "analysis/pack_totals.h"
#include "cellregister/errors.h"
#include "cellregister/label_key.h"
#include "cellregister/local_time.h"
#include "cellregister/packs.h"
#include "cellregister/replacement.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/register/commands.h"
#include "cli/register/record.h"
#include "cli/register/tables.h"
#include "reading/decimal.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <optional>

namespace cli {

using tables::Kind;

namespace {

using Summaries = std::vector<cellregister::CellSummary>;

QString percent(double part, double whole)
{
    return QString::number(whole > 0 ? 100 * part / whole : 0, 'f', 3);
}

using cellregister::PackValues;

// What a builder reads off the pack, and which end is which.
QByteArray totalsText(const PackValues &v)
{
    std::vector<std::vector<analysis::PackCell>> groups;
    for (const auto &g : v.groups) {
        groups.emplace_back();
        for (const std::size_t i : g)
            groups.back().push_back(
                {v.cells[i].microohms, v.cells[i].microvolts, v.cells[i].microampHours});
    }
    const analysis::PackTotals t = analysis::packTotals(groups);
    QByteArray out = "pack: " + exactText(t.nominalMillivolts, 3) + " V nominal ("
        + exactText(analysis::kNominalCellMillivolts, 3) + " V a cell), "
        + exactText(t.measuredMicrovolts, 6) + " V measured, ";
    out += t.microampHours ? exactText(*t.microampHours / 1000, 3) + " Ah (the weakest group), "
            + QByteArray::number(*t.wattHours, 'f', 1) + " Wh, "
                           : QByteArray("capacity unknown, ");
    out += QByteArray::number(t.ohms * 1000, 'f', 3) + " mΩ\n";
    if (!v.groups.empty())
        out += "ends: group 1 is the − end, group " + QByteArray::number(qsizetype(v.groups.size()))
            + " the + end\n";
    return out;
}

// The groups of a pack, one row each: cells, parallel resistance and, when every cell has
// one, capacity. JSON: a value for the object around it.
QByteArray groupsTable(Format format, const PackValues &v, const std::vector<QStringList> &labels)
{
    std::vector<tables::Column> columns;
    if (format == Format::Text) {
        int cellsWidth = 7;
        for (const QStringList &l : labels)
            cellsWidth = std::max(cellsWidth, int(l.join(u' ').size()) + 2);
        columns = {{"group", Kind::Number, 7},
                   {"cells", Kind::Text, cellsWidth},
                   {"mΩ", Kind::Number, 10}};
        if (v.allCapacities)
            columns.push_back({"mAh", Kind::Number});
    } else {
        columns = {{"cells", Kind::List},
                   {"resistance_ohm", Kind::Number},
                   {"capacity_mah", Kind::Number}};
    }
    tables::Writer table(format, std::move(columns), tables::Shape::Table,
                         format == Format::Json ? tables::Place::Value : tables::Place::Document);
    for (std::size_t g = 0; g < v.groups.size(); ++g) {
        const analysis::GroupTotals t =
            analysis::CapacityFirstObjective::totals(v.cells, v.groups[g]);
        if (format == Format::Text) {
            table.number(qsizetype(g + 1)).text(labels[g].join(u' '));
            table.number(QByteArray::number(1e3 / t.siemens, 'f', 3));
        } else {
            table.list(labels[g]).number(QByteArray::number(1 / t.siemens, 'g', 9));
        }
        if (format == Format::Json && !v.allCapacities)
            table.none();
        else if (v.allCapacities)
            table.number({t.microampHours, 3});
        table.endRow();
    }
    return table.finish();
}

// How far apart the groups are, in words.
QByteArray spreadText(const PackValues &v)
{
    QByteArray out;
    const analysis::CapacityScore s = analysis::scoreOf(v.cells, v.groups);
    double meanOhms = 0, meanCapacity = 0;
    for (const auto &g : v.groups) {
        const analysis::GroupTotals t = analysis::CapacityFirstObjective::totals(v.cells, g);
        meanOhms += 1 / t.siemens / double(v.groups.size());
        meanCapacity += double(t.microampHours) / double(v.groups.size());
    }
    if (v.allCapacities)
        out += "capacity spread: " + exactText(s.capacitySpread, 3) + " mAh ("
            + percent(double(s.capacitySpread), meanCapacity).toUtf8() + " % of the mean group)\n";
    out += "resistance spread: " + QByteArray::number(s.resistanceSpread * 1e3, 'f', 3) + " mΩ ("
        + percent(s.resistanceSpread, meanOhms).toUtf8() + " % of the mean group)\n";
    return out;
}

// The groups and their spreads as the fields of a JSON object, in the order spreadColumns()
// and "groups" before them name.
const std::vector<tables::Column> kSpreadColumns = {{"groups", Kind::Json},
                                                    {"resistance_spread_ohm", Kind::Number},
                                                    {"capacity_spread_mah", Kind::Number}};

void writeGroups(tables::Writer &object, const PackValues &v,
                 const std::vector<QStringList> &labels)
{
    const analysis::CapacityScore s = analysis::scoreOf(v.cells, v.groups);
    object.json(groupsTable(Format::Json, v, labels))
        .number(QByteArray::number(s.resistanceSpread, 'g', 9));
    v.allCapacities ? object.number({s.capacitySpread, 3}) : object.none();
}

std::vector<tables::Column> withGroups(std::vector<tables::Column> columns, qsizetype at)
{
    columns.insert(columns.begin() + at, kSpreadColumns.begin(), kSpreadColumns.end());
    return columns;
}

QHash<QString, const cellregister::CellSummary *> indexed(const Summaries &cells)
{
    QHash<QString, const cellregister::CellSummary *> byLabel;
    for (const auto &c : cells)
        byLabel.insert(c.label, &c);
    return byLabel;
}

} // namespace

int runRegisterMatch(const Invocation &inv)
{
    const analysis::PackShape shape{inv.series, inv.parallel, inv.maxVoltageSpreadMicrovolts};
    const analysis::Rules &rules = inv.rules;
    const QString &packName = inv.savePack;
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    const Summaries all = cellregister::summarizeCells(*reg);
    std::vector<const cellregister::CellSummary *> candidates;
    bool capacityFirst = false;
    for (const auto &c : all) {
        if (cellregister::inStock(c) && cellregister::failures(c, rules).empty()) {
            candidates.push_back(&c);
            capacityFirst = capacityFirst || c.capacityMicroampHours.has_value();
        }
    }

    std::vector<QStringList> labels;
    std::size_t withoutCapacity = 0;
    if (capacityFirst) {
        std::vector<analysis::CapacityCell> cells;
        for (const auto *c : candidates)
            cells.push_back({c->microohms, c->microvolts, c->capacityMicroampHours});
        const analysis::CapacityMatch m = analysis::matchByCapacity(
            cells, shape,
            {double(inv.capacityToleranceMillipercent) / 100'000.0,
             inv.refuseWithoutCapacity ? analysis::MissingCapacity::Refuse
                                       : analysis::MissingCapacity::LeaveOut});
        withoutCapacity = m.withoutCapacity;
        for (const auto &g : m.groups) {
            labels.emplace_back();
            for (std::size_t i : g)
                labels.back() << candidates[i]->label;
        }
    } else {
        std::vector<analysis::Cell> cells;
        for (const auto *c : candidates)
            cells.push_back({c->microohms, c->microvolts});
        for (const auto &g : analysis::matchCells(cells, shape).groups) {
            labels.emplace_back();
            for (std::size_t i : g.cells)
                labels.back() << candidates[i]->label;
        }
    }
    const PackValues values = cellregister::packValues(labels, indexed(all));
    const qsizetype leftOut = qsizetype(candidates.size() - shape.cells());
    if (inv.format == Format::Json) {
        tables::Writer object(Format::Json,
                              withGroups({{"series", Kind::Number},
                                          {"parallel", Kind::Number},
                                          {"capacity_first", Kind::Flag},
                                          {"candidates", Kind::Number},
                                          {"left_out", Kind::Number},
                                          {"without_capacity", Kind::Number}},
                                         3),
                              tables::Shape::Object);
        object.number(shape.series).number(shape.parallel).flag(capacityFirst);
        writeGroups(object, values, labels);
        object.number(qsizetype(candidates.size())).number(leftOut);
        object.number(qsizetype(withoutCapacity)).endRow();
        writeWhole(inv.output, object.finish());
    } else {
        writeWhole(
            inv.output,
            QByteArray::number(shape.series) + "S" + QByteArray::number(shape.parallel) + "P from "
                + QByteArray::number(qsizetype(candidates.size())) + " candidate cells, "
                + (capacityFirst ? "capacity first" : "resistance only (no cell has a capacity)")
                + '\n' + groupsTable(Format::Text, values, labels) + spreadText(values)
                + "left out: " + QByteArray::number(leftOut) + " cells"
                + (withoutCapacity > 0 ? ", " + QByteArray::number(qsizetype(withoutCapacity))
                           + " of them without a capacity"
                                       : QByteArray())
                + '\n');
    }
    if (!packName.isEmpty()) {
        cellregister::savePack(*reg,
                               {packName, shape.series, shape.parallel,
                                shape.maxVoltageSpreadMicrovolts, capacityFirst,
                                QDateTime::currentDateTimeUtc(), labels, rules});
        printMessage(QStringLiteral("battery-analyzer-cli: saved pack '%1'").arg(packName));
    }
    return kExitOk;
}

int runPackList(const Invocation &inv)
{
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    QByteArray out;
    for (const auto &p : cellregister::listPacks(*reg))
        out += p.name.toUtf8() + "  " + QByteArray::number(p.series) + "S"
            + QByteArray::number(p.parallel) + "P  "
            + cellregister::localTimeText(p.created).toUtf8()
            + (p.capacityFirst ? "  capacity first" : "") + '\n';
    writeWhole(inv.output, out);
    return kExitOk;
}

int runPackShow(const Invocation &inv)
{
    const QString &name = inv.pack;
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    std::optional<cellregister::CellRegister::Snapshot> snapshot(std::in_place, *reg);
    const cellregister::Pack pack = cellregister::loadPack(*reg, name);
    const Summaries all = cellregister::summarizeCells(*reg);
    const auto swaps = cellregister::swapsOf(*reg, name);
    snapshot.reset();
    const auto byLabel = indexed(all);
    const PackValues values = cellregister::packValues(pack.groups, byLabel);
    if (inv.format == Format::Csv) {
        // One row a cell, in building order: group 1 (the − end) first.
        tables::Writer t(Format::Csv,
                         {{"group", Kind::Number},
                          {"position", Kind::Number},
                          {"label", Kind::Text},
                          {"resistance_ohm", Kind::Number},
                          {"voltage_v", Kind::Number},
                          {"capacity_mah", Kind::Number}});
        for (std::size_t g = 0; g < pack.groups.size(); ++g)
            for (qsizetype p = 0; p < pack.groups[g].size(); ++p) {
                const cellregister::CellSummary *c = byLabel.value(pack.groups[g][p]);
                t.number(qint64(g + 1)).number(qint64(p + 1)).text(pack.groups[g][p]);
                c ? t.number(reading::Decimal{c->microohms, 6}) : t.none();
                c ? t.number(reading::Decimal{c->microvolts, 6}) : t.none();
                c && c->capacityMicroampHours
                    ? t.number(reading::Decimal{*c->capacityMicroampHours, 3})
                    : t.none();
                t.endRow();
            }
        writeWhole(inv.output, t.finish());
        return kExitOk;
    }
    if (inv.format == Format::Json) {
        tables::Writer swapTable(Format::Json,
                                 {{"group", Kind::Number},
                                  {"removed", Kind::Text},
                                  {"added", Kind::Text},
                                  {"at", Kind::Text}},
                                 tables::Shape::Table, tables::Place::Value);
        for (const auto &s : swaps) {
            swapTable.number(s.group).text(s.removed).text(s.added);
            swapTable.text(cellregister::localTimeText(s.at)).endRow();
        }
        tables::Writer object(Format::Json,
                              withGroups({{"name", Kind::Text},
                                          {"series", Kind::Number},
                                          {"parallel", Kind::Number},
                                          {"swaps", Kind::Json}},
                                         3),
                              tables::Shape::Object);
        object.text(name).number(pack.series).number(pack.parallel);
        writeGroups(object, values, pack.groups);
        object.json(swapTable.finish()).endRow();
        writeWhole(inv.output, object.finish());
    } else {
        QByteArray out = "pack " + name.toUtf8() + ": " + QByteArray::number(pack.series) + "S"
            + QByteArray::number(pack.parallel) + "P, saved "
            + cellregister::localTimeText(pack.created).toUtf8() + '\n'
            + groupsTable(Format::Text, values, pack.groups) + spreadText(values)
            + totalsText(values);
        for (const auto &s : swaps)
            out += "swap in group " + QByteArray::number(s.group) + ": " + s.removed.toUtf8()
                + " -> " + s.added.toUtf8() + " at " + cellregister::localTimeText(s.at).toUtf8()
                + '\n';
        writeWhole(inv.output, out);
    }
    return kExitOk;
}

int runPackReplace(const Invocation &inv)
{
    const QString &name = inv.pack;
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    // The pack and its spares as they were at one moment; the swap then writes on its own.
    std::optional<cellregister::CellRegister::Snapshot> snapshot(std::in_place, *reg);
    // The failed cell as the register labels it: it may be typed in another case.
    const QString failed = cellregister::storedLabel(*reg, inv.label).value_or(inv.label);
    cellregister::Pack pack = cellregister::loadPack(*reg, name);
    const analysis::Rules rules = cellregister::packRules(pack, givenRules(inv), inv.rules);
    const Summaries all = cellregister::summarizeCells(*reg);
    snapshot.reset();
    const cellregister::Replacement proposed =
        cellregister::proposeReplacement(pack, failed, all, rules);
    const QString &best = proposed.spare;
    const PackValues after = cellregister::packValues(proposed.groups, indexed(all));
    writeWhole(
        inv.output,
        "replace " + failed.toUtf8() + " in group " + QByteArray::number(proposed.group + 1)
            + " of pack " + name.toUtf8() + " by " + best.toUtf8() + "\nresistance spread: "
            + QByteArray::number(proposed.before.resistanceSpread * 1e3, 'f', 3) + " mΩ before, "
            + QByteArray::number(proposed.after.resistanceSpread * 1e3, 'f', 3) + " mΩ after\n"
            + groupsTable(Format::Text, after, proposed.groups) + spreadText(after));
    if (inv.apply) {
        cellregister::swapCell(*reg, name, failed, best,
                               inv.keepRemoved ? cellregister::Removed::BackInStock
                                               : cellregister::Removed::Retire);
        printMessage(QStringLiteral("battery-analyzer-cli: pack '%1': %2 replaced by %3; %2 %4")
                         .arg(name, failed, best,
                              inv.keepRemoved ? QStringLiteral("is back in stock")
                                              : QStringLiteral("is retired")));
    } else {
        printMessage(QStringLiteral("battery-analyzer-cli: a proposal only: nothing changed "
                                    "(--apply makes the swap)"));
    }
    return kExitOk;
}

} // namespace cli
