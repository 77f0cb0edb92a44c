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

} // namespace

// The cell id of every label met so far. A run of many new labels would look each up on
// its own; past a few hundred, one scan of the cells finds them all (and holds every cell's
// from then on), and the cells it creates are read back by their ids, which follow every
// id before them.
struct RunWriter::Labels {
    QHash<LabelKey, qint64> ids;
    bool scanned = false;

    std::vector<qint64> of(CellRegister &r, const QList<Measurement> &measurements)
    {
        // New labels once each, in the order they first appear, so that the new cells'
        // ids follow the readings.
        QStringList fresh;
        for (const Measurement &m : measurements) {
            qint64 &id = ids[LabelKey{m.label}];
            if (id == 0) {
                id = -1;
                fresh << m.label;
            }
        }
        if (!fresh.isEmpty() && !scanned && fresh.size() > 200) {
            scanned = true;
            // Every cell, so that later chunks find theirs without asking again.
            RowReader all(r, QStringLiteral("SELECT id, label FROM cells"));
            while (all.next())
                ids.insert(LabelKey{all.text(1)}, all.integer(0));
        } else if (!fresh.isEmpty() && !scanned) {
            QSqlQuery one = r.prepare(QStringLiteral("SELECT id FROM cells WHERE label = ?"));
            for (const QString &label : std::as_const(fresh)) {
                one.addBindValue(label);
                r.exec(one);
                if (r.next(one))
                    ids[LabelKey{label}] = one.value(0).toLongLong();
                one.finish();
            }
        }
        // After a scan every label without an id is new; so is one no look-up found.
        QStringList created;
        for (const QString &label : std::as_const(fresh))
            if (ids.value(LabelKey{label}) == -1)
                created << label;
        if (!created.isEmpty()) {
            QSqlQuery top = r.run(QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM cells"));
            r.next(top);
            const qint64 before = top.value(0).toLongLong();
            top.finish();
            {
                RowInsert cells(r, QStringLiteral("INSERT INTO cells (label) VALUES "), 1,
                                created.size());
                for (const QString &label : std::as_const(created)) {
                    cells.add(label);
                    cells.endRow();
                }
            }
            // The caller holds the register's write lock: the cells above `before` are ours.
            RowReader made(r, QStringLiteral("SELECT id, label FROM cells WHERE id > ?"), {before});
            while (made.next())
                ids[LabelKey{made.text(1)}] = made.integer(0);
        }
        std::vector<qint64> out;
        out.reserve(std::size_t(measurements.size()));
        for (const Measurement &m : measurements)
            out.push_back(ids.value(LabelKey{m.label}));
        return out;
    }
};

RunWriter::RunWriter(CellRegister &r, const QDateTime &at, const QString &model,
                     const QString &source, qsizetype chunk)
    : r_(r),
      transaction_(r),
      chunk_(std::max<qsizetype>(chunk, 1)),
      labels_(std::make_unique<Labels>())
{
    // A null text would be bound as NULL.
    const auto text = [](const QString &s) { return s.isNull() ? QStringLiteral("") : s; };
    QSqlQuery added =
        r.run(QStringLiteral("INSERT INTO record_runs (recorded_at, measured_at, model, source) "
                             "VALUES (?, ?, ?, ?) RETURNING id"),
              {timeText(QDateTime::currentDateTimeUtc()), timeText(at), text(model), text(source)});
    r.next(added);
    run_ = added.value(0).toLongLong();
    // SQLite cannot commit while a statement is still stepping.
    added.finish();
    pending_.reserve(chunk_);
}

RunWriter::~RunWriter() = default;

void RunWriter::add(Measurement m)
{
    pending_.push_back(std::move(m));
    ++count_;
    if (pending_.size() >= chunk_)
        store();
}

void RunWriter::store()
{
    if (pending_.isEmpty())
        return;
    const std::vector<qint64> ids = labels_->of(r_, pending_);
    RowInsert rows(r_,
                   QStringLiteral("INSERT INTO measurements (cell_id, measured_at, group_number, "
                                  "microohms, microvolts, resistance_text, voltage_text, model, "
                                  "source, source_line, rest_start, run_id) VALUES "),
                   12, pending_.size());
    // The readings of one record share their time.
    QDateTime lastTime;
    QString lastTimeText;
    for (qsizetype i = 0; i < pending_.size(); ++i) {
        const Measurement &m = pending_[i];
        if (m.at != lastTime || lastTimeText.isEmpty()) {
            lastTime = m.at;
            lastTimeText = timeText(m.at);
        }
        rows.add(ids[std::size_t(i)]);
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
        rows.add(run_);
        rows.endRow();
    }
    pending_.clear();
}

qint64 RunWriter::commit()
{
    store();
    transaction_.commit();
    return run_;
}

qint64 addMeasurements(CellRegister &r, const QList<Measurement> &measurements)
{
    if (measurements.isEmpty())
        return 0;
    QStringList sources;
    for (const Measurement &m : measurements)
        if (sources.isEmpty() || sources.back() != m.source)
            sources << m.source;
    sources.removeDuplicates();
    RunWriter w(r, measurements.front().at, measurements.front().model,
                sources.join(QStringLiteral(", ")));
    for (const Measurement &m : measurements)
        w.add(m);
    return w.commit();
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
