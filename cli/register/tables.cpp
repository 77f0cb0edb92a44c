#include "cli/register/tables.h"

#include "cellregister/cell_register.h"
#include "cellregister/local_time.h"
#include "reading/decimal.h"

namespace cli {

using tables::Kind;

QByteArray exactText(std::int64_t units, int decimals)
{
    return reading::decimalText({units, decimals});
}

namespace {

std::vector<tables::Column> cellColumns(Format format)
{
    if (format == Format::Text)
        return {{"label", Kind::Text, tables::kFitContent},
                {"mΩ", Kind::Number, tables::kFitContent},
                {"V", Kind::Number, tables::kFitContent},
                {"n", Kind::Number, tables::kFitContent},
                {"latest", Kind::Text, tables::kFitContent},
                {"mV/day", Kind::Number, tables::kFitContent},
                {"mAh", Kind::Number, tables::kFitContent},
                {"pack", Kind::Text, tables::kFitContent},
                {"status", Kind::Text, tables::kFitContent},
                {"verdict", Kind::Text}};
    return {{"label", Kind::Text},
            {"resistance_ohm", Kind::Number},
            {"voltage_v", Kind::Number},
            {"resistance_text", Kind::Text},
            {"voltage_text", Kind::Text},
            {"measurements", Kind::Number},
            {"first", Kind::Plain},
            {"latest", Kind::Plain},
            {"self_discharge_mv_per_day", Kind::Number},
            {"capacity_mah", Kind::Number},
            {"pack", Kind::Text},
            {"status", Kind::Text},
            {"verdict", Kind::Text},
            {"reasons", Kind::List}};
}

// One definition for every format; text sizes each column to its content.
std::vector<tables::Column> measurementColumns(Format format, MeasurementTable::Columns which)
{
    std::vector<tables::Column> columns{
        {"label", Kind::Text},        {"measured_at", Kind::Text},
        {"group", Kind::Number},      {"resistance_ohm", Kind::Number},
        {"voltage_v", Kind::Number},  {"resistance_text", Kind::Text},
        {"voltage_text", Kind::Text}, {"model", Kind::Text},
        {"source", Kind::Text},       {"source_line", Kind::Number},
        {"rest_start", Kind::Flag}};
    if (which == MeasurementTable::Columns::WithCellState)
        columns.insert(columns.end(),
                       {{"status", Kind::Text},
                        {"capacity_mah", Kind::Number},
                        {"capacity_source", Kind::Text},
                        {"capacity_at", Kind::Text},
                        {"pack", Kind::Text},
                        {"pack_group", Kind::Number},
                        {"pack_position", Kind::Number}});
    if (format == Format::Text)
        for (std::size_t i = 0; i + 1 < columns.size(); ++i)
            columns[i].width = tables::kFitContent;
    return columns;
}

} // namespace

CellTable::CellTable(Format format, tables::Writer::Flush flush)
    : format_(format),
      table_(format, cellColumns(format), tables::Shape::Table, tables::Place::Document,
             std::move(flush))
{ }

void CellTable::add(const cellregister::CellSummary &c, const analysis::Rules &rules,
                    const QStringList &reasons)
{
    const auto sd = cellregister::selfDischarge(c, rules.minDays);
    const QByteArray selfDischarge = sd ? QByteArray::number(*sd, 'f', 2) : QByteArray();
    const QByteArrayView verdict = c.retired ? "retired" : reasons.isEmpty() ? "pass" : "fail";
    tables::Writer &t = table_;
    if (format_ == Format::Text) {
        t.text(c.label).number({c.microohms, 3}).number({c.microvolts, 6}).number(c.measurements);
        t.textBy([&](QByteArray &b) { cellregister::appendLocalTimeText(b, c.latest); });
        t.number(selfDischarge);
        c.capacityMicroampHours ? t.number({*c.capacityMicroampHours, 3}) : t.none();
        t.text(c.pack.isEmpty() ? QStringLiteral("-") : c.pack);
        t.text(cellregister::statusText(c));
        t.textBy([&](QByteArray &b) {
            b += verdict;
            if (!reasons.isEmpty())
                b += ": " + reasons.join(QStringLiteral("; ")).toUtf8();
        });
    } else {
        t.text(c.label).number({c.microohms, 6}).number({c.microvolts, 6});
        t.text(c.resistanceText).text(c.voltageText).number(c.measurements);
        // Most cells were measured once: their first time is their latest.
        time_.resize(0);
        cellregister::appendLocalTimeText(time_, c.first);
        t.text(time_);
        if (c.latest != c.first) {
            time_.resize(0);
            cellregister::appendLocalTimeText(time_, c.latest);
        }
        t.text(time_);
        t.number(selfDischarge);
        c.capacityMicroampHours ? t.number({*c.capacityMicroampHours, 3}) : t.none();
        c.pack.isEmpty() ? t.none() : t.text(c.pack);
        t.text(cellregister::statusText(c));
        t.text(verdict).list(reasons);
    }
    t.endRow();
}

MeasurementTable::MeasurementTable(Format format, tables::Place place, tables::Writer::Flush flush,
                                   Columns columns)
    : columns_(columns),
      table_(format, measurementColumns(format, columns), tables::Shape::Table, place,
             std::move(flush))
{ }

void MeasurementTable::add(const cellregister::Measurement &m,
                           const cellregister::CellSummary *cell)
{
    tables::Writer &t = table_;
    t.text(m.label).text(cellregister::localTimeText(m.at)).number(m.group);
    t.number({m.microohms, 6}).number({m.microvolts, 6});
    t.text(m.resistanceText).text(m.voltageText).text(m.model).text(m.source);
    m.sourceLine ? t.number(m.sourceLine) : t.none();
    t.flag(m.restStart);
    if (columns_ == Columns::WithCellState) {
        cell ? t.text(cellregister::statusText(*cell)) : t.none();
        const bool capacity = cell && cell->capacityMicroampHours;
        capacity ? t.number({*cell->capacityMicroampHours, 3}) : t.none();
        capacity && !cell->capacitySource.isEmpty() ? t.text(cell->capacitySource) : t.none();
        capacity && cell->capacityAt.isValid()
            ? t.text(cellregister::localTimeText(cell->capacityAt))
            : t.none();
        const bool packed = cell && !cell->pack.isEmpty();
        packed ? t.text(cell->pack) : t.none();
        packed ? t.number(cell->packGroup) : t.none();
        packed ? t.number(cell->packPosition) : t.none();
    }
    t.endRow();
}

} // namespace cli
