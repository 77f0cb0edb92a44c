#include "cellregister/cell_register.h"

#include "cellregister/errors.h"
#include "cellregister/label_key.h"
#include "cellregister/measurements.h"
#include "cellregister/schema.h"
#include "core/system_error.h"

#include <QAtomicInt>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QThread>

#include <libpq-fe.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cellregister {

namespace {

QAtomicInt connectionCount;

bool isBusy(const QString &nativeCode)
{
    // SQLITE_BUSY and SQLITE_LOCKED; PostgreSQL's lock_not_available.
    return nativeCode == u"5" || nativeCode == u"6" || nativeCode == u"55P03";
}

PGconn *postgresConnection(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    // The driver names it by the typedef or, built otherwise, by the struct behind it.
    if (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

} // namespace

// A server can stop answering without closing anything (a frozen host, a cable pulled on
// the way): libpq then waits for good, and a server's own statement_timeout cannot help a
// server that does not run. A call that outlasts its deadline has the connection's socket
// shut from this thread: libpq's wait returns at once with the connection broken, the call
// fails and the register says why.
class CellRegister::ServerWatch {
public:
    ServerWatch(int socket, int limitMilliseconds)
        : socket_(socket), limit_(limitMilliseconds), thread_([this] { watch(); })
    { }
    ~ServerWatch()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_one();
        thread_.join();
    }

    void arm()
    {
        const std::lock_guard lock(mutex_);
        if (depth_++ == 0)
            deadline_ = Clock::now() + std::chrono::milliseconds(limit_);
        changed_.notify_one();
    }
    void disarm()
    {
        const std::lock_guard lock(mutex_);
        if (--depth_ == 0)
            deadline_.reset();
        changed_.notify_one();
    }
    bool fired() const
    {
        const std::lock_guard lock(mutex_);
        return fired_;
    }
    int limitMilliseconds() const { return limit_; }

private:
    using Clock = std::chrono::steady_clock;

    void watch()
    {
        std::unique_lock lock(mutex_);
        while (!stop_) {
            if (!deadline_) {
                changed_.wait(lock);
            } else if (Clock::now() < *deadline_) {
                changed_.wait_until(lock, *deadline_);
            } else {
                ::shutdown(socket_, SHUT_RDWR);
                fired_ = true;
                deadline_.reset();
            }
        }
    }

    const int socket_;
    const int limit_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Clock::time_point> deadline_;
    int depth_ = 0;
    bool fired_ = false;
    bool stop_ = false;
    std::thread thread_;
};

CellRegister::Call::Call(const CellRegister &r) : watch_(r.watch_.get())
{
    if (watch_)
        watch_->arm();
}

CellRegister::Call::~Call()
{
    if (watch_)
        watch_->disarm();
}

// Both are written by hand: QDateTime's own text conversions cost microseconds each, which
// is most of the time of a record or a listing of a hundred thousand cells.
QString timeText(const QDateTime &t)
{
    const QDateTime utc = t.toUTC();
    const QDate d = utc.date();
    const QTime c = utc.time();
    char text[25];
    if (d.year() < 0 || d.year() > 9999) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", d.year(), d.month(),
                      d.day(), c.hour(), c.minute(), c.second(), c.msec());
        return QString::fromLatin1(text);
    }
    // Even snprintf costs as much as the rest of a listed cell.
    std::memcpy(text, "0000-00-00T00:00:00.000Z", 24);
    const auto put = [&](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, d.year(), 4);
    put(5, d.month(), 2);
    put(8, d.day(), 2);
    put(11, c.hour(), 2);
    put(14, c.minute(), 2);
    put(17, c.second(), 2);
    put(20, c.msec(), 3);
    return QString::fromLatin1(text, 24);
}

QDateTime timeFromText(const QString &text)
{
    const auto digits = [&](qsizetype at, int n) {
        int v = 0;
        for (int i = 0; i < n; ++i) {
            const int d = text[at + i].digitValue();
            if (d < 0)
                return -1;
            v = v * 10 + d;
        }
        return v;
    };
    if (text.size() == 24 && text[4] == u'-' && text[10] == u'T' && text[19] == u'.'
        && text[23] == u'Z') {
        const QDate d(digits(0, 4), digits(5, 2), digits(8, 2));
        const QTime c(digits(11, 2), digits(14, 2), digits(17, 2), digits(20, 3));
        if (d.isValid() && c.isValid())
            return QDateTime(d, c, Qt::UTC);
    }
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}

CellRegister::CellRegister(const Location &location, int lockWaitMilliseconds, Opening opening)
    : location_(location), lockWaitMilliseconds_(lockWaitMilliseconds)
{
    connection_ = QStringLiteral("cellregister-%1").arg(connectionCount.fetchAndAddOrdered(1));
    try {
        if (!location_.postgres)
            checkFile(opening);
        open();
        bringSchemaUpToDate(opening);
    } catch (...) {
        // No destructor runs for a register that was never made: what the attempt took (the
        // connection, its file or socket, the driver's memory) is given back here, so that a
        // program that tries again and again holds no more than one attempt's worth.
        close();
        throw;
    }
}

CellRegister::~CellRegister()
{
    close();
}

void CellRegister::close()
{
    if (db_.isValid()) {
        const Call call(*this);
        db_.close();
    }
    watch_.reset();
    db_ = QSqlDatabase();
    if (QSqlDatabase::contains(connection_))
        QSqlDatabase::removeDatabase(connection_);
}

void CellRegister::fail(const QString &what, const QString &driverText,
                        const QString &nativeCode) const
{
    if (location_.postgres) {
        const QString during = open_ == Open::Write ? QStringLiteral(" during the write")
            : open_ == Open::Read                   ? QStringLiteral(" during the read")
                                                    : QString();
        if (watch_ && watch_->fired())
            throw ERegisterFault(
                QStringLiteral("the PostgreSQL server of the register %1 stopped answering%2; "
                               "gave up after %3 s")
                    .arg(location_.shown(), during)
                    .arg(watch_->limitMilliseconds() / 1000.0));
        // Qt's driver counts a connection open while libpq has it whole; a server that
        // ends it on purpose says so first (class 57P: shut down, 08: connection lost).
        if (connected_
            && (!db_.isOpen() || nativeCode.startsWith(u"57P") || nativeCode.startsWith(u"08"))) {
            QString text = QStringLiteral("the PostgreSQL server of the register %1 closed the "
                                          "connection%2")
                               .arg(location_.shown(), during);
            // The server's own words, when it gave any, say why ("terminating connection
            // due to administrator command"); the driver's code after them says nothing more.
            QString detail = core::trimErrorTail(driverText.simplified());
            if (const QString code = u'(' + nativeCode + u')';
                !nativeCode.isEmpty() && detail.endsWith(code))
                detail = core::trimErrorTail(detail.chopped(code.size()));
            if (!detail.isEmpty())
                text += QStringLiteral(" (") + detail + u')';
            throw ERegisterFault(text);
        }
    }
    if (isBusy(nativeCode))
        throw ERegisterFault(
            QStringLiteral("the register %1 is locked by another program; gave up after %2 s")
                .arg(location_.shown(), QString::number(lockWaitMilliseconds_ / 1000.0)));
    QString text = QStringLiteral("the register %1: %2").arg(location_.shown(), what);
    const QString detail = core::trimErrorTail(location_.hidePassword(driverText).simplified());
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + detail;
    throw ERegisterFault(text);
}

ERegisterFault CellRegister::noRegister() const
{
    return ERegisterFault(QStringLiteral("there is no register %1").arg(location_.shown()));
}

// Everything SQLite would trip over later is looked at before the file is opened, so that
// a file of another kind is never touched, not even by the journal mode.
void CellRegister::checkFile(Opening opening)
{
    const QFileInfo info(location_.path);
    QString folder = info.absolutePath();
    if (location_.isDefault && !QDir().mkpath(folder))
        fail(QStringLiteral("cannot make its folder %1").arg(folder), core::systemErrorText(errno));
    if (!QFileInfo(folder).isDir())
        fail(QStringLiteral("its folder %1 does not exist").arg(folder), {});
    // The journal and its index are written beside the register, even to read it.
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        fail(QStringLiteral("its folder cannot be written"), core::systemErrorText(errno));
    if (!info.exists()) {
        if (opening == Opening::MustExist)
            throw noRegister();
        return;
    }
    if (!info.isFile())
        fail(QStringLiteral("not a register file"), {});
    if (::access(QFile::encodeName(location_.path).constData(), R_OK | W_OK) != 0)
        fail(QStringLiteral("cannot be written"), core::systemErrorText(errno));
    // Its header is read by SQLite itself once it is open (checkHeader): a descriptor of our
    // own on the file, closed again, would drop every lock that this process's other
    // connections hold on it, and other programs could then check the journal away under them.
}

// The first read of a file looks at its header: SQLite answers a file of another kind with
// "not a database" (26) and has written nothing to it.
void CellRegister::checkHeader()
{
    QSqlQuery probe(db_);
    if (probe.exec(QStringLiteral("PRAGMA schema_version")))
        return;
    const QString code = probe.lastError().nativeErrorCode();
    if (code == u"26")
        fail(QStringLiteral("not a cell register (not a SQLite file)"), {});
    fail(QStringLiteral("cannot be read"), probe.lastError().databaseText(), code);
}

void CellRegister::open()
{
    if (location_.postgres) {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
        db_.setHostName(location_.host);
        if (location_.port > 0)
            db_.setPort(location_.port);
        db_.setUserName(location_.user);
        db_.setPassword(location_.password);
        db_.setDatabaseName(location_.database);
        // libpq counts whole seconds, at least 2.
        const int limit = lockWaitMilliseconds_ + kServerGraceMilliseconds;
        db_.setConnectOptions(QStringLiteral("connect_timeout=%1").arg((limit + 999) / 1000));
    } else {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db_.setDatabaseName(location_.path);
        db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(lockWaitMilliseconds_));
    }
    if (!db_.isValid())
        fail(QStringLiteral("the Qt Sql driver %1 is not installed").arg(db_.driverName()), {});
    if (!db_.open())
        fail(location_.postgres ? QStringLiteral("cannot connect") : QStringLiteral("cannot open"),
             db_.lastError().databaseText().isEmpty() ? db_.lastError().text()
                                                      : db_.lastError().databaseText(),
             db_.lastError().nativeErrorCode());
    connected_ = true;
    if (location_.postgres) {
        watchServer();
        run(QStringLiteral("SET client_min_messages TO WARNING"));
        // PostgreSQL's 0 is no limit at all; a wait of nothing is its shortest one.
        run(QStringLiteral("SET lock_timeout = %1").arg(std::max(1, lockWaitMilliseconds_)));
    } else {
        checkHeader();
        run(QStringLiteral("PRAGMA foreign_keys = ON"));
    }
}

void CellRegister::watchServer()
{
    const PGconn *conn = postgresConnection(db_);
    const int socket = conn ? PQsocket(conn) : -1;
    if (socket >= 0)
        watch_ =
            std::make_unique<ServerWatch>(socket, lockWaitMilliseconds_ + kServerGraceMilliseconds);
}

QSqlQuery CellRegister::prepare(const QString &sql)
{
    const Call call(*this);
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        fail(QStringLiteral("cannot be read or written"), query.lastError().databaseText(),
             query.lastError().nativeErrorCode());
    return query;
}

void CellRegister::exec(QSqlQuery &query)
{
    const Call call(*this);
    if (!query.exec())
        fail(QStringLiteral("cannot be read or written"), query.lastError().databaseText(),
             query.lastError().nativeErrorCode());
}

bool CellRegister::next(QSqlQuery &query)
{
    const Call call(*this);
    if (query.next())
        return true;
    if (query.lastError().isValid())
        fail(QStringLiteral("cannot be read"), query.lastError().databaseText(),
             query.lastError().nativeErrorCode());
    return false;
}

QSqlQuery CellRegister::run(const QString &sql, const QVariantList &values)
{
    if (values.isEmpty()) {
        const Call call(*this);
        QSqlQuery query(db_);
        query.setForwardOnly(true);
        if (!query.exec(sql))
            fail(QStringLiteral("cannot be read or written"), query.lastError().databaseText(),
                 query.lastError().nativeErrorCode());
        return query;
    }
    QSqlQuery query = prepare(sql);
    for (const QVariant &v : values)
        query.addBindValue(v);
    exec(query);
    return query;
}

sqlite3 *CellRegister::sqliteHandle() const
{
    if (location_.postgres)
        return nullptr;
    const QVariant handle = db_.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

CellRegister::Transaction::Transaction(CellRegister &r) : r_(r)
{
    // A write that fails at its very start still failed during the write.
    r_.open_ = Open::Write;
    bool begun = false;
    try {
        if (r_.isPostgres()) {
            r_.run(QStringLiteral("BEGIN"));
            begun = true;
            // Serialises writers the way SQLite's write lock does: a schema change or a
            // batch of labels never meets another half-way.
            r_.run(QStringLiteral("SELECT pg_advisory_xact_lock(5149252)"));
        } else {
            r_.run(QStringLiteral("BEGIN IMMEDIATE"));
        }
    } catch (...) {
        open_ = false;
        if (begun)
            r_.rollBack();
        r_.open_ = Open::None;
        throw;
    }
}

CellRegister::Transaction::~Transaction()
{
    if (!open_)
        return;
    r_.rollBack();
    r_.open_ = Open::None;
}

void CellRegister::Transaction::commit()
{
    r_.run(QStringLiteral("COMMIT"));
    open_ = false;
    r_.open_ = Open::None;
}

// SQLite's deferred BEGIN takes its snapshot at the first read and keeps it to the end (WAL
// lets writers go on meanwhile); PostgreSQL's READ COMMITTED would take one per statement.
CellRegister::Snapshot::Snapshot(CellRegister &r) : r_(r)
{
    if (r_.open_ != Open::None)
        return;
    r_.run(r_.isPostgres() ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY")
                           : QStringLiteral("BEGIN"));
    r_.open_ = Open::Read;
    open_ = true;
}

CellRegister::Snapshot::~Snapshot()
{
    if (!open_)
        return;
    // Nothing was written: ending it either way only lets the snapshot go.
    r_.rollBack();
    r_.open_ = Open::None;
}

// Errors go unreported: this ends what already failed, or what a lost connection ended.
void CellRegister::rollBack()
{
    const Call call(*this);
    if (db_.isOpen())
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
}

// Going over to WAL takes the file for itself for a moment, and SQLite answers busy at once
// rather than through its busy timeout while another program has it: so this waits here,
// as long as any other lock would be waited for.
void CellRegister::enableWal()
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QSqlQuery query(db_);
        if (query.exec(QStringLiteral("PRAGMA journal_mode = WAL")))
            return;
        const QString code = query.lastError().nativeErrorCode();
        if (!isBusy(code) || waited.elapsed() >= lockWaitMilliseconds_)
            fail(QStringLiteral("cannot be read or written"), query.lastError().databaseText(),
                 code);
        QThread::msleep(20);
    }
}

// -1: no tables at all (a new register); -2: tables, but not a register's. Asked by hand
// rather than through QSqlDatabase::tables(), which answers a file it cannot read with no
// tables, as if it were a new register.
int CellRegister::readVersion()
{
    QSqlQuery q = run(location_.postgres
                          ? QStringLiteral("SELECT table_name FROM information_schema.tables "
                                           "WHERE table_schema = current_schema() "
                                           "AND table_type = 'BASE TABLE'")
                          : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
    bool any = false, isRegister = false;
    while (next(q)) {
        any = true;
        isRegister = isRegister || q.value(0).toString() == u"register_schema";
    }
    if (!isRegister)
        return any ? -2 : -1;
    q = run(QStringLiteral("SELECT version FROM register_schema"));
    return next(q) ? q.value(0).toInt() : -2;
}

void CellRegister::bringSchemaUpToDate(Opening opening)
{
    const auto check = [&](int version) {
        if (version == -2)
            fail(QStringLiteral("not a cell register (it holds other tables)"), {});
        if (version > kSchemaVersion)
            fail(QStringLiteral("written by a newer version of this program (schema %1; this one "
                                "knows up to %2); "
                                "it is left unchanged")
                     .arg(version)
                     .arg(kSchemaVersion),
                 {});
    };
    // An SQLite file that is not a database at all fails here, before any write.
    int version = readVersion();
    check(version);
    if (version == -1 && opening == Opening::MustExist)
        throw noRegister();
    if (version == kSchemaVersion) {
        if (!location_.postgres)
            enableWal();
        return;
    }
    if (!location_.postgres)
        enableWal();
    Transaction t(*this);
    // Another program may have created or migrated it while this one waited for the lock.
    version = readVersion();
    check(version);
    for (int v = std::max(version, 0); v < kSchemaVersion; ++v)
        for (const QString &sql : migrationStep(v, location_.postgres)) {
            if (sql == QLatin1String(kFillTextShapes))
                fillTextShapes(*this);
            else if (sql == QLatin1String(kFillLabelKeys))
                fillLabelKeys(*this);
            else
                run(sql);
        }
    t.commit();
}

} // namespace cellregister
