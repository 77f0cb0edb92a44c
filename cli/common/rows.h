#pragma once

#include "board/data_board.h"
#include "cli/common/output.h"
#include "cli/options/options.h"
#include "cli/tables/table_writer.h"
#include "reading/line_format.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace cli {

// What each row carries besides the reading: the file and line it came from, or its number
// in a download with the model and the download's time.
struct RowContext {
    bool withSource = false;
    QByteArray model; // with a download: "RM-40A"
    QByteArray downloadedAt; // ISO 8601
};

// Readings as a table (CSV, JSON) or as board text (the bytes the window saves), written
// as they come.
class ReadingTable {
public:
    ReadingTable(Format format, const RowContext &context, Output &out);

    void add(const reading::Reading &r, const QString &file = QString(), int line = 0);
    // Writes what is still held back (the last rows, the closing bracket) and finishes the
    // output.
    void finish();
    qsizetype rows() const { return rows_; }

private:
    RowContext context_;
    Output &out_;
    std::optional<tables::Writer> table_; // none: board text
    QString lastFile_;
    tables::Writer::Prepared file_;
    qsizetype rows_ = 0;
};

// "1 reading", "12 readings".
QString readingsText(qsizetype count);

// What a subcommand that read files returns once it wrote its result: when an
// InterruptCatcher caught a signal, the result is of the readings that came before it, and
// it says so.
int interruptedExit(qsizetype readings);

} // namespace cli
