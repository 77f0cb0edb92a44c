// The register's storage on a real SQLite file and a real PostgreSQL server: what goes in
// comes out exactly, a failed write leaves nothing, and every register it must refuse is
// refused with its message and left as it was.
#include "cellregister/cell_life.h"
#include "cellregister/cell_register.h"
#include "cellregister/cell_summary.h"
#include "cellregister/errors.h"
#include "cellregister/label_key.h"
#include "cellregister/local_time.h"
#include "cellregister/measurements.h"
#include "cellregister/packs.h"
#include "cellregister/schema.h"
#include "files.h"
#include "reading/line_format.h"
#include "register_backends.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace cellregister;

namespace {

Measurement measurement(const QString &label, const QString &at, std::int64_t uohm, std::int64_t uv,
                        bool rest = false)
{
    Measurement m;
    m.label = label;
    m.at = QDateTime::fromString(at, Qt::ISODate);
    m.group = 7;
    m.microohms = uohm;
    m.microvolts = uv;
    // The finest shape the values fit, and its texts.
    const auto shapeOf = [](int places, reading::ResistanceUnit unit, int voltagePlaces) {
        reading::Reading r;
        r.resistance.decimals = places;
        r.unit = unit;
        r.voltage.decimals = voltagePlaces;
        return reading::textShape(r);
    };
    using enum reading::ResistanceUnit;
    for (const int shape : {shapeOf(3, Milliohm, 3), shapeOf(1, Milliohm, 3),
                            shapeOf(3, Milliohm, 2), shapeOf(2, Ohm, 2)})
        if (reading::readingOf(uohm, uv, shape)) {
            m.shape = shape;
            break;
        }
    showTexts(uohm, uv, m.shape, m.resistanceText, m.voltageText);
    m.model = QStringLiteral("RM-40A");
    m.source = QStringLiteral("/some/file.txt");
    m.sourceLine = 3;
    m.restStart = rest;
    return m;
}

QList<Measurement> stored(CellRegister &r)
{
    QList<Measurement> all;
    forEachMeasurement(r, QString(), [&](const Measurement &m) { all << m; });
    return all;
}

bool same(const Measurement &a, const Measurement &b)
{
    return a.label == b.label && a.at == b.at && a.group == b.group && a.microohms == b.microohms
        && a.microvolts == b.microvolts && a.resistanceText == b.resistanceText
        && a.voltageText == b.voltageText && a.model == b.model && a.source == b.source
        && a.sourceLine == b.sourceLine && a.restStart == b.restStart;
}

// What a register holds, seen by a plain connection of its own: to tell "left as it was".
QByteArray contents(const QString &address)
{
    const Location l = locate(address);
    if (!l.postgres)
        return readFile(l.path);
    QByteArray text;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("look"));
        db.setHostName(l.host);
        db.setUserName(l.user);
        db.setDatabaseName(l.database);
        if (!db.open())
            text = "(cannot connect)";
        text += db.tables().join(u',').toUtf8();
        QSqlQuery q(db);
        if (!db.isOpen())
            q.clear();
        if (q.exec(QStringLiteral("SELECT version FROM register_schema")) && q.next())
            text += " v" + q.value(0).toByteArray();
        if (q.exec(QStringLiteral("SELECT count(*) FROM measurements")) && q.next())
            text += " m" + q.value(0).toByteArray();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("look"));
    return text;
}

// Rows of a query as text, read by a plain connection of its own.
QStringList rowsOf(const QString &address, const QString &sql)
{
    const Location l = locate(address);
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(l.postgres ? QStringLiteral("QPSQL")
                                                               : QStringLiteral("QSQLITE"),
                                                    QStringLiteral("rows"));
        db.setHostName(l.host);
        db.setUserName(l.user);
        db.setDatabaseName(l.postgres ? l.database : l.path);
        QSqlQuery q(db);
        if (!db.open() || !q.exec(sql))
            rows << QStringLiteral("(failed: %1)").arg(q.lastError().text());
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << (q.isNull(i) ? QStringLiteral("NULL") : q.value(i).toString());
            rows << row.join(u'|');
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    return rows;
}

// A register of an earlier version at the address: the fixture file itself, or on PostgreSQL
// the same register written through the earlier versions' statements.
bool copyRegister(const QString &fixture, int version, const QString &address)
{
    const Location l = locate(address);
    if (!l.postgres)
        return QFile::copy(fixture, l.path)
            && QFile::setPermissions(l.path, QFile::ReadOwner | QFile::WriteOwner);
    QStringList sql;
    for (int v = 0; v < version; ++v)
        for (const QString &statement : migrationStep(v, true))
            if (!statement.startsWith(u'%')) // what the program does: nothing in empty tables
                sql << statement;
    for (const char *table : {"cells", "record_runs", "run_files", "measurements", "capacities",
                              "packs", "pack_cells", "pack_swaps"}) {
        const std::string_view name = table;
        if ((version == 1 && (name == "record_runs" || name == "capacities"))
            || (version < 3 && name == "run_files"))
            continue;
        for (const QString &row : rowsOf(fixture, QStringLiteral("SELECT * FROM ") + table)) {
            QStringList values;
            for (QString v : row.split(u'|'))
                values << (v == u"NULL" ? v
                                        : u'\'' + v.replace(u'\'', QStringLiteral("''")) + u'\'');
            sql << QStringLiteral("INSERT INTO %1 VALUES (%2)")
                       .arg(QLatin1String(table), values.join(u','));
        }
        // Rows written with their keys leave the key's sequence behind them.
        if (name != "pack_cells")
            sql << QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), "
                                  "(SELECT COALESCE(MAX(id), 0) + 1 FROM %1), false)")
                       .arg(QLatin1String(table));
    }
    for (const QString &statement : sql)
        if (const QStringList rows = rowsOf(address, statement);
            !rows.isEmpty() && !statement.startsWith(u"SELECT setval")) {
            qWarning("%s: %s", qPrintable(statement), qPrintable(rows.join(u'\n')));
            return false;
        }
    return true;
}

} // namespace

class TestCellRegister : public QObject {
    Q_OBJECT

    RegisterBackends backends_;

    void addBackendRows(const char *name)
    {
        for (const QString &b : RegisterBackends::names())
            QTest::newRow(qPrintable(b + u'/' + QLatin1String(name))) << b;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(backends_.start().isEmpty(), qPrintable(backends_.server().error()));
    }

    // A rest is counted as people count it: a week from 09:00 is 09:00 seven calendar days
    // later, across a change of summer time too, give or take the tolerance.
    void restLastsCalendarDays_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end"); // local times of the zone
        QTest::addColumn<bool>("lasted"); // 7 days
        const struct {
            const char *name, *zone, *start, *end;
            bool lasted;
        } rows[] = {
            {"spring forward, same hour", "Europe/Berlin", "2026-03-25T09:00", "2026-04-01T09:00",
             true},
            {"spring forward, an hour early", "Europe/Berlin", "2026-03-25T09:00",
             "2026-04-01T08:00", true},
            {"fall back, same hour", "Europe/Berlin", "2026-10-21T09:00", "2026-10-28T09:00", true},
            {"beyond the tolerance", "Europe/Berlin", "2026-03-25T09:00", "2026-04-01T06:59",
             false},
            {"six days", "Europe/Berlin", "2026-03-25T09:00", "2026-03-31T09:00", false},
            {"UTC, 5 minutes early", "UTC", "2026-03-25T09:00", "2026-04-01T08:55", true},
            {"UTC, the tolerance exactly", "UTC", "2026-03-25T09:00", "2026-04-01T07:00", true},
            {"UTC, just beyond it", "UTC", "2026-03-25T09:00", "2026-04-01T06:59", false},
            {"backwards", "UTC", "2026-04-01T09:00", "2026-03-25T09:00", false},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QByteArray(r.zone) << QString::fromLatin1(r.start)
                                  << QString::fromLatin1(r.end) << r.lasted;
    }
    void restLastsCalendarDays()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, lasted);
        const QByteArray before = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
        const QDateTime from = QDateTime::fromString(start, Qt::ISODate);
        const QDateTime to = QDateTime::fromString(end, Qt::ISODate);
        const bool zoneTaken = (from.offsetFromUtc() == 0) == (zone == "UTC");
        const bool got = restLasted(from.toUTC(), to.toUTC(), 7);
        if (before.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", before);
        tzset();
        QVERIFY(zoneTaken);
        QCOMPARE(got, lasted);
        // The rate stays per exact elapsed time: 7 mV over 6 d 23 h is above 1 mV/day.
        if (lasted) {
            CellSummary c;
            c.restStart = from.toUTC();
            c.latest = to.toUTC();
            c.restStartMicrovolts = 4'100'000;
            c.microvolts = 4'093'000;
            QCOMPARE(selfDischarge(c, 7).value_or(-1), 7.0 / (from.msecsTo(to) / 86'400'000.0));
        }
    }

    // Times are shown in local time with their offset: against Qt's own conversion, over
    // two centuries and at each change of summer time, in zones of odd offsets too.
    void showsLocalTimeWithOffset()
    {
        const QByteArray before = qgetenv("TZ");
        QRandomGenerator random(7);
        for (const char *zone : {"UTC", "Europe/Berlin", "America/St_Johns", "Australia/Lord_Howe",
                                 "Asia/Kathmandu"}) {
            qputenv("TZ", zone);
            tzset();
            std::vector<qint64> instants;
            for (int i = 0; i < 800; ++i)
                instants.push_back(
                    random.bounded(qint64(-2'208'988'800'000), qint64(4'102'444'800'000)));
            // Around every change of offset from 2020 to 2030, to the millisecond.
            for (qint64 t = 1'577'836'800'000; t < 1'893'456'000'000; t += 900'000) {
                const QDateTime a = QDateTime::fromMSecsSinceEpoch(t, Qt::UTC).toLocalTime();
                const QDateTime b =
                    QDateTime::fromMSecsSinceEpoch(t + 900'000, Qt::UTC).toLocalTime();
                if (a.offsetFromUtc() != b.offsetFromUtc())
                    for (const qint64 d : {-1, 0, 1, 899'999, 900'000, 900'001})
                        instants.push_back(t + d);
            }
            for (const qint64 ms : instants) {
                const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
                const QString shown = localTimeText(t);
                // An offset in seconds (local mean time of old dates) has no ISO 8601 form.
                const QDateTime local = t.toLocalTime().offsetFromUtc() % 60 == 0
                    ? t.toLocalTime()
                    : t.toOffsetFromUtc(0);
                const int offset = local.offsetFromUtc();
                const QString expected = local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
                    + (offset < 0 ? u'-' : u'+')
                    + QStringLiteral("%1:%2")
                          .arg(std::abs(offset) / 3600, 2, 10, QChar(u'0'))
                          .arg(std::abs(offset) / 60 % 60, 2, 10, QChar(u'0'));
                QVERIFY2(shown == expected,
                         qPrintable(QStringLiteral("%1: %2, not %3")
                                        .arg(QLatin1String(zone), shown, expected)));
                QCOMPARE(QDateTime::fromString(shown, Qt::ISODateWithMs).toMSecsSinceEpoch(), ms);
            }
        }
        if (before.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", before);
        tzset();
    }

    void readsRegisterAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("parts"); // host|port|user|database, or the error's end
        QTest::newRow("host and port") << "postgresql://bench@lab.example:5433/cells"
                                       << "lab.example|5433|bench|cells";
        QTest::newRow("short scheme, no port") << "postgres://bench@lab/cells"
                                               << "lab|-1|bench|cells";
        QTest::newRow("socket folder") << "postgresql:///cells?host=/run/postgresql"
                                       << "/run/postgresql|-1||cells";
        QTest::newRow("encoded socket, user") << "postgresql:///c?host=%2Ftmp%2Fpg&user=me"
                                              << "/tmp/pg|-1|me|c";
        QTest::newRow("no database") << "postgresql://bench@lab/"
                                     << ": it names no database";
        QTest::newRow("bad port") << "postgresql:///cells?port=99999"
                                  << ": the port '99999' is not a number from 1 to 65535";
        QTest::newRow("unknown key") << "postgresql:///cells?sslmode=require"
                                     << ": unknown parameter 'sslmode'";
        QTest::newRow("a file") << "/data/cells.sqlite"
                                << "file";
        // SQLite would take these for a URI or a register in memory, and keep nothing.
        const QString notAFile = QStringLiteral("(a file name with a colon is written from its "
                                                "folder, as in ./cells:2026.sqlite)");
        QTest::newRow("SQLite URI") << "file:cells.sqlite?mode=memory" << notAFile;
        QTest::newRow("in memory") << ":memory:" << notAFile;
        QTest::newRow("colon in a plain name") << "cells:2026.sqlite" << notAFile;
        QTest::newRow("password, encoded key") << "postgresql:///c?host=/pg&pass%77ord=s3cret"
                                               << "/pg|-1||c";
        QTest::newRow("password holding a slash") << "postgresql://bench:s3/cret@lab/cells"
                                                  << ": Invalid port or port number out of range";
    }
    void readsRegisterAddresses()
    {
        QFETCH(QString, address);
        QFETCH(QString, parts);
        try {
            const Location l = locate(address);
            const QString got = l.postgres
                ? QStringList({l.host, QString::number(l.port), l.user, l.database}).join(u'|')
                : QStringLiteral("file");
            QCOMPARE(got, parts);
            QVERIFY(l.postgres || l.path == address);
            QVERIFY2(!l.shown().contains(QStringLiteral("cret")), qPrintable(l.shown()));
        } catch (const ERegisterFault &e) {
            QVERIFY2(e.message().endsWith(parts), qPrintable(e.message()));
            QVERIFY2(!e.message().contains(QStringLiteral("cret")), qPrintable(e.message()));
        }
    }

    // XDG_DATA_HOME "file:..." would make the default register a SQLite URI.
    void relativeDataHomeIsIgnored()
    {
        const QByteArray data = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "file:data");
        qunsetenv("BATTERY_ANALYZER_DB");
        const QString path = locate(QString()).path;
        data.isEmpty() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", data);
        QCOMPARE(path,
                 QDir::homePath() + QStringLiteral("/.local/share/battery-analyzer/cells.sqlite"));
    }

    void keepsEveryFieldExactly_data()
    {
        QTest::addColumn<QString>("backend");
        addBackendRows("round trip");
    }
    void keepsEveryFieldExactly()
    {
        QFETCH(QString, backend);
        const QString address = backends_.fresh(backend);
        QList<Measurement> in{
            measurement("A002", "2026-01-01T10:00:00.250Z", 56'700, 4'123'000, true),
            measurement("A001", "2026-01-01T10:00:01Z", 123'450'000, 12'340'000),
            measurement("A002", "2026-01-08T10:00:00.250Z", 56'701, 4'109'000)};
        in[1].source = QStringLiteral("COM 3");
        in[1].sourceLine = 0;
        {
            CellRegister r(locate(address));
            addMeasurements(r, in);
        }
        // Reopened: the schema is found, not made again.
        CellRegister r(locate(address));
        const QList<Measurement> out = stored(r);
        QCOMPARE(out.size(), 3);
        QVERIFY(same(out[0], in[1]));
        QVERIFY(same(out[1], in[0]));
        QVERIFY(same(out[2], in[2]));

        const auto a002 = summarizeCell(r, QStringLiteral("A002"));
        QVERIFY(a002);
        QCOMPARE(a002->measurements, 2);
        QCOMPARE(a002->microohms, 56'701);
        QCOMPARE(selfDischarge(*a002, 7).value_or(-1), 2.0);
        QVERIFY(!selfDischarge(*a002, 7.5));
    }

    void writesAllOrNothing_data()
    {
        QTest::addColumn<QString>("backend");
        addBackendRows("a bad row last");
    }
    void writesAllOrNothing()
    {
        QFETCH(QString, backend);
        CellRegister r(locate(backends_.fresh(backend)));
        addMeasurements(r, {measurement("A001", "2026-01-01T10:00:00Z", 1, 1'000)});
        {
            // Chunks of 16 are stored before the reading that breaks the run comes.
            RunWriter w(r, QDateTime::currentDateTimeUtc(), QStringLiteral("RM-40A"),
                        QStringLiteral("/b.txt"), 16);
            for (int i = 0; i < 99; ++i)
                w.add(measurement(QStringLiteral("B%1").arg(i), "2026-01-02T10:00:00Z", 2, 2'000));
            Measurement bad = measurement(QStringLiteral("B99"), "2026-01-02T10:00:00Z", 2, 2'000);
            bad.shape = 0;
            bad.voltageText = QStringLiteral("9.999V");
            QVERIFY_THROWS_EXCEPTION(ERegisterFault, w.add(bad));
        }
        QCOMPARE(stored(r).size(), 1);
        QVERIFY(!hasCell(r, QStringLiteral("B0")));
    }

    // Rows go in statements of many rows each: counts about a statement's size, half of
    // the cells already known, files that change within a statement.
    void keepsOrderAcrossStatements_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("count");
        for (const QString &b : RegisterBackends::names())
            for (int count : {1, 63, 64, 65, 129, 300})
                QTest::addRow("%s/%d", qPrintable(b), count) << b << count;
    }
    void keepsOrderAcrossStatements()
    {
        QFETCH(QString, backend);
        QFETCH(int, count);
        CellRegister r(locate(backends_.fresh(backend)));
        QList<Measurement> in;
        for (int i = 0; i < count; ++i) {
            Measurement m = measurement(QStringLiteral("L%1").arg(i, 4, 10, QChar(u'0')),
                                        "2026-01-01T10:00:00Z", 1000 + i, 4'000'000 + i * 1'000);
            m.source = i < count / 2 ? QStringLiteral("/a.txt") : QStringLiteral("/b.txt");
            m.sourceLine = i;
            in << m;
        }
        addMeasurements(r, in.mid(0, count / 2));
        addMeasurements(r, in);
        const QList<Measurement> out = stored(r);
        QCOMPARE(out.size(), count + count / 2);
        for (int i = 0, o = 0; i < count; ++i) {
            for (int times = i < count / 2 ? 2 : 1; times > 0; --times, ++o)
                QVERIFY2(same(out[o], in[i]), qPrintable(out[o].label + u' ' + out[o].source));
        }
    }

    void refusesAndLeavesUnchanged_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        for (const QString &b : RegisterBackends::names()) {
            const auto row = [&](const char *setup, const char *message) {
                QTest::newRow(qPrintable(b + u'/' + QLatin1String(setup))) << b << setup << message;
            };
            row("newer schema",
                "written by a newer version of this program (schema 99; this one knows up to 4); "
                "it is left unchanged");
            row("other tables", "not a cell register (it holds other tables)");
            row("locked", "is locked by another program; gave up after 0.3 s");
            // PostgreSQL's own 0 would wait for good.
            row("locked, no wait", "is locked by another program; gave up after 0 s");
        }
        QTest::newRow("sqlite/text file") << "sqlite"
                                          << "text file"
                                          << "not a cell register (not a SQLite file)";
        QTest::newRow("postgresql/server down") << "postgresql"
                                                << "server down"
                                                << "cannot connect: ";
        QTest::newRow("postgresql/user refused")
            << "postgresql"
            << "user refused"
            << "cannot connect: connection to server on socket \""
                + backends_.server().socketFolder()
                + "/.s.PGSQL.5432\" failed: FATAL: role \"stranger\" does not exist";
    }
    void refusesAndLeavesUnchanged()
    {
        QFETCH(QString, backend);
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QString address = backends_.fresh(backend);
        const Location l = locate(address);
        {
            CellRegister r(l);
            addMeasurements(r, {measurement("A001", "2026-01-01T10:00:00Z", 1, 1'000)});
            if (setup == u"newer schema")
                r.run(QStringLiteral("UPDATE register_schema SET version = 99"));
            if (setup == u"other tables")
                r.run(QStringLiteral("DROP TABLE register_schema"));
        }
        if (setup == u"text file")
            QVERIFY(writeFile(l.path, "label,capacity\nA001,2000\n"));
        if (setup == u"server down")
            address = QStringLiteral("postgresql:///register1?host=%1&user=tester")
                          .arg(backends_.folder());
        if (setup == u"user refused")
            address = backends_.server().url(l.database, QStringLiteral("stranger"));
        const QByteArray before = contents(address);

        // A writer of another program holds the lock for the whole attempt.
        std::unique_ptr<CellRegister> holder;
        std::unique_ptr<CellRegister::Transaction> held;
        if (setup.startsWith(u"locked")) {
            holder = std::make_unique<CellRegister>(l);
            held = std::make_unique<CellRegister::Transaction>(*holder);
        }
        QElapsedTimer waited;
        waited.start();
        try {
            CellRegister r(locate(address), setup == u"locked, no wait" ? 0 : 300);
            addMeasurements(r, {measurement("A002", "2026-01-01T10:00:00Z", 1, 1'000)});
            QFAIL("no error");
        } catch (const ERegisterFault &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
            QVERIFY2(e.message().startsWith(QStringLiteral("the register ")),
                     qPrintable(e.message()));
        }
        if (setup.startsWith(u"locked"))
            QVERIFY2(waited.elapsed() < 2000, qPrintable(QString::number(waited.elapsed())));
        held.reset();
        holder.reset();
        QCOMPARE(contents(address), before);
    }

    void refusesAFolderItCannotWrite()
    {
        const QString folder = backends_.folder() + QStringLiteral("/shut");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/cells.sqlite");
        {
            CellRegister r(locate(path));
            addMeasurements(r, {measurement("A001", "2026-01-01T10:00:00Z", 1, 1'000)});
        }
        const QByteArray before = readFile(path);
        for (const QString &f : {backends_.folder(), folder})
            QCOMPARE(::chmod(QFile::encodeName(f).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0644), 0);
        if (geteuid() != 0)
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        const int status = runUnprivileged([&] {
            try {
                CellRegister r(locate(path));
            } catch (const ERegisterFault &e) {
                return e.message()
                        == QStringLiteral(
                               "the register %1: its folder cannot be written: Permission denied")
                               .arg(path)
                    ? 0
                    : 1;
            }
            return 2;
        });
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        QCOMPARE(status, 0);
        QCOMPARE(readFile(path), before);
    }

    void listsOneMomentWhileAnotherRecords_data()
    {
        QTest::addColumn<QString>("backend");
        addBackendRows("round after round");
    }
    // Another connection records, round after round, one new cell and a measurement of
    // every cell, each measurement naming its cell and round. Every listing meanwhile must
    // be one moment of the register: n cells, the k-th of them with n - k + 1
    // measurements, each the latest of its own cell in round n.
    void listsOneMomentWhileAnotherRecords()
    {
        QFETCH(QString, backend);
        const QString address = backends_.fresh(backend);
        const auto label = [](int cell) {
            return QStringLiteral("C%1").arg(cell, 4, 10, QChar(u'0'));
        };
        constexpr int kRounds = 250;
        std::atomic<bool> done = false;
        QString writerFault;
        CellRegister reader(locate(address));
        std::thread writer([&] {
            try {
                CellRegister r(locate(address));
                for (int round = 1; round <= kRounds; ++round) {
                    QList<Measurement> batch;
                    for (int cell = 1; cell <= round; ++cell) {
                        Measurement m = measurement(label(cell), "2026-01-01T10:00:00Z",
                                                    cell * 1000, (round * 256 + cell) * 1000);
                        m.at = m.at.addSecs(round);
                        batch << m;
                    }
                    addMeasurements(r, batch);
                }
            } catch (const ERegisterFault &e) {
                writerFault = e.message();
            }
            done = true;
        });
        int listings = 0, moments = 0;
        int lastCount = -1;
        QString fault;
        for (; !done && listings < 5000 && fault.isEmpty(); ++listings) {
            try {
                const std::vector<CellSummary> cells = summarizeCells(reader);
                const int n = int(cells.size());
                moments += n != lastCount;
                lastCount = n;
                for (int k = 1; k <= n && fault.isEmpty(); ++k) {
                    const CellSummary &c = cells[std::size_t(k - 1)];
                    if (c.label != label(k) || c.measurements != n - k + 1
                        || c.microohms != k * 1000 || c.microvolts != (n * 256 + k) * 1000)
                        fault = QStringLiteral("listing of %1 cells: %2 as %3 after %4 "
                                               "measurements, %5 µV")
                                    .arg(QString::number(n), label(k), c.label,
                                         QString::number(c.measurements),
                                         QString::number(c.microvolts));
                }
            } catch (const ERegisterFault &e) {
                fault = e.message();
            }
        }
        writer.join();
        QVERIFY2(writerFault.isEmpty(), qPrintable(writerFault));
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        // The listings saw the register grow, not only its start or its end.
        QVERIFY2(moments > 10, qPrintable(QString::number(moments)));
    }

    // A register of an earlier version is brought up to date in place when opened: every
    // reading reads back the same, texts rebuilt from values, model and source from its run;
    // the history version 2 added holds. A migration that fails halfway, or finds a text its
    // values would not give back, leaves the register as it was.
    void migratesInPlace_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("spoil"); // a statement that makes the migration fail
        QTest::addColumn<QString>("fault"); // in the message of that failure
        const struct {
            const char *name;
            int version;
            const char *spoil, *fault;
        } rows[] = {
            {"v1", 1, "", ""},
            {"v1, a table in the way", 1, "CREATE TABLE capacities (x INTEGER)", "capacities"},
            {"v2", 2, "", ""},
            {"v2, a text its values do not give", 2,
             "UPDATE measurements SET resistance_text = '41.1mΩ' WHERE id = 1",
             "measurement 1 (cell C001) shows \"41.1mΩ\""},
            {"v2, a voltage beside another value", 2,
             "UPDATE measurements SET microvolts = 4181001 WHERE id = 3", "measurement 3"},
            {"v2, a model not its run's", 2,
             "UPDATE measurements SET model = 'RM-40C' WHERE id = 14",
             "was taken with RM-40C, its record run with unknown"},
            {"v3", 3, "", ""},
        };
        for (const QString &b : RegisterBackends::names())
            for (const auto &r : rows)
                QTest::newRow(qPrintable(b + u'/' + QLatin1String(r.name)))
                    << b << r.version << QString::fromUtf8(r.spoil) << QString::fromUtf8(r.fault);
    }
    void migratesInPlace()
    {
        QFETCH(QString, backend);
        QFETCH(int, version);
        QFETCH(QString, spoil);
        QFETCH(QString, fault);
        const QString fixture = version == 1 ? QStringLiteral(VERSION1_REGISTER)
            : version == 2                   ? QStringLiteral(VERSION2_REGISTER)
                                             : QStringLiteral(VERSION3_REGISTER);
        const QString address = backends_.fresh(backend);
        const Location l = locate(address);
        QVERIFY(copyRegister(fixture, version, address));
        if (!spoil.isEmpty())
            QVERIFY2(rowsOf(address, spoil).isEmpty(), qPrintable(spoil));
        // Every reading as the earlier version showed it; version 3 keeps values alone, and
        // its register is that of version 2 brought up to date.
        const QStringList before = rowsOf(
            version == 3 ? QStringLiteral(VERSION2_REGISTER) : address,
            QStringLiteral("SELECT c.label, m.measured_at, m.group_number, m.microohms, "
                           "m.microvolts, m.resistance_text, m.voltage_text, m.model, m.source, "
                           "m.source_line, m.rest_start FROM measurements m "
                           "JOIN cells c ON c.id = m.cell_id ORDER BY m.id"));
        QCOMPARE(before.size(), version == 1 ? 24 : 20);

        if (!fault.isEmpty()) {
            const QByteArray held = contents(address);
            try {
                CellRegister r(l);
                QFAIL("the migration went through");
            } catch (const ERegisterFault &e) {
                QVERIFY2(e.message().contains(fault), qPrintable(e.message()));
            }
            QCOMPARE(rowsOf(address, QStringLiteral("SELECT version FROM register_schema")),
                     QStringList{QString::number(version)});
            if (!l.postgres)
                QCOMPARE(contents(address), held);
            return;
        }
        CellRegister r(l);
        QStringList after;
        forEachMeasurement(r, QString(), [&](const Measurement &m) {
            after << QStringList{m.label,
                                 timeText(m.at),
                                 QString::number(m.group),
                                 QString::number(m.microohms),
                                 QString::number(m.microvolts),
                                 m.resistanceText,
                                 m.voltageText,
                                 m.model,
                                 m.source,
                                 QString::number(m.sourceLine),
                                 QString::number(m.restStart ? 1 : 0)}
                         .join(u'|');
        });
        QStringList expected = before;
        expected.sort();
        after.sort();
        QCOMPARE(after, expected);
        QCOMPARE(rowsOf(address, QStringLiteral("SELECT version FROM register_schema")),
                 QStringList{QString::number(kSchemaVersion)});
        const std::vector<RecordRun> runs = recordRuns(r);
        QCOMPARE(runs.size(), std::size_t(2));
        const auto c001 = summarizeCell(r, QStringLiteral("C001"));
        const std::vector<CapacityMeasurement> history = capacityHistory(r, QStringLiteral("C001"));
        QCOMPARE(history.size(), std::size_t(1));
        QCOMPARE(history[0].microampHours, c001->capacityMicroampHours.value_or(-1));
        // The cell the swap took out is retired rather than offered again.
        const std::vector<Swap> swaps = swapsOf(r, QStringLiteral("P1"));
        QCOMPARE(swaps.size(), std::size_t(1));
        QCOMPARE(summarizeCell(r, swaps[0].removed)->retired.value_or(QString()),
                 QStringLiteral("taken out of pack 'P1'"));
        QVERIFY(!summarizeCell(r, swaps[0].added)->retired);
        // A pack saved before voltage rules has none, and keeps the rules it had.
        const Pack p1 = loadPack(r, QStringLiteral("P1"));
        QCOMPARE(bool(p1.rules), version > 1); // version 1 kept no rules
        if (p1.rules) {
            QCOMPARE(p1.rules->minDays, 7.0);
            QCOMPARE(p1.rules->minMicrovolts, std::nullopt);
            QCOMPARE(p1.rules->maxMicrovolts, std::nullopt);
        }
    }

    // From version 3: each cell's label gets its key, the first written of two labels that
    // differ only in case alone; the twins stay two cells, named until merged, and a run
    // taken back after the migration keeps its number.
    void migratesWithoutMerging_data()
    {
        QTest::addColumn<QString>("backend");
        addBackendRows("v3");
    }
    void migratesWithoutMerging()
    {
        QFETCH(QString, backend);
        const QString address = backends_.fresh(backend);
        QVERIFY(copyRegister(QStringLiteral(VERSION3_TWINS_REGISTER), 3, address));
        CellRegister r(locate(address));
        QCOMPARE(rowsOf(address, QStringLiteral("SELECT version FROM register_schema")),
                 QStringList{QString::number(kSchemaVersion)});
        QCOMPARE(rowsOf(address, QStringLiteral("SELECT label FROM cells WHERE label_key IS NULL")),
                 QStringList{"c001"});
        QCOMPARE(caseTwins(r), (std::vector<std::pair<QString, QString>>{{"C001", "c001"}}));
        const int measured = summarizeCell(r, QStringLiteral("C001"))->measurements
            + summarizeCell(r, QStringLiteral("c001"))->measurements;
        const std::vector<RecordRun> runs = recordRuns(r);
        QCOMPARE(runs.size(), std::size_t(4));
        undoRun(r, runs.back().id);
        QCOMPARE(
            addMeasurements(r, {measurement("C001", "2026-04-02T09:00:00Z", 50'000, 4'000'000)}),
            runs.back().id + 1);
        mergeCells(r, QStringLiteral("C001"), QStringLiteral("c001"));
        QVERIFY(caseTwins(r).empty());
        QCOMPARE(summarizeCell(r, QStringLiteral("c001"))->measurements, measured + 1);
    }

    // A week's changes of mind: a record undone, a cell retired and restored, relabelled, a
    // capacity measured again, a pack taken apart; each leaves the rest as it was.
    void cellLifeIsUndoable_data()
    {
        QTest::addColumn<QString>("backend");
        addBackendRows("life");
    }
    void cellLifeIsUndoable()
    {
        QFETCH(QString, backend);
        CellRegister r(locate(backends_.fresh(backend)));
        QList<Measurement> day0, day7;
        for (const char *label : {"A1", "A2", "A3", "A4"})
            day0 << measurement(label, "2026-01-01T10:00:00Z", 50'000, 4'100'000, true);
        for (const char *label : {"A3", "A4", "A5", "A6"})
            day7 << measurement(label, "2026-01-08T10:00:00Z", 51'000, 4'090'000);
        const qint64 first = addMeasurements(r, day0);
        const qint64 second = addMeasurements(r, day7);
        QVERIFY(second > first);

        setCapacities(r, {{"A1", 2'500'000}, {"A2", 2'400'000}}, QStringLiteral("c1.csv"), false);
        setCapacities(r, {{"A1", 2'450'000}}, QStringLiteral("c2.csv"), false);
        const auto history = capacityHistory(r, QStringLiteral("A1"));
        QCOMPARE(history.size(), std::size_t(2));
        QCOMPARE(history.back().source, QStringLiteral("c2.csv"));
        QCOMPARE(summarizeCell(r, QStringLiteral("A1"))->capacityMicroampHours, 2'450'000);
        // A label in other case finds its cell; a capacity measured earlier joins the
        // history without displacing the latest.
        setCapacities(r, {{"a1", 2'600'000}}, QStringLiteral("old.csv"), false,
                      QDateTime::currentDateTimeUtc().addDays(-30));
        QCOMPARE(capacityHistory(r, QStringLiteral("A1")).front().source,
                 QStringLiteral("old.csv"));
        QCOMPARE(summarizeCell(r, QStringLiteral("A1"))->capacityMicroampHours, 2'450'000);

        analysis::Rules rules;
        rules.maxMicroohms = 60'000;
        rules.maxSelfDischargeMvPerDay = 1.25;
        rules.minDays = 6.5;
        rules.maxMicrovolts = 4'250'000;
        Pack p{QStringLiteral("P1"), 2,    1, 50'000, true, QDateTime::currentDateTimeUtc(),
               {{"A1"}, {"A5"}},     rules};
        savePack(r, p);
        const Pack loaded = loadPack(r, QStringLiteral("P1"));
        QVERIFY(loaded.rules);
        QCOMPARE(loaded.rules->maxMicroohms, rules.maxMicroohms);
        QCOMPARE(loaded.rules->maxSelfDischargeMvPerDay, rules.maxSelfDischargeMvPerDay);
        QCOMPARE(loaded.rules->minCapacityMicroampHours, std::nullopt);
        QCOMPARE(loaded.rules->minDays, 6.5);
        QCOMPARE(loaded.rules->minMicrovolts, std::nullopt);
        QCOMPARE(loaded.rules->maxMicrovolts, rules.maxMicrovolts);

        // A cell taken out has failed: retired, and not put back by the next swap.
        swapCell(r, QStringLiteral("P1"), QStringLiteral("A1"), QStringLiteral("A2"));
        QCOMPARE(summarizeCell(r, QStringLiteral("A1"))->retired.value_or(QString()),
                 QStringLiteral("taken out of pack 'P1'"));
        QVERIFY_THROWS_EXCEPTION(
            EDuplicateEntry,
            swapCell(r, QStringLiteral("P1"), QStringLiteral("A2"), QStringLiteral("A1")));
        restoreCell(r, QStringLiteral("A1"));
        swapCell(r, QStringLiteral("P1"), QStringLiteral("A2"), QStringLiteral("A1"),
                 Removed::BackInStock);
        QVERIFY(!summarizeCell(r, QStringLiteral("A2"))->retired);
        retireCell(r, QStringLiteral("A4"), QStringLiteral("dented"));
        QCOMPARE(summarizeCell(r, QStringLiteral("A4"))->retired, QStringLiteral("dented"));

        relabelCell(r, QStringLiteral("A6"), QStringLiteral("B6"));
        QVERIFY_THROWS_EXCEPTION(EDuplicateEntry,
                                 relabelCell(r, QStringLiteral("B6"), QStringLiteral("A2")));
        QVERIFY_THROWS_EXCEPTION(EUnknownEntry,
                                 relabelCell(r, QStringLiteral("A6"), QStringLiteral("C6")));

        // Undoing day 7 takes its four readings; of its cells only B6 held nothing else (A5
        // is in the pack, A3 and A4 were measured on day 0).
        const Undone undone = undoRun(r, second);
        QCOMPARE(undone.readings, 4);
        QCOMPARE(undone.cellsRemoved, QStringList{QStringLiteral("B6")});
        QCOMPARE(summarizeCells(r).size(), std::size_t(4)); // A5 has no reading left
        QCOMPARE(summarizeCell(r, QStringLiteral("A3"))->measurements, 1);
        QCOMPARE(recordRuns(r).size(), std::size_t(1));
        QVERIFY_THROWS_EXCEPTION(EUnknownEntry, undoRun(r, second));

        deletePack(r, QStringLiteral("P1"));
        QVERIFY(listPacks(r).empty());
        QVERIFY(cellsInPacks(r).isEmpty());
        QVERIFY_THROWS_EXCEPTION(EUnknownEntry, deletePack(r, QStringLiteral("P1")));
    }

    // A label names one cell in any case (Unicode simple case folding): a later label that
    // differs only in case is that cell, kept as first written; a relabel onto another cell's
    // label in any case is refused; twins an earlier version let in stay apart, flagged,
    // until merged.
    void labelNamesOneCellInAnyCase_data()
    {
        QTest::addColumn<QString>("backend");
        addBackendRows("case");
    }
    void labelNamesOneCellInAnyCase()
    {
        QFETCH(QString, backend);
        const QString address = backends_.fresh(backend);
        CellRegister r(locate(address));
        QList<Measurement> day0;
        for (const char *label : {"A0289", "A2", "A3", "Ä7"})
            day0 << measurement(QString::fromUtf8(label), "2026-01-01T10:00:00Z", 50'000, 4'100'000,
                                true);
        addMeasurements(r, day0);
        RunWriter day7(r, QDateTime::fromString("2026-01-08T10:00:00Z", Qt::ISODate),
                       QStringLiteral("RM-40A"), QStringLiteral("/day7.txt"), 2);
        for (const char *label : {"a0289", "ä7", "B1", "a2"})
            day7.add(
                measurement(QString::fromUtf8(label), "2026-01-08T10:00:00Z", 51'000, 4'090'000));
        day7.commit();
        QVERIFY(day7.measuredKnownCells());
        QCOMPARE(day7.newLabels(), QStringList{"B1"});
        QStringList labels;
        for (const CellSummary &c : summarizeCells(r))
            labels << QStringLiteral("%1:%2").arg(c.label).arg(c.measurements);
        QCOMPARE(labels, QStringList({"A0289:2", "A2:2", "A3:1", "B1:1", "Ä7:2"}));
        QCOMPARE(summarizeCell(r, QStringLiteral("a0289"))->label, QStringLiteral("A0289"));
        setCapacities(r, {{"a3", 2'000'000}}, QStringLiteral("c.csv"), false);
        QCOMPARE(capacityHistory(r, QStringLiteral("A3")).size(), std::size_t(1));

        QVERIFY_THROWS_EXCEPTION(EDuplicateEntry,
                                 relabelCell(r, QStringLiteral("A2"), QStringLiteral("a3")));
        relabelCell(r, QStringLiteral("A2"), QStringLiteral("a2"));
        QCOMPARE(summarizeCell(r, QStringLiteral("A2"))->label, QStringLiteral("a2"));

        // A twin as an earlier version made it: a cell of its own, without the key.
        QVERIFY(
            rowsOf(address, QStringLiteral("INSERT INTO cells (label) VALUES ('b1')")).isEmpty());
        QCOMPARE(storedLabel(r, QStringLiteral("b1")), QStringLiteral("b1"));
        QCOMPARE(caseTwins(r), (std::vector<std::pair<QString, QString>>{{"B1", "b1"}}));
        QVERIFY_THROWS_EXCEPTION(EDuplicateEntry,
                                 mergeCells(r, QStringLiteral("A3"), QStringLiteral("a2")));
        mergeCells(r, QStringLiteral("b1"), QStringLiteral("B1"));
        QVERIFY(caseTwins(r).empty());
        QCOMPARE(summarizeCell(r, QStringLiteral("B1"))->label, QStringLiteral("b1"));
        QCOMPARE(summarizeCell(r, QStringLiteral("B1"))->measurements, 1);
    }

    // A run's number names it for ever: a run taken back keeps its number, a second undo
    // says when the first was, and an undo names the packs whose cells it leaves failing.
    // Retired is a status apart: a cell in a pack is not retired behind the pack's back.
    void runNumbersAreNeverReused_data()
    {
        QTest::addColumn<QString>("backend");
        addBackendRows("undo");
    }
    void runNumbersAreNeverReused()
    {
        QFETCH(QString, backend);
        CellRegister r(locate(backends_.fresh(backend)));
        const auto record = [&](const char *at, std::initializer_list<const char *> labels,
                                bool rest) {
            QList<Measurement> run;
            for (const char *label : labels)
                run << measurement(label, at, 50'000, rest ? 4'100'000 : 4'095'000, rest);
            return addMeasurements(r, run);
        };
        record("2026-01-01T10:00:00Z", {"A1", "A2"}, true);
        const qint64 day7 = record("2026-01-08T10:00:00Z", {"A1", "A2"}, false);
        analysis::Rules rules;
        rules.maxSelfDischargeMvPerDay = 2;
        savePack(r,
                 {QStringLiteral("P1"),
                  2,
                  1,
                  50'000,
                  false,
                  QDateTime::currentDateTimeUtc(),
                  {{"A1"}, {"A2"}},
                  rules});
        QVERIFY_THROWS_EXCEPTION(EDuplicateEntry,
                                 retireCell(r, QStringLiteral("a1"), QStringLiteral("dented")));
        const qint64 last = record("2026-01-09T10:00:00Z", {"B1"}, false);

        QCOMPARE(undoRun(r, last).cellsRemoved, QStringList{"B1"});
        QVERIFY(record("2026-01-10T10:00:00Z", {"B2"}, false) > last);
        try {
            undoRun(r, last);
            QFAIL("a run taken back was taken back again");
        } catch (const EUnknownEntry &e) {
            QVERIFY2(e.message().contains(QStringLiteral("taken back already, at ")),
                     qPrintable(e.message()));
        }
        const Undone undone = undoRun(r, day7);
        QCOMPARE(undone.packsFailing.size(), std::size_t(1));
        QCOMPARE(undone.packsFailing[0].first, QStringLiteral("P1"));
        QCOMPARE(undone.packsFailing[0].second, QStringList({"A1", "A2"}));
        QCOMPARE(recordRuns(r).size(), std::size_t(2));
    }

    // A run stored in chunks of any size keeps every reading and every cell's identity: the
    // cells it meets again, in the same chunk, a later one or from before the run.
    void storesRunsInChunks_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<int>("labels"); // distinct labels in the run
        for (const QString &b : RegisterBackends::names())
            for (const auto &[chunk, labels] : {std::pair{1, 5}, {3, 40}, {7, 600}, {250, 600}})
                QTest::newRow(qPrintable(
                    QStringLiteral("%1/chunk %2, %3 labels").arg(b).arg(chunk).arg(labels)))
                    << b << chunk << labels;
    }
    void storesRunsInChunks()
    {
        QFETCH(QString, backend);
        QFETCH(int, chunk);
        QFETCH(int, labels);
        CellRegister r(locate(backends_.fresh(backend)));
        // Some cells exist before the run.
        QList<Measurement> expected{measurement("L0003", "2026-01-01T10:00:00Z", 1, 1'000),
                                    measurement("L0001", "2026-01-01T10:00:00Z", 2, 2'000)};
        addMeasurements(r, expected);
        QRandomGenerator random(uint(chunk * 1000 + labels));
        RunWriter w(r, QDateTime::fromString("2026-01-02T10:00:00Z", Qt::ISODate),
                    QStringLiteral("RM-40A"), QStringLiteral("/some/file.txt"), chunk);
        for (int i = 0; i < labels * 2; ++i) {
            const QString label =
                QStringLiteral("L%1").arg(random.bounded(labels), 4, 10, QChar(u'0'));
            Measurement m =
                measurement(label, "2026-01-02T10:00:00Z", 1000 + i, 4'000'000 + i * 1'000);
            m.sourceLine = i + 1;
            w.add(m);
            expected << m;
        }
        const qint64 run = w.commit();
        QVERIFY(run > 0);
        std::stable_sort(expected.begin(), expected.end(),
                         [](const Measurement &a, const Measurement &b) {
                             return a.label != b.label ? a.label < b.label : a.at < b.at;
                         });
        const QList<Measurement> out = stored(r);
        QCOMPARE(out.size(), expected.size());
        for (qsizetype i = 0; i < out.size(); ++i)
            QVERIFY2(same(out[i], expected[i]), qPrintable(out[i].label));
        QCOMPARE(recordRuns(r).back().readings, labels * 2);
    }

    void packsHoldEachCellOnce_data()
    {
        QTest::addColumn<QString>("backend");
        addBackendRows("save, refuse, swap");
    }
    void packsHoldEachCellOnce()
    {
        QFETCH(QString, backend);
        CellRegister r(locate(backends_.fresh(backend)));
        QList<Measurement> cells;
        for (const char *label : {"A1", "A2", "A3", "A4", "A5"})
            cells << measurement(label, "2026-01-01T10:00:00Z", 50'000, 4'100'000);
        addMeasurements(r, cells);
        Pack p{QStringLiteral("P1"),
               2,
               2,
               50'000,
               false,
               QDateTime::currentDateTimeUtc(),
               {{"A1", "A2"}, {"A3", "A4"}},
               std::nullopt};
        savePack(r, p);
        Pack again = p;
        again.name = QStringLiteral("P2");
        again.groups = {{"A5", "A1"}};
        QVERIFY_THROWS_EXCEPTION(EDuplicateEntry, savePack(r, again));
        QVERIFY_THROWS_EXCEPTION(EDuplicateEntry, savePack(r, p));
        QCOMPARE(listPacks(r).size(), std::size_t(1));
        swapCell(r, QStringLiteral("P1"), QStringLiteral("A3"), QStringLiteral("A5"));
        QCOMPARE(loadPack(r, QStringLiteral("P1")).groups[1], QStringList({"A5", "A4"}));
        QCOMPARE(swapsOf(r, QStringLiteral("P1")).front().removed, QStringLiteral("A3"));
        // Numbered as every front end shows it: group 1 is the − end, so A3 sat in group 2.
        QCOMPARE(swapsOf(r, QStringLiteral("P1")).front().group, 2);
        QCOMPARE(cellsInPacks(r).size(), 4);
    }

    // A process's connections to one file share its locks: opening another one must leave
    // the first one's read lock in place, or another program could check the journal away
    // under it. The lock is seen through an open file description of the test's own, which
    // conflicts with this process's locks as another program's would.
    void connectionsOfOneProcessKeepTheirLocks()
    {
        const QString path = backends_.fresh(QStringLiteral("sqlite"));
        CellRegister first(locate(path));
        addMeasurements(first, {measurement("A1", "2026-01-01T10:00:00Z", 41'000, 4'101'000)});
        // Held to the end: closing it would drop the locks it is there to see.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const auto readLockHeld = [fd] {
            struct flock l { };
            l.l_type = F_WRLCK;
            l.l_whence = SEEK_SET;
            l.l_start = 0x40000002; // SQLite's shared-lock bytes
            l.l_len = 510;
            return ::fcntl(fd, F_OFD_GETLK, &l) == 0 && l.l_type == F_RDLCK;
        };
        QVERIFY(readLockHeld());
        {
            CellRegister second(locate(path));
            QVERIFY(readLockHeld());
            addMeasurements(second, {measurement("A2", "2026-01-01T10:01:00Z", 42'000, 4'102'000)});
            addMeasurements(first, {measurement("A3", "2026-01-01T10:02:00Z", 43'000, 4'103'000)});
            QCOMPARE(stored(second).size(), 3);
        }
        QVERIFY(readLockHeld());
        addMeasurements(first, {measurement("A4", "2026-01-01T10:03:00Z", 44'000, 4'104'000)});
        QCOMPARE(stored(first).size(), 4);
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(TestCellRegister)
#include "tst_cell_register.moc"
