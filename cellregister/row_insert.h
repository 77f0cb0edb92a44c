#pragma once

#include "cellregister/cell_register.h"

#include <QSqlQuery>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace cellregister {

// A known number of rows written into one table by INSERTs of many rows each, within the
// caller's transaction. Qt's binding builds a placeholder name and a variant for every
// value, which on SQLite costs several times SQLite's own work in a large record: there the
// values go to SQLite's statement on the register's own connection. PostgreSQL runs the
// same statements through Qt.
class RowInsert {
public:
    // head: "INSERT INTO t (a, b) VALUES "; each of the `rows` rows has `columns` values.
    RowInsert(CellRegister &r, const QString &head, int columns, qsizetype rows);
    ~RowInsert();
    RowInsert(const RowInsert &) = delete;
    RowInsert &operator=(const RowInsert &) = delete;

    void add(qint64 value);
    // A null text is stored as NULL.
    void add(const QString &text);
    // Ends a row; each statement's rows are written as its last row ends.
    void endRow();

private:
    void startStatement();
    void check(int code) const;

    CellRegister &r_;
    sqlite3 *db_; // null: through Qt
    QString head_;
    int columns_;
    qsizetype remaining_; // rows not yet written
    qsizetype statementRows_ = 0; // rows the prepared statement takes
    qsizetype rowsBound_ = 0;
    int bound_ = 0; // values bound to the statement so far
    sqlite3_stmt *native_ = nullptr;
    QSqlQuery query_;
};

} // namespace cellregister
