#include "cellregister/cell_summary.h"

#include "cellregister/bulk_rows.h"

#include <functional>

namespace cellregister {

namespace {

// One statement in label order, each cell's measurements in time order after it: a cell is
// complete when the next begins, so a register of any size takes the memory of one cell, and
// the statement alone sees one moment of the register.
void summarize(CellRegister &r, const QString &label,
               const std::function<void(const CellSummary &)> &f)
{
    const QString where = label.isNull() ? QString() : QStringLiteral(" WHERE c.label = ?");
    const QVariantList values = label.isNull() ? QVariantList() : QVariantList{label};
    RowReader m(
        r,
        QStringLiteral("SELECT c.id, c.label, c.capacity_uah, p.name, c.retired_reason, "
                       "m.measured_at, m.microohms, m.microvolts, m.resistance_text, "
                       "m.voltage_text, m.rest_start "
                       "FROM cells c JOIN measurements m ON m.cell_id = c.id "
                       "LEFT JOIN pack_cells pc ON pc.cell_id = c.id "
                       "LEFT JOIN packs p ON p.id = pc.pack_id")
            + where
            + QStringLiteral(" ORDER BY c.label%1, m.measured_at, m.id").arg(r.labelCollation()),
        values);
    CellSummary s;
    qint64 current = -1;
    QString lastTimeText;
    QDateTime at;
    while (m.next()) {
        if (const qint64 id = m.integer(0); id != current) {
            if (current >= 0)
                f(s);
            current = id;
            s = CellSummary();
            s.label = m.text(1);
            if (!m.isNull(2))
                s.capacityMicroampHours = m.integer(2);
            s.pack = m.text(3);
            if (!m.isNull(4))
                s.retired = m.text(4);
        }
        if (const QString text = m.text(5); text != lastTimeText) {
            at = timeFromText(text);
            lastTimeText = text;
        }
        if (s.measurements++ == 0)
            s.first = at;
        s.latest = at;
        s.microohms = m.integer(6);
        s.microvolts = m.integer(7);
        s.resistanceText = m.text(8);
        s.voltageText = m.text(9);
        if (m.integer(10) != 0) {
            s.restStart = at;
            s.restStartMicrovolts = s.microvolts;
        }
    }
    if (current >= 0)
        f(s);
}

} // namespace

void forEachCellSummary(CellRegister &r, const std::function<void(const CellSummary &)> &f)
{
    summarize(r, QString(), f);
}

std::vector<CellSummary> summarizeCells(CellRegister &r)
{
    std::vector<CellSummary> cells;
    summarize(r, QString(), [&](const CellSummary &c) { cells.push_back(c); });
    return cells;
}

std::optional<CellSummary> summarizeCell(CellRegister &r, const QString &label)
{
    std::optional<CellSummary> cell;
    summarize(r, label.isNull() ? QStringLiteral("") : label,
              [&](const CellSummary &c) { cell = c; });
    return cell;
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
