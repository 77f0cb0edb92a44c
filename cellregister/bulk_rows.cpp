#include "cellregister/bulk_rows.h"

#include <sqlite3.h>

namespace cellregister {

namespace {

// Rows per statement: more gain nothing measurable, and 64 rows of a dozen values stay far
// below either database's limit on placeholders.
constexpr qsizetype kRowsPerStatement = 64;

QString valuesSql(const QString &head, qsizetype rows, int columns, const QString &tail)
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
    return sql + tail;
}

} // namespace

RowInsert::RowInsert(CellRegister &r, const QString &head, int columns, qsizetype rows,
                     const QString &tail, Returned returned)
    : r_(r),
      db_(r.sqliteHandle()),
      head_(head),
      tail_(tail),
      returned_(std::move(returned)),
      columns_(columns),
      remaining_(rows)
{
    if (db_)
        texts_.resize(std::size_t(kRowsPerStatement * columns));
}

RowInsert::~RowInsert()
{
    sqlite3_finalize(native_);
}

void RowInsert::check(int code) const
{
    if (code != SQLITE_OK && code != SQLITE_DONE)
        r_.fail(QStringLiteral("cannot be read or written"), QString::fromUtf8(sqlite3_errmsg(db_)),
                QString::number(code & 0xff));
}

void RowInsert::startStatement()
{
    const qsizetype rows = std::min(kRowsPerStatement, remaining_);
    Q_ASSERT(rows > 0);
    if (rows == statementRows_)
        return;
    statementRows_ = rows;
    const QString sql = valuesSql(head_, rows, columns_, tail_);
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

void RowInsert::addNull()
{
    if (bound_ == 0)
        startStatement();
    ++bound_;
    if (db_)
        check(sqlite3_bind_null(native_, bound_));
    else
        query_.addBindValue(QVariant());
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
        bindUtf8(text);
}

// SQLite keeps text as UTF-8: given UTF-16 it would convert every value itself, at several
// times the cost. Each value has a buffer of its own that lives until the statement has
// run, so SQLite need not copy it; the next statements reuse the buffers, and a text that
// the same place held in the last statement (a record's time, model, file) is not
// converted again.
void RowInsert::bindUtf8(const QString &text)
{
    Text &slot = texts_[std::size_t(bound_ - 1)];
    if (slot.text.constData() != text.constData() || slot.text.size() != text.size()) {
        slot.text = text;
        slot.utf8.resize(utf8_.requiredSpace(text.size()));
        char *end = utf8_.appendToBuffer(slot.utf8.data(), text);
        slot.utf8.truncate(end - slot.utf8.constData());
    }
    check(sqlite3_bind_text(native_, bound_, slot.utf8.constData(), int(slot.utf8.size()),
                            SQLITE_STATIC));
}

void RowInsert::endRow()
{
    if (++rowsBound_ < statementRows_)
        return;
    if (db_) {
        int code = sqlite3_step(native_);
        for (; code == SQLITE_ROW; code = sqlite3_step(native_)) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(native_, 1));
            returned_(sqlite3_column_int64(native_, 0),
                      QByteArrayView(text, sqlite3_column_bytes(native_, 1)));
        }
        check(code);
        sqlite3_reset(native_);
    } else {
        r_.exec(query_);
        while (returned_ && r_.next(query_))
            returned_(query_.value(0).toLongLong(), query_.value(1).toString().toUtf8());
    }
    remaining_ -= rowsBound_;
    rowsBound_ = 0;
    bound_ = 0;
}

RowReader::RowReader(CellRegister &r, const QString &sql, const QVariantList &values)
    : r_(r), db_(r.sqliteHandle())
{
    if (!db_) {
        query_ = r.run(sql, values);
        return;
    }
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &native_, nullptr) != SQLITE_OK)
        fail();
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &v = values[i];
        const int code = v.typeId() == QMetaType::QString
            ? sqlite3_bind_text(native_, i + 1, v.toString().toUtf8().constData(), -1,
                                SQLITE_TRANSIENT)
            : sqlite3_bind_int64(native_, i + 1, v.toLongLong());
        if (code != SQLITE_OK)
            fail();
    }
}

RowReader::~RowReader()
{
    sqlite3_finalize(native_);
}

void RowReader::fail() const
{
    r_.fail(QStringLiteral("cannot be read"), QString::fromUtf8(sqlite3_errmsg(db_)),
            QString::number(sqlite3_errcode(db_)));
}

bool RowReader::next()
{
    if (!db_)
        return r_.next(query_);
    const int code = sqlite3_step(native_);
    if (code == SQLITE_ROW)
        return true;
    if (code != SQLITE_DONE)
        fail();
    return false;
}

qint64 RowReader::integer(int column) const
{
    return db_ ? sqlite3_column_int64(native_, column) : query_.value(column).toLongLong();
}

QString RowReader::text(int column) const
{
    if (!db_)
        return query_.value(column).toString();
    // The text first, then its length, as SQLite asks.
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(native_, column));
    return utf8 ? QString::fromUtf8(utf8, sqlite3_column_bytes(native_, column)) : QString();
}

bool RowReader::isNull(int column) const
{
    return db_ ? sqlite3_column_type(native_, column) == SQLITE_NULL
               : query_.value(column).isNull();
}

} // namespace cellregister
