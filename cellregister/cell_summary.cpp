#include "cellregister/cell_summary.h"

#include "cellregister/bulk_rows.h"
#include "cellregister/errors.h"
#include "cellregister/measurements.h"

#include <QHash>

namespace cellregister {

namespace {

enum class Read { States, Measurements };

std::vector<CellSummary> summarize(CellRegister &r, const QString &label,
                                   Read read = Read::Measurements)
{
    const QString where = label.isNull() ? QString() : QStringLiteral(" WHERE c.label = ?");
    const QVariantList values = label.isNull() ? QVariantList() : QVariantList{label};
    std::vector<CellSummary> cells;
    QHash<qint64, std::size_t> byId;
    // Cells and measurements are two statements: without one snapshot a record between
    // them adds measurements of cells the first did not list.
    const CellRegister::Snapshot snapshot(r);
    RowReader c(r,
                QStringLiteral("SELECT c.id, c.label, c.capacity_uah, p.name, c.retired_reason, "
                               "c.capacity_source, c.capacity_at, pc.group_index, pc.position "
                               "FROM cells c "
                               "LEFT JOIN pack_cells pc ON pc.cell_id = c.id "
                               "LEFT JOIN packs p ON p.id = pc.pack_id")
                    + where + QStringLiteral(" ORDER BY c.label") + r.labelCollation(),
                values);
    while (c.next()) {
        CellSummary s;
        s.label = c.text(1);
        if (!c.isNull(2))
            s.capacityMicroampHours = c.integer(2);
        s.pack = c.text(3);
        if (!c.isNull(4))
            s.retired = c.text(4);
        s.capacitySource = c.text(5);
        if (const QString at = c.text(6); !at.isEmpty())
            s.capacityAt = timeFromText(at);
        if (!s.pack.isEmpty()) {
            s.packGroup = int(c.integer(7)) + 1;
            s.packPosition = int(c.integer(8)) + 1;
        }
        byId.insert(c.integer(0), cells.size());
        cells.push_back(std::move(s));
    }
    if (read == Read::States)
        return cells;
    RowReader m(r,
                QStringLiteral("SELECT m.cell_id, m.measured_at, m.microohms, m.microvolts, "
                               "m.text_shape, m.rest_start "
                               "FROM measurements m JOIN cells c ON c.id = m.cell_id")
                    + where + QStringLiteral(" ORDER BY m.cell_id, m.measured_at, m.id"),
                values);
    CellSummary *s = nullptr;
    int shape = 0; // of the latest measurement of s
    // Only the latest measurement's texts are shown: they are made once a cell's are read.
    const auto show = [&] {
        if (s)
            showTexts(s->microohms, s->microvolts, shape, s->resistanceText, s->voltageText);
    };
    qint64 current = -1;
    QString lastTimeText;
    QDateTime at;
    while (m.next()) {
        const qint64 id = m.integer(0);
        if (id != current) {
            show();
            current = id;
            const auto at = byId.constFind(id);
            if (at == byId.cend())
                throw EInconsistentRegister(
                    QStringLiteral("the register %1 changed while it was read: a measurement of "
                                   "cell %2, which the same read did not list")
                        .arg(r.location().shown())
                        .arg(id),
                    id);
            s = &cells[*at];
        }
        if (const QString text = m.text(1); text != lastTimeText) {
            at = timeFromText(text);
            lastTimeText = text;
        }
        if (s->measurements++ == 0)
            s->first = at;
        s->latest = at;
        s->microohms = m.integer(2);
        s->microvolts = m.integer(3);
        shape = int(m.integer(4));
        if (m.integer(5) != 0) {
            s->restStart = at;
            s->restStartMicrovolts = s->microvolts;
        }
    }
    show();
    std::erase_if(cells, [](const CellSummary &s) { return s.measurements == 0; });
    return cells;
}

} // namespace

std::vector<CellSummary> summarizeCells(CellRegister &r)
{
    return summarize(r, QString());
}

std::vector<CellSummary> cellStates(CellRegister &r)
{
    return summarize(r, QString(), Read::States);
}

std::optional<CellSummary> summarizeCell(CellRegister &r, const QString &label)
{
    std::vector<CellSummary> cells = summarize(r, label.isNull() ? QStringLiteral("") : label);
    if (cells.empty())
        return std::nullopt;
    return cells.front();
}

bool restLasted(const QDateTime &start, const QDateTime &end, double minDays)
{
    if (start.msecsTo(end) <= 0)
        return false;
    const QDateTime from = start.toLocalTime();
    const QDateTime to = end.toLocalTime();
    const double calendarDays = double(from.date().daysTo(to.date()))
        + double(to.time().msecsSinceStartOfDay() - from.time().msecsSinceStartOfDay())
            / 86'400'000.0;
    return calendarDays >= minDays - kRestToleranceHours / 24.0;
}

std::optional<double> selfDischarge(const CellSummary &c, double minDays)
{
    if (!c.restStart || !restLasted(*c.restStart, c.latest, minDays))
        return std::nullopt;
    const double days = double(c.restStart->msecsTo(c.latest)) / 86'400'000.0;
    return double(c.restStartMicrovolts - c.microvolts) / 1000.0 / days;
}

std::vector<analysis::Failure> failures(const CellSummary &c, const analysis::Rules &rules)
{
    return analysis::failures(
        {c.microohms, selfDischarge(c, rules.minDays), c.capacityMicroampHours}, rules);
}

} // namespace cellregister
