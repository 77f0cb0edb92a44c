#pragma once

#include "board/data_board.h"
#include "cli/arguments.h"
#include "cli/output.h"
#include "reading/line_format.h"

#include <QByteArray>
#include <QString>

namespace cli {

// Field texts for CSV and JSON.
QByteArray csvField(const QByteArray &utf8);
QByteArray jsonString(const QByteArray &utf8);

// What each row carries besides the reading: the file and line it came from, or its number
// in a download with the model and the download's time.
struct RowContext {
    bool withSource = false;
    QByteArray model; // with a download: "RM-40A"
    QByteArray downloadedAt; // ISO 8601
};

// Readings as CSV rows (CR LF, as RFC 4180 has it), JSON objects in one array, or board text
// (the bytes the window saves).
class ReadingTable {
public:
    ReadingTable(Format format, const RowContext &context, Output &out);

    void add(const reading::Reading &r, const QString &file = QString(), int line = 0);
    // Writes what is still held back (the closing bracket, the board text) and finishes
    // the output.
    void finish();
    qsizetype rows() const { return rows_; }

private:
    Format format_;
    bool withSource_;
    QByteArray downloadFields_; // the model and time, as this format writes them
    Output &out_;
    board::DataBoard board_;
    QString lastFile_;
    QByteArray sourceField_; // the file's name as this format writes it
    QByteArray row_;
    qsizetype rows_ = 0;
};

} // namespace cli
