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

QByteArray boardLine(const analysis::Reading &r)
{
    QByteArray line;
    line.reserve(40);
    line += " Group ";
    line += QByteArray::number(r.group);
    line += "       ";
    line += r.resistanceText;
    line += "     ";
    line += r.voltageText;
    return line;
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
        board_.AppendLine(boardLine(r));
        ++rows_;
        return;
    }
    if (withSource_ && file != lastFile_) {
        lastFile_ = file;
        lastFileText_ = file.toUtf8();
    }
    const QByteArray ohms = analysis::decimalText(r.ohms);
    const QByteArray volts = analysis::decimalText(r.volts);
    const QByteArray resistanceText = analysis::resistanceTextUtf8(r);
    QByteArray row;
    row.reserve(96);
    if (format_ == Format::Csv) {
        if (withSource_) {
            row += csvField(lastFileText_) + ',' + QByteArray::number(line) + ',';
        }
        row += QByteArray::number(r.group) + ',' + ohms + ',' + volts + ',' + resistanceText + ',';
        row += r.voltageText;
        row += '\n';
    } else {
        row += rows_ == 0 ? "\n  {" : ",\n  {";
        if (withSource_)
            row += "\"file\": " + jsonString(lastFileText_) + ", \"line\": " + QByteArray::number(line) + ", ";
        row += "\"group\": " + QByteArray::number(r.group) + ", \"resistance_ohm\": " + ohms +
               ", \"voltage_v\": " + volts + ", \"resistance_text\": " + jsonString(resistanceText) +
               ", \"voltage_text\": \"";
        row += r.voltageText;
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
