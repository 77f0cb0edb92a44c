#pragma once

#include "analysis/reading.h"
#include "board/data_board.h"
#include "cli/arguments.h"
#include "cli/output.h"

#include <QByteArray>
#include <QString>

namespace cli {

// Field texts for CSV and JSON.
QByteArray csvField(const QByteArray &utf8);
QByteArray jsonString(const QByteArray &utf8);

// Readings as CSV rows, JSON objects in one array, or board text (the bytes the window
// saves). With a source, each row starts with the file and line the reading came from.
class ReadingTable {
public:
    ReadingTable(Format format, bool withSource, Output &out);

    void add(const analysis::Reading &r, const QString &file = QString(), int line = 0);
    // Writes what is still held back (the closing bracket, the board text) and finishes
    // the output.
    void finish();
    qsizetype rows() const { return rows_; }

private:
    Format format_;
    bool withSource_;
    Output &out_;
    board::DataBoard board_;
    QString lastFile_;
    QByteArray sourceField_; // the file's name as this format writes it
    QByteArray row_;
    qsizetype rows_ = 0;
};

} // namespace cli
