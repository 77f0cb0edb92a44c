#include "cellregister/cell_summary.h"

#include "cellregister/bulk_rows.h"
#include "cellregister/label_key.h"
#include "cellregister/local_time.h"
#include "cellregister/measurements.h"

#include <functional>

namespace cellregister {

namespace {

// A cell's own columns, first in both reads, and the join that finds its pack.
const QString kCellColumns =
    QStringLiteral("c.id, c.label, c.capacity_uah, p.name, c.retired_reason, c.capacity_source, "
                   "c.capacity_at, pc.group_index, pc.position");
const QString kPackJoin = QStringLiteral(
    " LEFT JOIN pack_cells pc ON pc.cell_id = c.id LEFT JOIN packs p ON p.id = pc.pack_id");
constexpr int kMeasurementColumn = 9;

CellSummary cellOf(const RowReader &c)
{
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
    return s;
}

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
        QStringLiteral("SELECT ") + kCellColumns
            + QStringLiteral(", m.measured_at, m.microohms, m.microvolts, m.text_shape, "
                             "m.rest_start FROM cells c JOIN measurements m ON "
                             "m.cell_id = c.id")
            + kPackJoin + where
            + QStringLiteral(" ORDER BY c.label%1, m.measured_at, m.id").arg(r.labelCollation()),
        values);
    CellSummary s;
    int shape = 0; // of the latest measurement of s
    // Only the latest measurement's texts are shown: they are made once a cell's are read.
    const auto hand = [&] {
        showTexts(s.microohms, s.microvolts, shape, s.resistanceText, s.voltageText);
        f(s);
    };
    qint64 current = -1;
    QString lastTimeText;
    QDateTime at;
    constexpr int k = kMeasurementColumn;
    while (m.next()) {
        if (const qint64 id = m.integer(0); id != current) {
            if (current >= 0)
                hand();
            current = id;
            s = cellOf(m);
        }
        if (const QString text = m.text(k); text != lastTimeText) {
            at = timeFromText(text);
            lastTimeText = text;
        }
        if (s.measurements++ == 0)
            s.first = at;
        s.latest = at;
        s.microohms = m.integer(k + 1);
        s.microvolts = m.integer(k + 2);
        shape = int(m.integer(k + 3));
        if (m.integer(k + 4) != 0) {
            s.restStart = at;
            s.restStartMicrovolts = s.microvolts;
        }
    }
    if (current >= 0)
        hand();
}

} // namespace

QString statusText(const CellSummary &c)
{
    if (c.retired)
        return QStringLiteral("retired");
    return c.pack.isEmpty() ? QStringLiteral("stock") : QStringLiteral("pack");
}

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

std::vector<CellSummary> cellStates(CellRegister &r)
{
    std::vector<CellSummary> cells;
    RowReader c(r,
                QStringLiteral("SELECT ") + kCellColumns + QStringLiteral(" FROM cells c")
                    + kPackJoin + QStringLiteral(" ORDER BY c.label") + r.labelCollation());
    while (c.next())
        cells.push_back(cellOf(c));
    return cells;
}

std::optional<CellSummary> summarizeCell(CellRegister &r, const QString &label)
{
    std::optional<CellSummary> cell;
    const std::optional<QString> stored = storedLabel(r, label);
    if (!stored)
        return cell;
    summarize(r, *stored, [&](const CellSummary &c) { cell = c; });
    return cell;
}

bool restLasted(const QDateTime &start, const QDateTime &end, double minDays)
{
    if (start.msecsTo(end) <= 0)
        return false;
    // Days on the wall clock: a rest across a change of summer time still lasts its days.
    const double calendarDays = double(localMsecs(end) - localMsecs(start)) / 86'400'000.0;
    return calendarDays >= minDays - kRestToleranceHours / 24.0;
}

std::optional<double> selfDischarge(const CellSummary &c, double minDays)
{
    if (!c.restStart || !restLasted(*c.restStart, c.latest, minDays))
        return std::nullopt;
    const double days = double(c.restStart->msecsTo(c.latest)) / 86'400'000.0;
    return double(c.restStartMicrovolts - c.microvolts) / 1000.0 / days;
}

std::optional<double> restedDays(const CellSummary &c)
{
    if (!c.restStart)
        return std::nullopt;
    return std::max(0.0, double(localMsecs(c.latest) - localMsecs(*c.restStart)) / 86'400'000.0);
}

std::vector<analysis::Failure> failures(const CellSummary &c, const analysis::Rules &rules)
{
    const auto sd = selfDischarge(c, rules.minDays);
    // How long it rested is only worked out for a rule that waits on it.
    return analysis::failures(
        {c.microohms, c.microvolts, sd, c.capacityMicroampHours,
         !sd && rules.maxSelfDischargeMvPerDay ? restedDays(c) : std::nullopt},
        rules);
}

} // namespace cellregister
