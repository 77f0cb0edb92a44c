#include "cellregister/measurements.h"

#include <QHash>
#include <QSqlRecord>

namespace cellregister {

namespace {

constexpr int kColumns = 11;
// Rows per INSERT: one statement per row would spend most of a large record in the driver.
constexpr int kRowsPerInsert = 64;

QString valuesSql(const QString &head, int rows, const QString &row)
{
    QString sql = head;
    for (int i = 0; i < rows; ++i)
        sql += (i == 0 ? QString() : QStringLiteral(",")) + row;
    return sql;
}

// The ids of these labels, adding the cells that are new. The caller holds the register's
// write lock, so no other writer adds cells meanwhile.
QHash<QString, qint64> cellIds(CellRegister &r, const QList<Measurement> &measurements)
{
    QHash<QString, qint64> ids;
    ids.reserve(measurements.size());
    QStringList fresh;
    for (const Measurement &m : measurements)
        ids.insert(m.label, 0);
    const auto lookUp = [&] {
        if (ids.size() > 200) {
            QSqlQuery all = r.run(QStringLiteral("SELECT id, label FROM cells"));
            while (all.next()) {
                const auto it = ids.find(all.value(1).toString());
                if (it != ids.end())
                    *it = all.value(0).toLongLong();
            }
            return;
        }
        QSqlQuery one = r.prepare(QStringLiteral("SELECT id FROM cells WHERE label = ?"));
        for (auto it = ids.begin(); it != ids.end(); ++it) {
            if (*it != 0)
                continue;
            one.addBindValue(it.key());
            r.exec(one);
            if (one.next())
                *it = one.value(0).toLongLong();
            one.finish();
        }
    };
    lookUp();
    // New labels in the order they first appear, so that ids follow the readings.
    for (const Measurement &m : measurements) {
        qint64 &id = ids[m.label];
        if (id == 0) {
            fresh << m.label;
            id = -1;
        }
    }
    if (fresh.isEmpty())
        return ids;
    const QString head = QStringLiteral("INSERT INTO cells (label) VALUES ");
    QSqlQuery full = r.prepare(valuesSql(head, kRowsPerInsert, QStringLiteral("(?)")));
    for (qsizetype i = 0; i < fresh.size();) {
        const int rows = int(std::min<qsizetype>(kRowsPerInsert, fresh.size() - i));
        QSqlQuery partial;
        QSqlQuery &q = rows == kRowsPerInsert
            ? full
            : (partial = r.prepare(valuesSql(head, rows, QStringLiteral("(?)"))));
        for (int k = 0; k < rows; ++k)
            q.addBindValue(fresh[i + k]);
        r.exec(q);
        i += rows;
    }
    for (const QString &label : fresh)
        ids[label] = 0;
    lookUp();
    return ids;
}

QString insertSql(int rows)
{
    return valuesSql(
        QStringLiteral("INSERT INTO measurements (cell_id, measured_at, group_number, microohms, "
                       "microvolts, resistance_text, voltage_text, model, source, source_line, "
                       "rest_start) VALUES "),
        rows, QStringLiteral("(?,?,?,?,?,?,?,?,?,?,?)"));
}

} // namespace

void addMeasurements(CellRegister &r, const QList<Measurement> &measurements)
{
    CellRegister::Transaction t(r);
    const QHash<QString, qint64> ids = cellIds(r, measurements);
    QSqlQuery full = r.prepare(insertSql(kRowsPerInsert));
    // The readings of one record share their time.
    QDateTime lastTime;
    QString lastTimeText;
    for (qsizetype i = 0; i < measurements.size();) {
        const int rows = int(std::min<qsizetype>(kRowsPerInsert, measurements.size() - i));
        QSqlQuery partial;
        QSqlQuery &q = rows == kRowsPerInsert ? full : (partial = r.prepare(insertSql(rows)));
        for (qsizetype k = i; k < i + rows; ++k) {
            const Measurement &m = measurements[k];
            if (m.at != lastTime || lastTimeText.isEmpty()) {
                lastTime = m.at;
                lastTimeText = timeText(m.at);
            }
            q.addBindValue(ids.value(m.label));
            q.addBindValue(lastTimeText);
            q.addBindValue(m.group);
            q.addBindValue(qint64(m.microohms));
            q.addBindValue(qint64(m.microvolts));
            q.addBindValue(m.resistanceText);
            q.addBindValue(m.voltageText);
            q.addBindValue(m.model);
            q.addBindValue(m.source);
            q.addBindValue(m.sourceLine);
            q.addBindValue(m.restStart ? 1 : 0);
        }
        r.exec(q);
        i += rows;
    }
    t.commit();
}

void forEachMeasurement(CellRegister &r, const QString &label,
                        const std::function<void(const Measurement &)> &f)
{
    const QString select =
        QStringLiteral("SELECT c.label, m.measured_at, m.group_number, m.microohms, m.microvolts, "
                       "m.resistance_text, "
                       "m.voltage_text, m.model, m.source, m.source_line, m.rest_start "
                       "FROM measurements m JOIN cells c ON c.id = m.cell_id ");
    const QString order =
        QStringLiteral(" ORDER BY c.label%1, m.measured_at, m.id").arg(r.labelCollation());
    QSqlQuery q = label.isNull()
        ? r.run(select + order)
        : r.run(select + QStringLiteral("WHERE c.label = ?") + order, {label});
    Measurement m;
    QString lastTimeText;
    while (q.next()) {
        m.label = q.value(0).toString();
        if (const QString at = q.value(1).toString(); at != lastTimeText) {
            m.at = timeFromText(at);
            lastTimeText = at;
        }
        m.group = q.value(2).toInt();
        m.microohms = q.value(3).toLongLong();
        m.microvolts = q.value(4).toLongLong();
        m.resistanceText = q.value(5).toString();
        m.voltageText = q.value(6).toString();
        m.model = q.value(7).toString();
        m.source = q.value(8).toString();
        m.sourceLine = q.value(9).toInt();
        m.restStart = q.value(10).toInt() != 0;
        f(m);
    }
}

bool hasCell(CellRegister &r, const QString &label)
{
    return r.run(QStringLiteral("SELECT 1 FROM cells WHERE label = ?"), {label}).next();
}

} // namespace cellregister
