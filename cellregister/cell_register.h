#pragma once

#include "cellregister/location.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

struct sqlite3;

namespace cellregister {

// An open register: its schema created on first use and migrated forward; a register of a
// newer version, or a database holding something else, is refused before anything is
// written. SQLite runs in WAL mode with foreign keys on; writers wait for each other up to
// the lock wait. Every failure raises ERegisterFault with the register's name in it.
class CellRegister {
public:
    explicit CellRegister(const Location &location, int lockWaitMilliseconds = 10'000);
    ~CellRegister();
    CellRegister(const CellRegister &) = delete;
    CellRegister &operator=(const CellRegister &) = delete;

    const Location &location() const { return location_; }
    bool isPostgres() const { return location_.postgres; }
    // Orders labels by their bytes in both databases, whatever the server's locale.
    QString labelCollation() const
    {
        return isPostgres() ? QStringLiteral(" COLLATE \"C\"") : QString();
    }

    // A statement prepared, its values bound in order, and run. Forward-only.
    QSqlQuery run(const QString &sql, const QVariantList &values = {});
    QSqlQuery prepare(const QString &sql);
    void exec(QSqlQuery &query);
    // The SQLite connection under Qt's, for writes that Qt's binding would slow down; null
    // on PostgreSQL.
    sqlite3 *sqliteHandle() const;

    // A write transaction: it holds the register's write lock from its start (so that two
    // writers queue instead of failing half-way) and rolls back unless committed.
    class Transaction {
    public:
        explicit Transaction(CellRegister &r);
        ~Transaction();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;
        void commit();

    private:
        CellRegister &r_;
        bool open_ = true;
    };

    [[noreturn]] void fail(const QString &what, const QString &driverText,
                           const QString &nativeCode = {}) const;

private:
    void checkFile();
    void open();
    int readVersion();
    void enableWal();
    void bringSchemaUpToDate();

    Location location_;
    int lockWaitMilliseconds_;
    QString connection_;
    QSqlDatabase db_;
};

// The register's time text of a moment: ISO 8601 in UTC with milliseconds.
QString timeText(const QDateTime &t);
QDateTime timeFromText(const QString &text);

} // namespace cellregister
