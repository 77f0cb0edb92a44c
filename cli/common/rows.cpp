#include "cli/common/rows.h"

#include "cli/common/exit_codes.h"
#include "cli/common/streams.h"

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
        // As the window's board appends lines to an empty board: each with its break.
        out_.write(reading::boardLine(r));
        out_.write("\r\n");
        return;
    }
    tables::Writer &t = *table_;
    if (context_.withSource) {
        // The same file comes as the same shared text, row after row: no comparison of
        // its characters for each.
        if (rows_ == 1 || file.constData() != lastFile_.constData()) {
            lastFile_ = file;
            file_ = t.prepare(file.toUtf8());
        }
        t.text(file_).number(line);
    } else if (!context_.model.isEmpty()) {
        t.number(rows_);
    }
    t.number(r.group).number(r.ohms()).number(r.volts());
    t.textAt(reading::kTextRoom,
             [&](char *at) { return reading::writeResistanceText(at, r, reading::kOhmUtf8); });
    t.textAt(reading::kTextRoom, [&](char *at) { return reading::writeVoltageText(at, r); });
    if (!context_.model.isEmpty())
        t.text(context_.model).text(context_.downloadedAt);
    t.endRow();
}

void ReadingTable::finish()
{
    if (table_)
        table_->finish();
    out_.finish();
}

QString readingsText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 reading") : QStringLiteral("%1 readings").arg(count);
}

int interruptedExit(qsizetype readings)
{
    if (!InterruptCatcher::caught())
        return kExitOk;
    printMessage(QStringLiteral("battery-analyzer-cli: interrupted; written from the first %1")
                     .arg(readingsText(readings)));
    return kExitInterrupted;
}

} // namespace cli
