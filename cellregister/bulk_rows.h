#pragma once

#include "cellregister/cell_register.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSqlQuery>
#include <QString>
#include <QStringEncoder>
#include <QVariantList>

#include <functional>
#include <vector>

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
    // Each row a statement returns: its first column as an integer, its second as UTF-8.
    using Returned = std::function<void(qint64, QByteArrayView)>;
    // head: "INSERT INTO t (a, b) VALUES "; each of the `rows` rows has `columns` values;
    // tail, after the rows: " RETURNING id, name", whose rows go to `returned`.
    RowInsert(CellRegister &r, const QString &head, int columns, qsizetype rows,
              const QString &tail = {}, Returned returned = {});
    ~RowInsert();
    RowInsert(const RowInsert &) = delete;
    RowInsert &operator=(const RowInsert &) = delete;

    // More rows to come, for a writer that learns its rows as they arrive.
    void expect(qsizetype rows) { remaining_ += rows; }
    void add(qint64 value);
    // A null text is stored as NULL.
    void add(const QString &text);
    void addNull();
    // Ends a row; each statement's rows are written as its last row ends.
    void endRow();

private:
    void startStatement();
    void bindUtf8(const QString &text);
    void check(int code) const;

    CellRegister &r_;
    sqlite3 *db_; // null: through Qt
    QString head_;
    QString tail_;
    Returned returned_;
    int columns_;
    qsizetype remaining_; // rows not yet written
    qsizetype statementRows_ = 0; // rows the prepared statement takes
    qsizetype rowsBound_ = 0;
    int bound_ = 0; // values bound to the statement so far
    sqlite3_stmt *native_ = nullptr;
    QSqlQuery query_;
    // Each value bound, as text and as UTF-8, kept until the statement has run.
    struct Text {
        QString text;
        QByteArray utf8;
    };
    std::vector<Text> texts_;
    QStringEncoder utf8_{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};

// The rows of a query, one after the other. Qt's driver makes a variant of every value and
// converts every text to UTF-16, which over a large register costs more than SQLite's own
// work: on SQLite the rows are read through SQLite's own interface. PostgreSQL reads
// through Qt.
class RowReader {
public:
    // The values, texts or integers, are bound in order.
    RowReader(CellRegister &r, const QString &sql, const QVariantList &values = {});
    ~RowReader();
    RowReader(const RowReader &) = delete;
    RowReader &operator=(const RowReader &) = delete;

    bool next();
    qint64 integer(int column) const;
    QString text(int column) const; // null for NULL
    bool isNull(int column) const;

private:
    [[noreturn]] void fail() const;

    CellRegister &r_;
    sqlite3 *db_; // null: through Qt
    sqlite3_stmt *native_ = nullptr;
    QSqlQuery query_;
};

} // namespace cellregister
