#include "cli/rows.h"

#include <QJsonArray>
#include <QJsonDocument>

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
    const QByteArray array =
        QJsonDocument(QJsonArray{QString::fromUtf8(utf8)}).toJson(QJsonDocument::Compact);
    return array.sliced(1, array.size() - 2); // without the brackets
}

ReadingTable::ReadingTable(Format format, const RowContext &context, Output &out)
    : format_(format), withSource_(context.withSource), out_(out)
{
    const bool download = !context.model.isEmpty();
    if (format_ == Format::Csv) {
        out_.write(withSource_ ? "file,line," : download ? "row," : "");
        out_.write("group,resistance_ohm,voltage_v,resistance_text,voltage_text");
        out_.write(download ? ",model,downloaded_at\r\n" : "\r\n");
        if (download)
            downloadFields_ = ',' + context.model + ',' + context.downloadedAt;
    } else if (format_ == Format::Json) {
        out_.write("[");
        if (download)
            downloadFields_ = ", \"model\": " + jsonString(context.model)
                + ", \"downloaded_at\": " + jsonString(context.downloadedAt);
    } else {
        out_.setBoardText();
    }
}

void ReadingTable::add(const reading::Reading &r, const QString &file, int line)
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
    const bool numbered = !withSource_ && !downloadFields_.isEmpty();
    if (format_ == Format::Csv) {
        if (withSource_) {
            row += sourceField_;
            row += ',';
            reading::appendDecimalText(row, {line, 0});
            row += ',';
        } else if (numbered) {
            reading::appendDecimalText(row, {rows_ + 1, 0});
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
        row += downloadFields_;
        row += "\r\n";
    } else {
        row += rows_ == 0 ? "\n  {" : ",\n  {";
        if (withSource_) {
            row += "\"file\": ";
            row += sourceField_;
            row += ", \"line\": ";
            reading::appendDecimalText(row, {line, 0});
            row += ", ";
        } else if (numbered) {
            row += "\"row\": ";
            reading::appendDecimalText(row, {rows_ + 1, 0});
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
        row += '"';
        row += downloadFields_;
        row += '}';
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
