#include "cli/rows.h"

namespace cli {

QByteArray csvField(const QByteArray &utf8)
{
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    QByteArray quoted = utf8;
    quoted.replace("\"", "\"\"");
    return '"' + quoted + '"';
}

QByteArray jsonString(const QByteArray &utf8)
{
    QByteArray s;
    s.reserve(utf8.size() + 2);
    s += '"';
    for (char c : utf8) {
        switch (c) {
        case '"': s += "\\\""; break;
        case '\\': s += "\\\\"; break;
        case '\n': s += "\\n"; break;
        case '\r': s += "\\r"; break;
        case '\t': s += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                s += "\\u00" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                s += c;
        }
    }
    s += '"';
    return s;
}

ReadingTable::ReadingTable(Format format, bool withSource, Output &out)
    : format_(format), withSource_(withSource), out_(out)
{
    if (format_ == Format::Csv) {
        out_.write(withSource_ ? "file,line,group,resistance_ohm,voltage_v,resistance_text,voltage_text\n"
                               : "group,resistance_ohm,voltage_v,resistance_text,voltage_text\n");
    } else if (format_ == Format::Json) {
        out_.write("[");
    }
}

void ReadingTable::add(const analysis::Reading &r, const QString &file, int line)
{
    if (format_ == Format::Text) {
        board_.AppendLine(reading::boardLine(r));
        ++rows_;
        return;
    }
    if (withSource_ && (file != lastFile_ || rows_ == 0)) {
        lastFile_ = file;
        sourceField_ = format_ == Format::Csv ? csvField(file.toUtf8()) : jsonString(file.toUtf8());
    }
    QByteArray &row = row_;
    row.resize(0); // keeps the allocation
    if (format_ == Format::Csv) {
        if (withSource_) {
            row += sourceField_;
            row += ',';
            reading::appendDecimalText(row, {line, 0});
            row += ',';
        }
        reading::appendDecimalText(row, {r.group, 0});
        row += ',';
        reading::appendDecimalText(row, r.ohms());
        row += ',';
        reading::appendDecimalText(row, r.volts());
        row += ',';
        reading::appendResistanceText(row, r, reading::kOhmUtf8);
        row += ',';
        reading::appendVoltageText(row, r);
        row += '\n';
    } else {
        row += rows_ == 0 ? "\n  {" : ",\n  {";
        if (withSource_) {
            row += "\"file\": ";
            row += sourceField_;
            row += ", \"line\": ";
            reading::appendDecimalText(row, {line, 0});
            row += ", ";
        }
        row += "\"group\": ";
        reading::appendDecimalText(row, {r.group, 0});
        row += ", \"resistance_ohm\": ";
        reading::appendDecimalText(row, r.ohms());
        row += ", \"voltage_v\": ";
        reading::appendDecimalText(row, r.volts());
        row += ", \"resistance_text\": \"";
        reading::appendResistanceText(row, r, reading::kOhmUtf8);
        row += "\", \"voltage_text\": \"";
        reading::appendVoltageText(row, r);
        row += "\"}";
    }
    out_.write(row);
    ++rows_;
}

void ReadingTable::finish()
{
    if (format_ == Format::Json)
        out_.write(rows_ == 0 ? "]\n" : "\n]\n");
    else if (format_ == Format::Text)
        out_.write(board_.text());
    out_.finish();
}

} // namespace cli
