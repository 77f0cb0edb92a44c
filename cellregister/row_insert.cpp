#include "cellregister/row_insert.h"

#include <sqlite3.h>

namespace cellregister {

namespace {

// Rows per statement: more gain nothing measurable, and 64 rows of a dozen values stay far
// below either database's limit on placeholders.
constexpr qsizetype kRowsPerStatement = 64;

QString valuesSql(const QString &head, qsizetype rows, int columns)
{
    QString row = QStringLiteral("(?");
    for (int c = 1; c < columns; ++c)
        row += QStringLiteral(",?");
    row += u')';
    QString sql = head;
    for (qsizetype i = 0; i < rows; ++i) {
        if (i > 0)
            sql += u',';
        sql += row;
    }
    return sql;
}

} // namespace

RowInsert::RowInsert(CellRegister &r, const QString &head, int columns, qsizetype rows)
    : r_(r), db_(r.sqliteHandle()), head_(head), columns_(columns), remaining_(rows)
{
}

RowInsert::~RowInsert()
{
    sqlite3_finalize(native_);
}

void RowInsert::check(int code) const
{
    if (code != SQLITE_OK && code != SQLITE_DONE)
        r_.fail(QStringLiteral("cannot be read or written"),
                QString::fromUtf8(sqlite3_errmsg(db_)), QString::number(code & 0xff));
}

void RowInsert::startStatement()
{
    const qsizetype rows = std::min(kRowsPerStatement, remaining_);
    Q_ASSERT(rows > 0);
    if (rows == statementRows_)
        return;
    statementRows_ = rows;
    const QString sql = valuesSql(head_, rows, columns_);
    if (db_) {
        sqlite3_finalize(native_);
        native_ = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        check(sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &native_, nullptr));
    } else {
        query_ = r_.prepare(sql);
    }
}

void RowInsert::add(qint64 value)
{
    if (bound_ == 0)
        startStatement();
    ++bound_;
    if (db_)
        check(sqlite3_bind_int64(native_, bound_, value));
    else
        query_.addBindValue(value);
}

void RowInsert::add(const QString &text)
{
    if (bound_ == 0)
        startStatement();
    ++bound_;
    if (!db_)
        query_.addBindValue(text);
    else if (text.isNull())
        check(sqlite3_bind_null(native_, bound_));
    else
        check(sqlite3_bind_text16(native_, bound_, text.utf16(), int(text.size() * 2),
                                  SQLITE_TRANSIENT));
}

void RowInsert::endRow()
{
    if (++rowsBound_ < statementRows_)
        return;
    if (db_) {
        const int code = sqlite3_step(native_);
        sqlite3_reset(native_);
        check(code);
    } else {
        r_.exec(query_);
    }
    remaining_ -= rowsBound_;
    rowsBound_ = 0;
    bound_ = 0;
}

} // namespace cellregister
