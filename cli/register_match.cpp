// match --db, and the packs it saves: list, show, and replace a failed cell.
#include "analysis/capacity_matching.h"
#include "analysis/errors.h"
#include "analysis/matching.h"
#include "cellregister/errors.h"
#include "cellregister/packs.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/register_subcommands.h"
#include "cli/register_tables.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <optional>

namespace cli {

using tables::Kind;

namespace {

constexpr char kMatchHelp[] =
    R"(Usage: battery-analyzer-cli match --db DB --series S --parallel P [RULES]
                                  [--max-voltage-spread V] [--save-pack NAME]
                                  [--format text|json] [--output FILE]

Matches a pack from the register's cells that pass the rules and are in no saved pack. When
any such cell has a capacity, those without one are left out (and counted), the groups'
capacity sums are brought within 0.1 % of the mean group of each other, and among such
arrangements their parallel resistances are made as equal as possible; when none has a
capacity, their resistances alone. Cells are named by label. (Without --db, match reads
reading files: see match --help there.)

  --series S / --parallel P     the pack: S groups in series of P cells in parallel
  --max-voltage-spread V        every chosen cell within V volts of every other (0.05)
  --save-pack NAME              store the arrangement as pack NAME
)";

constexpr char kPackHelp[] = R"(Usage: battery-analyzer-cli pack list
       battery-analyzer-cli pack show NAME [--format text|json]
       battery-analyzer-cli pack replace NAME LABEL [RULES] [--apply]

The packs saved by match --save-pack. replace proposes the best spare for a failed cell:
one that passes the rules, is in no pack, lies within the pack's voltage window and keeps
the spread of the pack's groups lowest; --apply records the swap.
)";

constexpr char kRules[] = R"(
  --max-resistance OHM, --max-self-discharge MV_PER_DAY, --min-capacity MAH, --min-days D
                                the rules a cell must pass (see cells --help)
  --db DB                       the register (see record --help)
  --lock-wait S                 how long to wait for another program writing it (10)

Exit codes: 0 done, 1 the output cannot be written, 2 bad arguments, 6 too few cells pass
the rules within the voltage window (no spare fits, for replace), 8 the register cannot be
opened or written, 10 no such pack or cell, or a pack name already taken.
)";

using Summaries = std::vector<cellregister::CellSummary>;

QString percent(double part, double whole)
{
    return QString::number(whole > 0 ? 100 * part / whole : 0, 'f', 3);
}

// A pack's groups as the objective scores them; resistance only when a capacity is missing.
struct PackValues {
    std::vector<analysis::CapacityCell> cells;
    std::vector<std::vector<std::size_t>> groups;
    bool allCapacities = true;
};

PackValues valuesOf(const std::vector<QStringList> &groups,
                    const QHash<QString, const cellregister::CellSummary *> &byLabel)
{
    PackValues v;
    for (const QStringList &g : groups) {
        v.groups.emplace_back();
        for (const QString &label : g) {
            const cellregister::CellSummary *c = byLabel.value(label);
            v.groups.back().push_back(v.cells.size());
            v.cells.push_back({c ? c->microohms : 1, c ? c->microvolts : 0,
                               c && c->capacityMicroampHours ? *c->capacityMicroampHours : 0});
            v.allCapacities = v.allCapacities && c && c->capacityMicroampHours;
        }
    }
    return v;
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

int runRegisterMatch(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("match"),
                     QString::fromUtf8(kMatchHelp) + QString::fromUtf8(kRules));
    for (const char *v :
         {"series", "parallel", "max-voltage-spread", "save-pack", "format", "output"})
        line.addValue(QString::fromLatin1(v), QStringLiteral("X"));
    line.addRules();
    if (!line.parse(arguments))
        return kExitOk;
    if (!line.positional().isEmpty())
        line.fail(QStringLiteral("with --db, match takes no files ('%1')")
                      .arg(line.positional().front()));
    if (!line.isSet(QStringLiteral("series")) || !line.isSet(QStringLiteral("parallel")))
        line.fail(QStringLiteral("--series S and --parallel P are required"));
    analysis::PackShape shape;
    shape.series = int(line.decimalOption(QStringLiteral("series"), 0, 100'000));
    shape.parallel = int(line.decimalOption(QStringLiteral("parallel"), 0, 100'000));
    if (shape.series < 1 || shape.parallel < 1)
        line.fail(QStringLiteral("--series and --parallel take whole numbers from 1 to 100000"));
    if (line.isSet(QStringLiteral("max-voltage-spread")))
        shape.maxVoltageSpreadMicrovolts =
            line.decimalOption(QStringLiteral("max-voltage-spread"), 6, 100'000'000);
    const Format format = line.format({"text", "json"});
    const analysis::Rules rules = line.rules();
    const QString packName = line.value(QStringLiteral("save-pack"));
    if (line.isSet(QStringLiteral("save-pack")) && packName.trimmed().isEmpty())
        line.fail(QStringLiteral("--save-pack needs a name"));

    const auto reg = line.openRegister(cellregister::Opening::MustExist);
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
        const analysis::CapacityMatch m = analysis::matchByCapacity(cells, shape);
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
    const PackValues values = valuesOf(labels, indexed(all));
    const qsizetype leftOut = qsizetype(candidates.size() - shape.cells());
    if (format == Format::Json) {
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
        line.writeOutput(object.finish());
    } else {
        line.writeOutput(
            QByteArray::number(shape.series) + "S" + QByteArray::number(shape.parallel) + "P from "
            + QByteArray::number(qsizetype(candidates.size())) + " candidate cells, "
            + (capacityFirst ? "capacity first" : "resistance only (no cell has a capacity)") + '\n'
            + groupsTable(Format::Text, values, labels) + spreadText(values)
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
                                QDateTime::currentDateTimeUtc(), labels});
        printMessage(QStringLiteral("battery-analyzer-cli: saved pack '%1'").arg(packName));
    }
    return kExitOk;
}

namespace {

int packList(CommandLine &line)
{
    const auto reg = line.openRegister(cellregister::Opening::MustExist);
    QByteArray out;
    for (const auto &p : cellregister::listPacks(*reg))
        out += p.name.toUtf8() + "  " + QByteArray::number(p.series) + "S"
            + QByteArray::number(p.parallel) + "P  " + cellregister::timeText(p.created).toUtf8()
            + (p.capacityFirst ? "  capacity first" : "") + '\n';
    line.writeOutput(out);
    return kExitOk;
}

int packShow(CommandLine &line, const QString &name)
{
    const Format format = line.format({"text", "json"});
    const auto reg = line.openRegister(cellregister::Opening::MustExist);
    std::optional<cellregister::CellRegister::Snapshot> snapshot(std::in_place, *reg);
    const cellregister::Pack pack = cellregister::loadPack(*reg, name);
    const Summaries all = cellregister::summarizeCells(*reg);
    const auto swaps = cellregister::swapsOf(*reg, name);
    snapshot.reset();
    const PackValues values = valuesOf(pack.groups, indexed(all));
    if (format == Format::Json) {
        tables::Writer swapTable(Format::Json,
                                 {{"group", Kind::Number},
                                  {"removed", Kind::Text},
                                  {"added", Kind::Text},
                                  {"at", Kind::Text}},
                                 tables::Shape::Table, tables::Place::Value);
        for (const auto &s : swaps) {
            swapTable.number(s.group + 1).text(s.removed).text(s.added);
            swapTable.text(cellregister::timeText(s.at)).endRow();
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
        line.writeOutput(object.finish());
    } else {
        QByteArray out = "pack " + name.toUtf8() + ": " + QByteArray::number(pack.series) + "S"
            + QByteArray::number(pack.parallel) + "P, saved "
            + cellregister::timeText(pack.created).toUtf8() + '\n'
            + groupsTable(Format::Text, values, pack.groups) + spreadText(values);
        for (const auto &s : swaps)
            out += "swap in group " + QByteArray::number(s.group + 1) + ": " + s.removed.toUtf8()
                + " -> " + s.added.toUtf8() + " at " + cellregister::timeText(s.at).toUtf8() + '\n';
        line.writeOutput(out);
    }
    return kExitOk;
}

int packReplace(CommandLine &line, const QString &name, const QString &failed)
{
    const analysis::Rules rules = line.rules();
    const auto reg = line.openRegister(cellregister::Opening::MustExist);
    // The pack and its spares as they were at one moment; the swap then writes on its own.
    std::optional<cellregister::CellRegister::Snapshot> snapshot(std::in_place, *reg);
    cellregister::Pack pack = cellregister::loadPack(*reg, name);
    const Summaries all = cellregister::summarizeCells(*reg);
    snapshot.reset();
    const auto byLabel = indexed(all);
    std::size_t group = SIZE_MAX;
    qsizetype position = -1;
    for (std::size_t g = 0; g < pack.groups.size() && position < 0; ++g)
        if ((position = pack.groups[g].indexOf(failed)) >= 0)
            group = g;
    if (position < 0)
        throw EUnknownEntry(QStringLiteral("cell %1 is not in pack '%2'").arg(failed, name));

    // The window the pack was built to, around the cells that stay.
    std::int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (const QStringList &g : pack.groups)
        for (const QString &l : g)
            if (l != failed && byLabel.value(l))
                lo = std::min(lo, byLabel.value(l)->microvolts),
                hi = std::max(hi, byLabel.value(l)->microvolts);

    const PackValues before = valuesOf(pack.groups, byLabel);
    const analysis::CapacityScore was = analysis::scoreOf(before.cells, before.groups);
    QString best;
    analysis::CapacityScore bestScore;
    for (const auto &c : all) {
        if (!cellregister::inStock(c) || !cellregister::failures(c, rules).empty())
            continue;
        if (lo <= hi
            && (c.microvolts < hi - pack.maxVoltageSpreadMicrovolts
                || c.microvolts > lo + pack.maxVoltageSpreadMicrovolts))
            continue;
        pack.groups[group][position] = c.label;
        const PackValues v = valuesOf(pack.groups, byLabel);
        analysis::CapacityScore s = analysis::scoreOf(v.cells, v.groups);
        if (!v.allCapacities || !pack.capacityFirst)
            s.capacitySpread = 0;
        if (best.isEmpty() || s.betterThan(bestScore))
            best = c.label, bestScore = s;
    }
    pack.groups[group][position] = failed;
    if (best.isEmpty())
        throw ENotEnoughCells(
            QStringLiteral("no spare cell passes the rules within the voltage window of pack '%1'")
                .arg(name));
    pack.groups[group][position] = best;
    const PackValues after = valuesOf(pack.groups, byLabel);
    line.writeOutput("replace " + failed.toUtf8() + " in group " + QByteArray::number(group + 1)
                     + " of pack " + name.toUtf8() + " by " + best.toUtf8()
                     + "\nresistance spread: "
                     + QByteArray::number(was.resistanceSpread * 1e3, 'f', 3) + " mΩ before, "
                     + QByteArray::number(bestScore.resistanceSpread * 1e3, 'f', 3) + " mΩ after\n"
                     + groupsTable(Format::Text, after, pack.groups) + spreadText(after));
    if (line.isSet(QStringLiteral("apply"))) {
        cellregister::swapCell(*reg, name, failed, best);
        printMessage(QStringLiteral("battery-analyzer-cli: pack '%1': %2 replaced by %3")
                         .arg(name, failed, best));
    }
    return kExitOk;
}

} // namespace

int runPack(const QStringList &arguments)
{
    const QString action = arguments.value(0);
    CommandLine line(QStringLiteral("pack"),
                     QString::fromUtf8(kPackHelp) + QString::fromUtf8(kRules));
    line.addValue(QStringLiteral("format"), QStringLiteral("F"));
    line.addValue(QStringLiteral("output"), QStringLiteral("FILE"));
    line.addFlag(QStringLiteral("apply"));
    line.addRules();
    if (!line.parse(arguments.mid(action.startsWith(u'-') ? 0 : 1)))
        return kExitOk;
    const QStringList args = line.positional();
    if (action == u"list" && args.isEmpty())
        return packList(line);
    if (action == u"show" && args.size() == 1)
        return packShow(line, args[0]);
    if (action == u"replace" && args.size() == 2)
        return packReplace(line, args[0], args[1]);
    line.fail(QStringLiteral("pack takes list, show NAME or replace NAME LABEL"));
}

} // namespace cli
