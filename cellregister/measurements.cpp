#include "cellregister/measurements.h"

#include "cellregister/bulk_rows.h"
#include "cellregister/errors.h"
#include "cellregister/label_key.h"
#include "reading/line_format.h"

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

// Labels per statement when looking up cells the register held already.
constexpr qsizetype kLabelsPerLookup = 64;

// Whether a text equals UTF-8 bytes, for texts of ASCII; false for any other.
bool sameAscii(const QString &text, QByteArrayView utf8)
{
    if (text.size() != utf8.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80 || c != char16_t(uchar(utf8[i])))
            return false;
    }
    return true;
}

} // namespace

int storedShape(const Measurement &m)
{
    if (m.shape != 0 && reading::readingOf(m.microohms, m.microvolts, m.shape))
        return m.shape;
    const auto shown =
        reading::parseTexts(m.resistanceText.toUtf8(), m.voltageText.toLatin1(), reading::kOhmUtf8);
    if (!shown || shown->microohms() != m.microohms || shown->microvolts() != m.microvolts)
        return 0;
    return reading::textShape(*shown);
}

void showTexts(std::int64_t microohms, std::int64_t microvolts, int shape, QString &resistance,
               QString &voltage)
{
    const auto r = reading::readingOf(microohms, microvolts, shape);
    if (!r) {
        resistance.clear();
        voltage.clear();
        return;
    }
    QByteArray text;
    reading::appendResistanceText(text, *r, reading::kOhmUtf8);
    resistance = QString::fromUtf8(text);
    text.truncate(0);
    reading::appendVoltageText(text, *r);
    voltage = QString::fromLatin1(text);
}

void fillTextShapes(CellRegister &r)
{
    const auto refuse = [&](qint64 id, const QString &why) {
        throw ERegisterFault(QStringLiteral("the register %1 cannot be brought up to date and is "
                                            "left unchanged: measurement %2 %3")
                                 .arg(r.location().shown())
                                 .arg(id)
                                 .arg(why));
    };
    std::vector<std::pair<qint64, int>> shapes;
    {
        RowReader rows(r,
                       QStringLiteral("SELECT m.id, c.label, m.microohms, m.microvolts, "
                                      "m.resistance_text, m.voltage_text, m.model, k.model "
                                      "FROM measurements m JOIN cells c ON c.id = m.cell_id "
                                      "LEFT JOIN record_runs k ON k.id = m.run_id "
                                      "ORDER BY m.id"));
        Measurement m;
        QString resistance, voltage;
        while (rows.next()) {
            const qint64 id = rows.integer(0);
            m.label = rows.text(1);
            m.microohms = rows.integer(2);
            m.microvolts = rows.integer(3);
            m.resistanceText = rows.text(4);
            m.voltageText = rows.text(5);
            if (rows.isNull(7) || rows.text(6) != rows.text(7))
                refuse(id,
                       QStringLiteral("(cell %1) was taken with %2, its record run with %3")
                           .arg(m.label, rows.text(6),
                                rows.isNull(7) ? QStringLiteral("none") : rows.text(7)));
            m.shape = 0;
            const int shape = storedShape(m);
            showTexts(m.microohms, m.microvolts, shape, resistance, voltage);
            if (shape == 0 || resistance != m.resistanceText || voltage != m.voltageText)
                refuse(id,
                       QStringLiteral("(cell %1) shows \"%2\" and \"%3\", which its values "
                                      "(%4 µΩ, %5 µV) do not give back")
                           .arg(m.label, m.resistanceText, m.voltageText)
                           .arg(m.microohms)
                           .arg(m.microvolts));
            shapes.emplace_back(id, shape);
        }
    }
    QSqlQuery set =
        r.prepare(QStringLiteral("UPDATE measurements SET text_shape = ? WHERE id = ?"));
    for (const auto &[id, shape] : shapes) {
        set.addBindValue(shape);
        set.addBindValue(id);
        r.exec(set);
    }
}

// The labels of one chunk, each once (by key: see labelKey), with the ids of their cells.
// Memory holds no more than a chunk's labels. New labels are created by statements that
// return their ids (the usual record numbers cells never seen), in the order given as a rule,
// which is looked at first; the index finds the cells the register held already.
struct RunWriter::Labels {
    QHash<LabelKey, qsizetype> index; // by key: one past the label's place in distinct
    QStringList distinct; // as first written in the chunk
    QStringList keys; // of distinct
    std::vector<qint64> ids; // of distinct's cells; 0 until known
    std::vector<qsizetype> of; // each reading's label in distinct
    qsizetype next = 0; // the label the next returned row most likely has
    qsizetype found = 0;
    // The cells this run made, and whether it measured any the register held before it.
    qint64 lastIdBefore = 0;
    qsizetype made = 0;
    QStringList madeShown;
    bool measuredKnown = false;

    void returned(qint64 id, QByteArrayView utf8)
    {
        qsizetype at = next < keys.size() && sameAscii(keys[next], utf8)
            ? next
            : index.value(LabelKey{QString::fromUtf8(utf8)}) - 1;
        if (at < 0)
            return;
        ids[std::size_t(at)] = id;
        next = at + 1;
        ++found;
        if (made++ < RunWriter::kNewLabelsShown)
            madeShown << distinct[at];
    }
};

std::vector<qint64> RunWriter::cellIds()
{
    Labels &l = *labels_;
    l.index.clear();
    l.distinct.clear();
    l.keys.clear();
    l.of.clear();
    for (const Measurement &m : std::as_const(pending_)) {
        QString key = labelKey(m.label);
        qsizetype &at = l.index[LabelKey{key}];
        if (at == 0) {
            l.distinct << m.label;
            l.keys << std::move(key);
            at = l.distinct.size();
        }
        l.of.push_back(at - 1);
    }
    l.ids.assign(std::size_t(l.distinct.size()), 0);
    l.next = 0;
    l.found = 0;
    if (!cells_)
        cells_ = std::make_unique<RowInsert>(
            r_, QStringLiteral("INSERT INTO cells (label, label_key) VALUES "), 2, 0,
            QStringLiteral(" ON CONFLICT DO NOTHING RETURNING id, label_key"),
            [&l](qint64 id, QByteArrayView key) { l.returned(id, key); });
    cells_->expect(l.distinct.size());
    for (qsizetype i = 0; i < l.distinct.size(); ++i) {
        cells_->add(l.distinct[i]);
        cells_->add(l.keys[i]);
        cells_->endRow();
    }
    if (l.found < l.distinct.size()) {
        QVariantList known;
        const auto lookUp = [&] {
            QString sql = QStringLiteral("SELECT id, label_key FROM cells WHERE label_key IN (?");
            for (qsizetype i = 1; i < known.size(); ++i)
                sql += QStringLiteral(",?");
            RowReader rows(r_, sql + u')', known);
            while (rows.next())
                if (const qsizetype at = l.index.value(LabelKey{rows.text(1)}); at > 0) {
                    const qint64 id = rows.integer(0);
                    l.ids[std::size_t(at - 1)] = id;
                    l.measuredKnown = l.measuredKnown || id <= l.lastIdBefore;
                }
            known.clear();
        };
        for (qsizetype i = 0; i < l.distinct.size(); ++i) {
            if (l.ids[std::size_t(i)] != 0)
                continue;
            known << l.keys[i];
            if (known.size() == kLabelsPerLookup)
                lookUp();
        }
        if (!known.isEmpty())
            lookUp();
    }
    std::vector<qint64> out;
    out.reserve(l.of.size());
    for (const qsizetype i : l.of)
        out.push_back(l.ids[std::size_t(i)]);
    return out;
}

qsizetype RunWriter::newCells() const
{
    return labels_->made;
}

QStringList RunWriter::newLabels() const
{
    return labels_->madeShown;
}

bool RunWriter::measuredKnownCells() const
{
    return labels_->measuredKnown;
}

RunWriter::RunWriter(CellRegister &r, const QDateTime &at, const QString &model,
                     const QString &source, qsizetype chunk)
    : r_(r),
      transaction_(r),
      source_(source.isNull() ? QStringLiteral("") : source),
      chunk_(std::max<qsizetype>(chunk, 1)),
      labels_(std::make_unique<Labels>())
{
    // A null text would be bound as NULL.
    const auto text = [](const QString &s) { return s.isNull() ? QStringLiteral("") : s; };
    QSqlQuery added =
        r.run(QStringLiteral("INSERT INTO record_runs (recorded_at, measured_at, model, source) "
                             "VALUES (?, ?, ?, ?) RETURNING id"),
              {timeText(QDateTime::currentDateTimeUtc()), timeText(at), text(model), source_});
    r.next(added);
    run_ = added.value(0).toLongLong();
    // SQLite cannot commit while a statement is still stepping.
    added.finish();
    // The cells that are there before the run: the transaction holds the write lock, so
    // every cell made until it commits is this run's.
    QSqlQuery last = r.run(QStringLiteral("SELECT MAX(id) FROM cells"));
    if (r.next(last))
        labels_->lastIdBefore = last.value(0).toLongLong();
    last.finish();
    pending_.reserve(chunk_);
}

// The statements go before the transaction is rolled back.
RunWriter::~RunWriter() = default;

void RunWriter::add(Measurement m)
{
    m.shape = storedShape(m);
    if (m.shape == 0)
        throw ERegisterFault(
            QStringLiteral("a reading of cell %1 shows %2 and %3, which are not its values "
                           "(%4 µΩ, %5 µV); nothing of the record is stored")
                .arg(m.label, m.resistanceText, m.voltageText)
                .arg(m.microohms)
                .arg(m.microvolts));
    pending_.push_back(std::move(m));
    ++count_;
    if (pending_.size() >= chunk_)
        store();
}

qint64 RunWriter::fileOf(const QString &source)
{
    if (source == source_)
        return 0;
    if (source == lastFile_)
        return lastFileId_;
    qint64 &id = files_[source];
    if (id == 0) {
        QSqlQuery added = r_.run(
            QStringLiteral("INSERT INTO run_files (run_id, path) VALUES (?, ?) RETURNING id"),
            {run_, source});
        r_.next(added);
        id = added.value(0).toLongLong();
        added.finish();
    }
    lastFile_ = source;
    lastFileId_ = id;
    return id;
}

void RunWriter::store()
{
    if (pending_.isEmpty())
        return;
    const std::vector<qint64> ids = cellIds();
    pendingFiles_.clear();
    for (const Measurement &m : std::as_const(pending_))
        pendingFiles_.push_back(fileOf(m.source));
    if (!rows_)
        rows_ = std::make_unique<RowInsert>(
            r_,
            QStringLiteral("INSERT INTO measurements (cell_id, measured_at, group_number, "
                           "microohms, microvolts, text_shape, source_line, rest_start, run_id, "
                           "file_id) VALUES "),
            10, 0);
    RowInsert &rows = *rows_;
    rows.expect(pending_.size());
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
        rows.add(m.shape);
        rows.add(m.sourceLine);
        rows.add(m.restStart ? 1 : 0);
        rows.add(run_);
        if (const qint64 file = pendingFiles_[std::size_t(i)])
            rows.add(file);
        else
            rows.addNull();
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
    const QString select = QStringLiteral(
        "SELECT c.label, m.measured_at, m.group_number, m.microohms, m.microvolts, m.text_shape, "
        "r.model, COALESCE(f.path, r.source), m.source_line, m.rest_start "
        "FROM measurements m JOIN cells c ON c.id = m.cell_id "
        "JOIN record_runs r ON r.id = m.run_id LEFT JOIN run_files f ON f.id = m.file_id ");
    const QString order =
        QStringLiteral(" ORDER BY c.label%1, m.measured_at, m.id").arg(r.labelCollation());
    std::optional<QString> stored;
    if (!label.isNull() && !(stored = storedLabel(r, label)))
        return;
    QSqlQuery q = label.isNull()
        ? r.run(select + order)
        : r.run(select + QStringLiteral("WHERE c.label = ?") + order, {*stored});
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
        m.shape = q.value(5).toInt();
        showTexts(m.microohms, m.microvolts, m.shape, m.resistanceText, m.voltageText);
        m.model = q.value(6).toString();
        m.source = q.value(7).toString();
        m.sourceLine = q.value(8).toInt();
        m.restStart = q.value(9).toInt() != 0;
        f(m);
    }
}

bool hasCell(CellRegister &r, const QString &label)
{
    return storedLabel(r, label).has_value();
}

} // namespace cellregister
