#include "cellregister/packs.h"

#include "cellregister/errors.h"
#include "cellregister/label_key.h"

#include <QHash>

#include <cmath>

namespace cellregister {

qint64 cellId(CellRegister &r, const QString &label)
{
    if (QSqlQuery q = r.run(QStringLiteral("SELECT id FROM cells WHERE label = ?"), {label});
        r.next(q))
        return q.value(0).toLongLong();
    QSqlQuery q =
        r.run(QStringLiteral("SELECT id FROM cells WHERE label_key = ?"), {labelKey(label)});
    if (!r.next(q))
        throw EUnknownEntry(QStringLiteral("the register holds no cell '%1'").arg(label));
    return q.value(0).toLongLong();
}

namespace {

qint64 packId(CellRegister &r, const QString &name)
{
    QSqlQuery q = r.run(QStringLiteral("SELECT id FROM packs WHERE name = ?"), {name});
    if (!r.next(q))
        throw EUnknownEntry(QStringLiteral("the register holds no pack '%1'").arg(name));
    return q.value(0).toLongLong();
}

QString packOf(CellRegister &r, qint64 cell)
{
    QSqlQuery q =
        r.run(QStringLiteral("SELECT p.name FROM pack_cells pc JOIN packs p ON p.id = pc.pack_id "
                             "WHERE pc.cell_id = ?"),
              {cell});
    return r.next(q) ? q.value(0).toString() : QString();
}

Pack packFromRow(const QSqlQuery &q)
{
    Pack p;
    p.name = q.value(1).toString();
    p.series = q.value(2).toInt();
    p.parallel = q.value(3).toInt();
    p.maxVoltageSpreadMicrovolts = q.value(4).toLongLong();
    p.capacityFirst = q.value(5).toInt() != 0;
    p.created = timeFromText(q.value(6).toString());
    if (q.value(11).toInt() != 0) {
        analysis::Rules rules;
        if (!q.isNull(7))
            rules.maxMicroohms = q.value(7).toLongLong();
        if (!q.isNull(8))
            rules.maxSelfDischargeMvPerDay = double(q.value(8).toLongLong()) / 1000.0;
        if (!q.isNull(9))
            rules.minCapacityMicroampHours = q.value(9).toLongLong();
        rules.minDays = double(q.value(10).toLongLong()) / 1000.0;
        if (!q.isNull(12))
            rules.minMicrovolts = q.value(12).toLongLong();
        if (!q.isNull(13))
            rules.maxMicrovolts = q.value(13).toLongLong();
        p.rules = rules;
    }
    return p;
}

const QString kPackColumns =
    QStringLiteral("SELECT id, name, series, parallel, max_voltage_spread_uv, capacity_first, "
                   "created_at, max_resistance_uohm, max_self_discharge_uv_per_day, "
                   "min_capacity_uah, min_rest_millidays, rules_stored, min_voltage_uv, "
                   "max_voltage_uv FROM packs");

template <typename T, typename F>
QVariant orNull(const std::optional<T> &v, F f)
{
    return v ? QVariant(f(*v)) : QVariant();
}

void retire(CellRegister &r, qint64 cell, const QString &reason)
{
    r.run(QStringLiteral("UPDATE cells SET retired_reason = ?, retired_at = ? WHERE id = ?"),
          {reason, timeText(QDateTime::currentDateTimeUtc()), cell});
}

} // namespace

void savePack(CellRegister &r, const Pack &pack)
{
    CellRegister::Transaction t(r);
    if (QSqlQuery taken = r.run(QStringLiteral("SELECT 1 FROM packs WHERE name = ?"), {pack.name});
        r.next(taken))
        throw EDuplicateEntry(QStringLiteral("a pack named '%1' exists already").arg(pack.name));
    const analysis::Rules rules = pack.rules.value_or(analysis::Rules{});
    const auto whole = [](auto v) { return qint64(v); };
    const auto micro = [](double mv) { return qint64(std::llround(mv * 1000.0)); };
    QSqlQuery add =
        r.run(QStringLiteral("INSERT INTO packs (name, series, parallel, max_voltage_spread_uv, "
                             "capacity_first, created_at, max_resistance_uohm, "
                             "max_self_discharge_uv_per_day, min_capacity_uah, min_rest_millidays, "
                             "rules_stored, min_voltage_uv, max_voltage_uv) VALUES (?, ?, ?, ?, "
                             "?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
              {pack.name, pack.series, pack.parallel, qint64(pack.maxVoltageSpreadMicrovolts),
               pack.capacityFirst ? 1 : 0, timeText(pack.created),
               orNull(rules.maxMicroohms, whole), orNull(rules.maxSelfDischargeMvPerDay, micro),
               orNull(rules.minCapacityMicroampHours, whole),
               qint64(std::llround(rules.minDays * 1000.0)), pack.rules ? 1 : 0,
               orNull(rules.minMicrovolts, whole), orNull(rules.maxMicrovolts, whole)});
    r.next(add);
    const qint64 id = add.value(0).toLongLong();
    // SQLite cannot commit while a statement is still stepping.
    add.finish();
    QSqlQuery member = r.prepare(QStringLiteral(
        "INSERT INTO pack_cells (pack_id, group_index, position, cell_id) VALUES (?, ?, ?, ?)"));
    for (std::size_t g = 0; g < pack.groups.size(); ++g) {
        for (qsizetype p = 0; p < pack.groups[g].size(); ++p) {
            const qint64 cell = cellId(r, pack.groups[g][p]);
            const QString other = packOf(r, cell);
            if (!other.isEmpty())
                throw EDuplicateEntry(QStringLiteral("cell %1 is already in pack '%2'")
                                          .arg(pack.groups[g][p], other));
            member.addBindValue(id);
            member.addBindValue(int(g));
            member.addBindValue(int(p));
            member.addBindValue(cell);
            r.exec(member);
        }
    }
    t.commit();
}

std::vector<Pack> listPacks(CellRegister &r)
{
    std::vector<Pack> packs;
    QSqlQuery q = r.run(kPackColumns + QStringLiteral(" ORDER BY name") + r.labelCollation());
    while (r.next(q))
        packs.push_back(packFromRow(q));
    return packs;
}

Pack loadPack(CellRegister &r, const QString &name)
{
    QSqlQuery q = r.run(kPackColumns + QStringLiteral(" WHERE name = ?"), {name});
    if (!r.next(q))
        throw EUnknownEntry(QStringLiteral("the register holds no pack '%1'").arg(name));
    Pack p = packFromRow(q);
    p.groups.resize(std::size_t(p.series));
    QSqlQuery cells = r.run(QStringLiteral("SELECT pc.group_index, c.label FROM pack_cells pc "
                                           "JOIN cells c ON c.id = pc.cell_id WHERE pc.pack_id = ? "
                                           "ORDER BY pc.group_index, pc.position"),
                            {q.value(0)});
    while (r.next(cells)) {
        const int g = cells.value(0).toInt();
        if (g >= 0 && g < p.series)
            p.groups[std::size_t(g)] << cells.value(1).toString();
    }
    return p;
}

std::vector<Swap> swapsOf(CellRegister &r, const QString &name)
{
    const qint64 id = packId(r, name);
    std::vector<Swap> swaps;
    QSqlQuery q = r.run(
        QStringLiteral("SELECT s.group_index, a.label, b.label, s.swapped_at FROM pack_swaps s "
                       "JOIN cells a ON a.id = s.removed_cell_id "
                       "JOIN cells b ON b.id = s.added_cell_id WHERE s.pack_id = ? ORDER BY s.id"),
        {id});
    while (r.next(q))
        swaps.push_back({q.value(0).toInt() + 1, q.value(1).toString(), q.value(2).toString(),
                         timeFromText(q.value(3).toString())});
    return swaps;
}

std::vector<std::pair<QString, Swap>> swapsOfCell(CellRegister &r, const QString &given)
{
    std::vector<std::pair<QString, Swap>> swaps;
    const std::optional<QString> stored = storedLabel(r, given);
    if (!stored)
        return swaps;
    const QString &label = *stored;
    QSqlQuery q =
        r.run(QStringLiteral(
                  "SELECT p.name, s.group_index, a.label, b.label, s.swapped_at FROM pack_swaps s "
                  "JOIN packs p ON p.id = s.pack_id "
                  "JOIN cells a ON a.id = s.removed_cell_id "
                  "JOIN cells b ON b.id = s.added_cell_id WHERE a.label = ? OR b.label = ? "
                  "ORDER BY s.id"),
              {label, label});
    while (r.next(q))
        swaps.emplace_back(q.value(0).toString(),
                           Swap{q.value(1).toInt() + 1, q.value(2).toString(),
                                q.value(3).toString(), timeFromText(q.value(4).toString())});
    return swaps;
}

void swapCell(CellRegister &r, const QString &name, const QString &removed, const QString &added,
              Removed what)
{
    CellRegister::Transaction t(r);
    const qint64 pack = packId(r, name);
    const qint64 out = cellId(r, removed);
    const qint64 in = cellId(r, added);
    QSqlQuery place =
        r.run(QStringLiteral(
                  "SELECT group_index, position FROM pack_cells WHERE pack_id = ? AND cell_id = ?"),
              {pack, out});
    if (!r.next(place))
        throw EUnknownEntry(QStringLiteral("cell %1 is not in pack '%2'").arg(removed, name));
    const int group = place.value(0).toInt();
    const int position = place.value(1).toInt();
    const QString other = packOf(r, in);
    if (!other.isEmpty())
        throw EDuplicateEntry(QStringLiteral("cell %1 is already in pack '%2'").arg(added, other));
    if (QSqlQuery retired =
            r.run(QStringLiteral("SELECT retired_reason FROM cells WHERE id = ?"), {in});
        r.next(retired) && !retired.isNull(0))
        throw EDuplicateEntry(
            QStringLiteral("cell %1 is retired (%2)").arg(added, retired.value(0).toString()));
    if (what == Removed::Retire)
        retire(r, out, QStringLiteral("taken out of pack '%1'").arg(name));
    r.run(QStringLiteral("UPDATE pack_cells SET cell_id = ? WHERE pack_id = ? AND group_index = ? "
                         "AND position = ?"),
          {in, pack, group, position});
    r.run(QStringLiteral("INSERT INTO pack_swaps (pack_id, group_index, position, removed_cell_id, "
                         "added_cell_id, "
                         "swapped_at) VALUES (?, ?, ?, ?, ?, ?)"),
          {pack, group, position, out, in, timeText(QDateTime::currentDateTimeUtc())});
    t.commit();
}

void deletePack(CellRegister &r, const QString &name)
{
    CellRegister::Transaction t(r);
    const qint64 pack = packId(r, name);
    r.run(QStringLiteral("DELETE FROM pack_swaps WHERE pack_id = ?"), {pack});
    r.run(QStringLiteral("DELETE FROM pack_cells WHERE pack_id = ?"), {pack});
    r.run(QStringLiteral("DELETE FROM packs WHERE id = ?"), {pack});
    t.commit();
}

QStringList cellsInPacks(CellRegister &r)
{
    QStringList labels;
    QSqlQuery q = r.run(
        QStringLiteral("SELECT c.label FROM pack_cells pc JOIN cells c ON c.id = pc.cell_id"));
    while (r.next(q))
        labels << q.value(0).toString();
    return labels;
}

QStringList setCapacities(CellRegister &r,
                          const std::vector<std::pair<QString, std::int64_t>> &capacities,
                          const QString &source, bool skipUnknown, const QDateTime &at)
{
    CellRegister::Transaction t(r);
    QHash<QString, qint64> ids;
    QHash<QString, qint64> keyed; // the cell each key names
    QSqlQuery all = r.run(QStringLiteral("SELECT id, label, label_key FROM cells"));
    while (r.next(all)) {
        const qint64 id = all.value(0).toLongLong();
        ids.insert(all.value(1).toString(), id);
        if (!all.isNull(2))
            keyed.insert(all.value(2).toString(), id);
    }
    // As storedLabel finds a cell.
    const auto idOf = [&](const QString &label) -> qint64 {
        if (const auto it = ids.constFind(label); it != ids.constEnd())
            return *it;
        return keyed.value(labelKey(label), 0);
    };
    QStringList unknown;
    for (const auto &[label, uah] : capacities)
        if (idOf(label) == 0)
            unknown << label;
    if (!unknown.isEmpty() && !skipUnknown)
        throw EUnknownEntry(
            QStringLiteral("the register holds no cell %1; nothing imported (--skip-unknown "
                           "imports the others)")
                .arg(unknown.join(QStringLiteral(", "))));
    // Every capacity measured is kept; the cell's own columns hold the latest measured.
    QSqlQuery set = r.prepare(QStringLiteral(
        "UPDATE cells SET capacity_uah = ?, capacity_source = ?, capacity_at = ? WHERE id = ? "
        "AND (capacity_at IS NULL OR capacity_at <= ?)"));
    QSqlQuery keep = r.prepare(
        QStringLiteral("INSERT INTO capacities (capacity_uah, source, measured_at, cell_id) "
                       "VALUES (?, ?, ?, ?)"));
    const QString now = timeText(at.isValid() ? at : QDateTime::currentDateTimeUtc());
    for (const auto &[label, uah] : capacities) {
        const qint64 id = idOf(label);
        if (id == 0)
            continue;
        set.addBindValue(qint64(uah));
        set.addBindValue(source);
        set.addBindValue(now);
        set.addBindValue(id);
        set.addBindValue(now);
        r.exec(set);
        for (const QVariant &v :
             {QVariant(qint64(uah)), QVariant(source), QVariant(now), QVariant(id)})
            keep.addBindValue(v);
        r.exec(keep);
    }
    t.commit();
    return unknown;
}

} // namespace cellregister
