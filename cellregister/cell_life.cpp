#include "cellregister/cell_life.h"

#include "cellregister/errors.h"
#include "cellregister/packs.h"

namespace cellregister {

std::vector<RecordRun> recordRuns(CellRegister &r)
{
    std::vector<RecordRun> runs;
    QSqlQuery q = r.run(QStringLiteral(
        "SELECT r.id, r.recorded_at, r.measured_at, r.model, r.source, COUNT(m.id) "
        "FROM record_runs r LEFT JOIN measurements m ON m.run_id = r.id "
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
    if (QSqlQuery q = r.run(QStringLiteral("SELECT 1 FROM record_runs WHERE id = ?"), {run});
        !r.next(q))
        throw EUnknownEntry(QStringLiteral("the register holds no record run %1").arg(run));
    Undone undone;
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
    r.run(QStringLiteral("DELETE FROM run_files WHERE run_id = ?"), {run});
    r.run(QStringLiteral("DELETE FROM record_runs WHERE id = ?"), {run});
    t.commit();
    return undone;
}

void retireCell(CellRegister &r, const QString &label, const QString &reason)
{
    CellRegister::Transaction t(r);
    const qint64 id = cellId(r, label);
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
    if (QSqlQuery q = r.run(QStringLiteral("SELECT 1 FROM cells WHERE label = ?"), {to}); r.next(q))
        throw EDuplicateEntry(QStringLiteral("a cell labelled '%1' exists already").arg(to));
    r.run(QStringLiteral("UPDATE cells SET label = ? WHERE id = ?"), {to, id});
    t.commit();
}

std::vector<CapacityMeasurement> capacityHistory(CellRegister &r, const QString &label)
{
    std::vector<CapacityMeasurement> history;
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
