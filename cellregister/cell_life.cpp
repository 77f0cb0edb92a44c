#include "cellregister/cell_life.h"

#include "cellregister/cell_summary.h"
#include "cellregister/errors.h"
#include "cellregister/label_key.h"
#include "cellregister/local_time.h"
#include "cellregister/packs.h"
#include "cellregister/replacement.h"

namespace cellregister {

std::vector<RecordRun> recordRuns(CellRegister &r)
{
    std::vector<RecordRun> runs;
    QSqlQuery q = r.run(QStringLiteral(
        "SELECT r.id, r.recorded_at, r.measured_at, r.model, r.source, COUNT(m.id) "
        "FROM record_runs r LEFT JOIN measurements m ON m.run_id = r.id "
        "WHERE r.undone_at IS NULL "
        "GROUP BY r.id, r.recorded_at, r.measured_at, r.model, r.source ORDER BY r.id"));
    while (r.next(q))
        runs.push_back({q.value(0).toLongLong(), timeFromText(q.value(1).toString()),
                        timeFromText(q.value(2).toString()), q.value(3).toString(),
                        q.value(4).toString(), q.value(5).toInt()});
    return runs;
}

Undone undoRun(CellRegister &r, qint64 run)
{
    CellRegister::Transaction t(r);
    if (QSqlQuery q =
            r.run(QStringLiteral("SELECT undone_at FROM record_runs WHERE id = ?"), {run});
        !r.next(q))
        throw EUnknownEntry(QStringLiteral("the register holds no record run %1").arg(run));
    else if (!q.isNull(0))
        throw EUnknownEntry(QStringLiteral("record run %1 was taken back already, at %2")
                                .arg(run)
                                .arg(localTimeText(timeFromText(q.value(0).toString()))));
    Undone undone;
    // The packs holding cells the run measured, which may fail without its readings.
    QStringList packs;
    {
        QSqlQuery q = r.run(QStringLiteral("SELECT DISTINCT p.name FROM packs p "
                                           "JOIN pack_cells pc ON pc.pack_id = p.id "
                                           "JOIN measurements m ON m.cell_id = pc.cell_id "
                                           "WHERE m.run_id = ?"),
                            {run});
        while (r.next(q))
            packs << q.value(0).toString();
        packs.sort();
    }
    QSqlQuery count =
        r.run(QStringLiteral("SELECT COUNT(*) FROM measurements WHERE run_id = ?"), {run});
    if (r.next(count))
        undone.readings = count.value(0).toInt();
    count.finish();
    // The run's cells that hold nothing but its readings.
    const QString alone = QStringLiteral(
        "FROM cells c WHERE c.id IN (SELECT cell_id FROM measurements WHERE run_id = ?) "
        "AND NOT EXISTS (SELECT 1 FROM measurements o WHERE o.cell_id = c.id "
        "AND (o.run_id IS NULL OR o.run_id <> ?)) "
        "AND NOT EXISTS (SELECT 1 FROM capacities k WHERE k.cell_id = c.id) "
        "AND NOT EXISTS (SELECT 1 FROM pack_cells pc WHERE pc.cell_id = c.id) "
        "AND NOT EXISTS (SELECT 1 FROM pack_swaps s WHERE s.removed_cell_id = c.id "
        "OR s.added_cell_id = c.id) AND c.capacity_uah IS NULL AND c.retired_reason IS NULL");
    QSqlQuery cells = r.run(QStringLiteral("SELECT c.id, c.label ") + alone
                                + QStringLiteral(" ORDER BY c.label") + r.labelCollation(),
                            {run, run});
    QVariantList gone;
    while (r.next(cells)) {
        gone << cells.value(0);
        undone.cellsRemoved << cells.value(1).toString();
    }
    cells.finish();
    r.run(QStringLiteral("DELETE FROM measurements WHERE run_id = ?"), {run});
    for (const QVariant &id : gone)
        r.run(QStringLiteral("DELETE FROM cells WHERE id = ?"), {id});
    // The run's number stays taken: a repeated undo must not take back a run recorded since.
    r.run(QStringLiteral("UPDATE record_runs SET undone_at = ? WHERE id = ?"),
          {timeText(QDateTime::currentDateTimeUtc()), run});
    for (const QString &name : std::as_const(packs)) {
        const Pack pack = loadPack(r, name);
        const analysis::Rules rules = packRules(pack, std::nullopt, analysis::Rules{});
        QStringList failing;
        for (const QStringList &group : pack.groups)
            for (const QString &label : group)
                if (const auto cell = summarizeCell(r, label);
                    !cell || !failures(*cell, rules).empty())
                    failing << label;
        if (!failing.isEmpty())
            undone.packsFailing.emplace_back(name, failing);
    }
    t.commit();
    return undone;
}

void retireCell(CellRegister &r, const QString &label, const QString &reason)
{
    CellRegister::Transaction t(r);
    const qint64 id = cellId(r, label);
    if (QSqlQuery q =
            r.run(QStringLiteral("SELECT p.name, c.label FROM pack_cells pc "
                                 "JOIN packs p ON p.id = pc.pack_id "
                                 "JOIN cells c ON c.id = pc.cell_id WHERE pc.cell_id = ?"),
                  {id});
        r.next(q))
        throw EDuplicateEntry(QStringLiteral("cell %1 is in pack '%2'; pack replace %2 %1 "
                                             "--apply takes it out and retires it")
                                  .arg(q.value(1).toString(), q.value(0).toString()));
    r.run(QStringLiteral("UPDATE cells SET retired_reason = ?, retired_at = ? WHERE id = ?"),
          {reason, timeText(QDateTime::currentDateTimeUtc()), id});
    t.commit();
}

void restoreCell(CellRegister &r, const QString &label)
{
    CellRegister::Transaction t(r);
    const qint64 id = cellId(r, label);
    r.run(QStringLiteral("UPDATE cells SET retired_reason = NULL, retired_at = NULL WHERE id = ?"),
          {id});
    t.commit();
}

void relabelCell(CellRegister &r, const QString &from, const QString &to)
{
    CellRegister::Transaction t(r);
    const qint64 id = cellId(r, from);
    // Another cell of this label in any case, a twin of an earlier version's included.
    if (QSqlQuery q = r.run(QStringLiteral("SELECT label FROM cells WHERE id <> ? AND "
                                           "(label = ? OR label_key = ?)"),
                            {id, to, labelKey(to)});
        r.next(q))
        throw EDuplicateEntry(
            q.value(0).toString() == to
                ? QStringLiteral("a cell labelled '%1' exists already").arg(to)
                : QStringLiteral("a cell labelled '%1' exists already, which '%2' names in "
                                 "another case")
                      .arg(q.value(0).toString(), to));
    const QString oldKey = [&] {
        QSqlQuery q = r.run(QStringLiteral("SELECT label_key FROM cells WHERE id = ?"), {id});
        r.next(q);
        return q.value(0).toString();
    }();
    r.run(QStringLiteral("UPDATE cells SET label = ?, label_key = ? WHERE id = ?"),
          {to, labelKey(to), id});
    // A twin an earlier version let in is named by the key its first-written twin leaves.
    if (!oldKey.isEmpty() && oldKey != labelKey(to))
        passOnKey(r, oldKey);
    t.commit();
}

void mergeCells(CellRegister &r, const QString &keep, const QString &other)
{
    CellRegister::Transaction t(r);
    const qint64 kept = cellId(r, keep);
    const qint64 gone = cellId(r, other);
    const QString keptLabel = *storedLabel(r, keep);
    const QString goneLabel = [&] {
        QSqlQuery q = r.run(QStringLiteral("SELECT label FROM cells WHERE id = ?"), {gone});
        r.next(q);
        return q.value(0).toString();
    }();
    if (kept == gone || labelKey(keptLabel) != labelKey(goneLabel))
        throw EDuplicateEntry(QStringLiteral("cells '%1' and '%2' are not two labels of one cell "
                                             "in different case; only such twins are merged")
                                  .arg(keptLabel, goneLabel));
    if (QSqlQuery q =
            r.run(QStringLiteral("SELECT COUNT(*) FROM pack_cells WHERE cell_id IN (?, ?)"),
                  {kept, gone});
        r.next(q) && q.value(0).toInt() > 1)
        throw EDuplicateEntry(QStringLiteral("cells '%1' and '%2' are both in packs; pack replace "
                                             "takes one out first")
                                  .arg(keptLabel, goneLabel));
    // A retired cell takes no place in a pack.
    if (QSqlQuery q = r.run(QStringLiteral("SELECT 1 FROM cells c JOIN pack_cells pc ON "
                                           "pc.cell_id = ? WHERE c.id = ? AND "
                                           "c.retired_reason IS NOT NULL"),
                            {gone, kept});
        r.next(q))
        throw EDuplicateEntry(QStringLiteral("cell '%1' is retired and '%2' sits in a pack; "
                                             "cell restore %1 first")
                                  .arg(keptLabel, goneLabel));
    for (const char *sql : {"UPDATE measurements SET cell_id = ? WHERE cell_id = ?",
                            "UPDATE capacities SET cell_id = ? WHERE cell_id = ?",
                            "UPDATE pack_cells SET cell_id = ? WHERE cell_id = ?",
                            "UPDATE pack_swaps SET removed_cell_id = ? WHERE removed_cell_id = ?",
                            "UPDATE pack_swaps SET added_cell_id = ? WHERE added_cell_id = ?"})
        r.run(QString::fromLatin1(sql), {kept, gone});
    // The latest capacity of the two; the kept cell's status stays.
    r.run(
        QStringLiteral(
            "UPDATE cells SET capacity_uah = o.capacity_uah, capacity_source = o.capacity_source, "
            "capacity_at = o.capacity_at FROM (SELECT capacity_uah, capacity_source, capacity_at "
            "FROM cells WHERE id = ?) o WHERE cells.id = ? AND o.capacity_uah IS NOT NULL AND "
            "(cells.capacity_at IS NULL OR cells.capacity_at < o.capacity_at)"),
        {gone, kept});
    r.run(QStringLiteral("DELETE FROM cells WHERE id = ?"), {gone});
    r.run(QStringLiteral("UPDATE cells SET label_key = ? WHERE id = ?"),
          {labelKey(keptLabel), kept});
    t.commit();
}

std::vector<CapacityMeasurement> capacityHistory(CellRegister &r, const QString &given)
{
    std::vector<CapacityMeasurement> history;
    const std::optional<QString> stored = storedLabel(r, given);
    if (!stored)
        return history;
    const QString &label = *stored;
    QSqlQuery q = r.run(QStringLiteral("SELECT k.capacity_uah, k.source, k.measured_at "
                                       "FROM capacities k JOIN cells c ON c.id = k.cell_id "
                                       "WHERE c.label = ? ORDER BY k.measured_at, k.id"),
                        {label});
    while (r.next(q))
        history.push_back(
            {q.value(0).toLongLong(), q.value(1).toString(), timeFromText(q.value(2).toString())});
    return history;
}

} // namespace cellregister
