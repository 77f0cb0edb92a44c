#include "cli/rows.h"

namespace cli {

namespace {

std::vector<tables::Column> readingColumns(const RowContext &context)
{
    using tables::Kind;
    std::vector<tables::Column> columns;
    if (context.withSource)
        columns = {{"file", Kind::Text}, {"line", Kind::Number}};
    else if (!context.model.isEmpty())
        columns = {{"row", Kind::Number}};
    columns.insert(columns.end(),
                   {{"group", Kind::Number},
                    {"resistance_ohm", Kind::Number},
                    {"voltage_v", Kind::Number},
                    {"resistance_text", Kind::Plain},
                    {"voltage_text", Kind::Plain}});
    if (!context.model.isEmpty())
        columns.insert(columns.end(), {{"model", Kind::Text}, {"downloaded_at", Kind::Text}});
    return columns;
}

} // namespace

ReadingTable::ReadingTable(Format format, const RowContext &context, Output &out)
    : context_(context), out_(out)
{
    if (format == Format::Text)
        out_.setBoardText();
    else
        table_.emplace(format, readingColumns(context), tables::Shape::Table,
                       tables::Place::Document, [this](QByteArrayView b) { out_.write(b); });
}

void ReadingTable::add(const reading::Reading &r, const QString &file, int line)
{
    ++rows_;
    if (!table_) {
        board_.AppendLine(reading::boardLine(r));
        return;
    }
    tables::Writer &t = *table_;
    if (context_.withSource) {
        if (file != lastFile_ || rows_ == 1) {
            lastFile_ = file;
            fileUtf8_ = file.toUtf8();
        }
        t.text(fileUtf8_).number(line);
    } else if (!context_.model.isEmpty()) {
        t.number(rows_);
    }
    t.number(r.group).number(r.ohms()).number(r.volts());
    t.textBy([&](QByteArray &b) { reading::appendResistanceText(b, r, reading::kOhmUtf8); });
    t.textBy([&](QByteArray &b) { reading::appendVoltageText(b, r); });
    if (!context_.model.isEmpty())
        t.text(context_.model).text(context_.downloadedAt);
    t.endRow();
}

void ReadingTable::finish()
{
    if (table_)
        table_->finish();
    else
        out_.write(board_.text());
    out_.finish();
}

} // namespace cli
