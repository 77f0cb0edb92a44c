#pragma once

#include "cellregister/errors.h"
#include "cellregister/location.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <memory>

struct sqlite3;

namespace cellregister {

// Whether opening may make a new register: only what is about to write into it may, so
// that a mistyped path read from leaves no empty register behind.
enum class Opening { MayCreate, MustExist };

// How long a PostgreSQL server that answers at all takes beyond the lock wait: a call that
// gets no answer in the lock wait and this much more gives up.
constexpr int kServerGraceMilliseconds = 5'000;

// An open register: its schema created on first use and migrated forward; a register of a
// newer version, or a database holding something else, is refused before anything is
// written. SQLite runs in WAL mode with foreign keys on; writers wait for each other up to
// the lock wait. On PostgreSQL no call waits longer than the lock wait and the grace above,
// whatever the server does. Every failure raises ERegisterFault with the register's name in
// it.
class CellRegister {
public:
    explicit CellRegister(const Location &location, int lockWaitMilliseconds = 10'000,
                          Opening opening = Opening::MayCreate);
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
    // The next row; false at the end. A row that cannot be read (a damaged file, a server
    // gone) raises ERegisterFault rather than looking like the end.
    bool next(QSqlQuery &query);
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

    // A read that sees the register as it was at one moment, whatever other programs
    // write meanwhile: the statements of a listing agree with each other. Within another
    // transaction it adds nothing.
    class Snapshot {
    public:
        explicit Snapshot(CellRegister &r);
        ~Snapshot();
        Snapshot(const Snapshot &) = delete;
        Snapshot &operator=(const Snapshot &) = delete;

    private:
        CellRegister &r_;
        bool open_ = false;
    };

    [[noreturn]] void fail(const QString &what, const QString &driverText,
                           const QString &nativeCode = {}) const;

    class ServerWatch;
    // Arms the watch over a PostgreSQL server for as long as it lives.
    class Call {
    public:
        explicit Call(const CellRegister &r);
        ~Call();
        Call(const Call &) = delete;
        Call &operator=(const Call &) = delete;

    private:
        ServerWatch *watch_;
    };

private:
    void checkFile(Opening opening);
    void checkHeader();
    // What opening a register that is not there raises.
    ERegisterFault noRegister() const;
    void rollBack();
    void watchServer();
    void open();
    void close();
    int readVersion();
    void enableWal();
    void bringSchemaUpToDate(Opening opening);

    Location location_;
    int lockWaitMilliseconds_;
    QString connection_;
    QSqlDatabase db_;
    bool connected_ = false;
    enum class Open { None, Read, Write } open_ = Open::None; // the transaction under way
    std::unique_ptr<ServerWatch> watch_;
};

// The register's time text of a moment: ISO 8601 in UTC with milliseconds.
QString timeText(const QDateTime &t);
QDateTime timeFromText(const QString &text);

} // namespace cellregister
