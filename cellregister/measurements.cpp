#include "cellregister/measurements.h"

#include "cellregister/bulk_rows.h"

#include <QHash>

#include <QSqlRecord>
#include <algorithm>
#include <vector>

namespace cellregister {

namespace {

// A label as a hash key. Qt's own string hash resists keys crafted against it and costs,
// per label, a good part of storing the reading; labels come from the user's own files.
struct LabelKey {
    QString text;
    friend bool operator==(const LabelKey &a, const LabelKey &b) { return a.text == b.text; }
};

size_t qHash(const LabelKey &key, size_t seed) noexcept
{
    // FNV-1a over the UTF-16 code units
    std::uint64_t h = 14695981039346656037ULL ^ seed;
    for (const QChar c : key.text)
        h = (h ^ c.unicode()) * 1099511628211ULL;
    return size_t(h);
}

// The cell id of each measurement, adding the cells that are new. The caller holds the
// register's write lock, so no other writer adds cells meanwhile.
std::vector<qint64> cellIds(CellRegister &r, const QList<Measurement> &measurements)
{
    // Each label once, in the order it first appears, so that new cells' ids follow the
    // readings; `place` is one more than the label's place in `labels`.
    QHash<LabelKey, qsizetype> place;
    place.reserve(measurements.size());
    QStringList labels;
    std::vector<qsizetype> labelOf;
    labelOf.reserve(measurements.size());
    for (const Measurement &m : measurements) {
        qsizetype &p = place[LabelKey{m.label}];
        if (p == 0) {
            labels << m.label;
            p = labels.size();
        }
        labelOf.push_back(p - 1);
    }
    std::vector<qint64> ids(labels.size(), 0);
    const auto lookUp = [&] {
        if (labels.size() > 200) {
            RowReader all(r, QStringLiteral("SELECT id, label FROM cells"));
            while (all.next()) {
                const auto it = place.constFind(LabelKey{all.text(1)});
                if (it != place.cend())
                    ids[*it - 1] = all.integer(0);
            }
            return;
        }
        QSqlQuery one = r.prepare(QStringLiteral("SELECT id FROM cells WHERE label = ?"));
        for (qsizetype i = 0; i < labels.size(); ++i) {
            if (ids[i] != 0)
                continue;
            one.addBindValue(labels[i]);
            r.exec(one);
            if (r.next(one))
                ids[i] = one.value(0).toLongLong();
            one.finish();
        }
    };
    lookUp();
    const auto fresh = qsizetype(std::count(ids.begin(), ids.end(), 0));
    if (fresh > 0) {
        RowInsert cells(r, QStringLiteral("INSERT INTO cells (label) VALUES "), 1, fresh);
        for (qsizetype i = 0; i < labels.size(); ++i) {
            if (ids[i] == 0) {
                cells.add(labels[i]);
                cells.endRow();
            }
        }
        lookUp();
    }
    std::vector<qint64> idOf;
    idOf.reserve(measurements.size());
    for (const qsizetype l : labelOf)
        idOf.push_back(ids[l]);
    return idOf;
}

} // namespace

qint64 addMeasurements(CellRegister &r, const QList<Measurement> &measurements)
{
    if (measurements.isEmpty())
        return 0;
    CellRegister::Transaction t(r);
    QStringList sources;
    for (const Measurement &m : measurements)
        if (sources.isEmpty() || sources.back() != m.source)
            sources << m.source;
    sources.removeDuplicates();
    const Measurement &first = measurements.front();
    // A null text would be bound as NULL.
    const auto text = [](const QString &s) { return s.isNull() ? QStringLiteral("") : s; };
    QSqlQuery added =
        r.run(QStringLiteral("INSERT INTO record_runs (recorded_at, measured_at, model, source) "
                             "VALUES (?, ?, ?, ?) RETURNING id"),
              {timeText(QDateTime::currentDateTimeUtc()), timeText(first.at), text(first.model),
               text(sources.join(QStringLiteral(", ")))});
    r.next(added);
    const qint64 run = added.value(0).toLongLong();
    // SQLite cannot commit while a statement is still stepping.
    added.finish();
    const std::vector<qint64> ids = cellIds(r, measurements);
    RowInsert rows(r,
                   QStringLiteral("INSERT INTO measurements (cell_id, measured_at, group_number, "
                                  "microohms, microvolts, resistance_text, voltage_text, model, "
                                  "source, source_line, rest_start, run_id) VALUES "),
                   12, measurements.size());
    // The readings of one record share their time.
    QDateTime lastTime;
    QString lastTimeText;
    for (qsizetype i = 0; i < measurements.size(); ++i) {
        const Measurement &m = measurements[i];
        if (m.at != lastTime || lastTimeText.isEmpty()) {
            lastTime = m.at;
            lastTimeText = timeText(m.at);
        }
        rows.add(ids[i]);
        rows.add(lastTimeText);
        rows.add(m.group);
        rows.add(m.microohms);
        rows.add(m.microvolts);
        rows.add(m.resistanceText);
        rows.add(m.voltageText);
        rows.add(m.model);
        rows.add(m.source);
        rows.add(m.sourceLine);
        rows.add(m.restStart ? 1 : 0);
        rows.add(run);
        rows.endRow();
    }
    t.commit();
    return run;
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
    while (r.next(q)) {
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
    QSqlQuery q = r.run(QStringLiteral("SELECT 1 FROM cells WHERE label = ?"), {label});
    return r.next(q);
}

} // namespace cellregister
