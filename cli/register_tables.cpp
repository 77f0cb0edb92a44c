#include "cli/register_tables.h"

#include "cellregister/cell_register.h"
#include "cli/rows.h"
#include "reading/decimal.h"

namespace cli {

QByteArray exactText(std::int64_t units, int decimals)
{
    return reading::decimalText({units, decimals});
}

namespace {

QByteArray column(const QString &text, int width)
{
    return text.leftJustified(width, u' ').toUtf8();
}

QByteArray selfDischargeText(const cellregister::CellSummary &c, const analysis::Rules &rules)
{
    const auto sd = cellregister::selfDischarge(c, rules.minDays);
    return sd ? QByteArray::number(*sd, 'f', 2) : QByteArray();
}

QByteArray capacityText(const cellregister::CellSummary &c)
{
    return c.capacityMicroampHours ? exactText(*c.capacityMicroampHours, 3) : QByteArray();
}

QByteArray jsonNumberOrNull(const QByteArray &text)
{
    return text.isEmpty() ? QByteArray("null") : text;
}

} // namespace

CellTable::CellTable(Format format) : format_(format)
{
    if (format_ == Format::Csv)
        out_ =
            "label,resistance_ohm,voltage_v,resistance_text,voltage_text,measurements,first,latest,"
            "self_discharge_mv_per_day,capacity_mah,pack,verdict,reasons\n";
    else if (format_ == Format::Json)
        out_ = "[";
    else
        out_ = column(QStringLiteral("label"), 10) + column(QStringLiteral("mΩ"), 10)
            + column(QStringLiteral("V"), 8) + column(QStringLiteral("n"), 4)
            + column(QStringLiteral("latest"), 26) + column(QStringLiteral("mV/day"), 8)
            + column(QStringLiteral("mAh"), 10) + column(QStringLiteral("pack"), 8) + "verdict\n";
}

void CellTable::add(const cellregister::CellSummary &c, const analysis::Rules &rules,
                    const QStringList &reasons)
{
    const QByteArray verdict = reasons.isEmpty() ? "pass" : "fail";
    const QByteArray why = reasons.join(QStringLiteral("; ")).toUtf8();
    if (format_ == Format::Csv) {
        out_ += csvField(c.label.toUtf8()) + ',' + exactText(c.microohms, 6) + ','
            + exactText(c.microvolts, 6) + ',' + csvField(c.resistanceText.toUtf8()) + ','
            + csvField(c.voltageText.toUtf8()) + ',' + QByteArray::number(c.measurements) + ','
            + cellregister::timeText(c.first).toUtf8() + ','
            + cellregister::timeText(c.latest).toUtf8() + ',' + selfDischargeText(c, rules) + ','
            + capacityText(c) + ',' + csvField(c.pack.toUtf8()) + ',' + verdict + ','
            + csvField(why) + '\n';
    } else if (format_ == Format::Json) {
        QByteArray reasonList;
        for (const QString &r : reasons)
            reasonList += (reasonList.isEmpty() ? "" : ",") + jsonString(r.toUtf8());
        out_ += QByteArray(rows_ ? ",\n" : "\n") + "{\"label\":" + jsonString(c.label.toUtf8())
            + ",\"resistance_ohm\":" + exactText(c.microohms, 6)
            + ",\"voltage_v\":" + exactText(c.microvolts, 6)
            + ",\"resistance_text\":" + jsonString(c.resistanceText.toUtf8())
            + ",\"voltage_text\":" + jsonString(c.voltageText.toUtf8())
            + ",\"measurements\":" + QByteArray::number(c.measurements)
            + ",\"first\":" + jsonString(cellregister::timeText(c.first).toUtf8())
            + ",\"latest\":" + jsonString(cellregister::timeText(c.latest).toUtf8())
            + ",\"self_discharge_mv_per_day\":" + jsonNumberOrNull(selfDischargeText(c, rules))
            + ",\"capacity_mah\":" + jsonNumberOrNull(capacityText(c))
            + ",\"pack\":" + (c.pack.isEmpty() ? QByteArray("null") : jsonString(c.pack.toUtf8()))
            + ",\"verdict\":\"" + verdict + "\",\"reasons\":[" + reasonList + "]}";
    } else {
        out_ += column(c.label, 10) + column(QString::fromLatin1(exactText(c.microohms, 3)), 10)
            + column(QString::fromLatin1(exactText(c.microvolts, 6)), 8)
            + column(QString::number(c.measurements), 4)
            + column(cellregister::timeText(c.latest), 26)
            + column(QString::fromLatin1(selfDischargeText(c, rules)), 8)
            + column(QString::fromLatin1(capacityText(c)), 10)
            + column(c.pack.isEmpty() ? QStringLiteral("-") : c.pack, 8) + verdict
            + (why.isEmpty() ? QByteArray() : ": " + why) + '\n';
    }
    ++rows_;
}

QByteArray CellTable::finish()
{
    if (format_ == Format::Json)
        out_ += rows_ ? "\n]\n" : "]\n";
    return out_;
}

MeasurementTable::MeasurementTable(Format format) : format_(format)
{
    if (format_ == Format::Csv)
        out_ = "label,measured_at,group,resistance_ohm,voltage_v,resistance_text,voltage_text,"
               "model,source,"
               "source_line,rest_start\n";
    else
        out_ = "[";
}

void MeasurementTable::add(const cellregister::Measurement &m)
{
    const QByteArray at = cellregister::timeText(m.at).toUtf8();
    if (format_ == Format::Csv) {
        out_ += csvField(m.label.toUtf8()) + ',' + at + ',' + QByteArray::number(m.group) + ','
            + exactText(m.microohms, 6) + ',' + exactText(m.microvolts, 6) + ','
            + csvField(m.resistanceText.toUtf8()) + ',' + csvField(m.voltageText.toUtf8()) + ','
            + csvField(m.model.toUtf8()) + ',' + csvField(m.source.toUtf8()) + ','
            + (m.sourceLine ? QByteArray::number(m.sourceLine) : QByteArray()) + ','
            + (m.restStart ? "1" : "0") + '\n';
    } else {
        out_ += QByteArray(rows_ ? ",\n" : "\n") + "{\"label\":" + jsonString(m.label.toUtf8())
            + ",\"measured_at\":\"" + at + "\",\"group\":" + QByteArray::number(m.group)
            + ",\"resistance_ohm\":" + exactText(m.microohms, 6)
            + ",\"voltage_v\":" + exactText(m.microvolts, 6)
            + ",\"resistance_text\":" + jsonString(m.resistanceText.toUtf8()) + ",\"voltage_text\":"
            + jsonString(m.voltageText.toUtf8()) + ",\"model\":" + jsonString(m.model.toUtf8())
            + ",\"source\":" + jsonString(m.source.toUtf8()) + ",\"source_line\":"
            + (m.sourceLine ? QByteArray::number(m.sourceLine) : QByteArray("null"))
            + ",\"rest_start\":" + (m.restStart ? "true" : "false") + '}';
    }
    ++rows_;
}

QByteArray MeasurementTable::finish()
{
    if (format_ == Format::Json)
        out_ += rows_ ? "\n]\n" : "]\n";
    return out_;
}

} // namespace cli
