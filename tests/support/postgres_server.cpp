#include "postgres_server.h"

#include <QDir>
#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace {

// The newest server installed, as Debian lays them out.
QString serverBinaries()
{
    QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(*it);
        if (QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return QString();
}

} // namespace

PostgresServer::PostgresServer() : dir_(QStringLiteral("/tmp/pg-XXXXXX"))
{
    bin_ = serverBinaries();
    if (bin_.isEmpty()) {
        error_ = QStringLiteral(
            "no PostgreSQL server under /usr/lib/postgresql (scripts/setup --all installs it)");
        return;
    }
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    if (geteuid() == 0 && ::chown(QFile::encodeName(dir_.path()).constData(), 65534, 65534) != 0) {
        error_ = QStringLiteral("cannot hand the temporary folder to nobody");
        return;
    }
    const QString data = dir_.path() + QStringLiteral("/data");
    if (!run({bin_ + QStringLiteral("/initdb"), QStringLiteral("-D"), data, QStringLiteral("-U"),
              user(), QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync")}))
        return;
    start();
}

bool PostgresServer::start()
{
    const QString options =
        QStringLiteral("-k %1 -c listen_addresses= -c fsync=off -c max_connections=40")
            .arg(dir_.path());
    started_ =
        run({bin_ + QStringLiteral("/pg_ctl"), QStringLiteral("-D"),
             dir_.path() + QStringLiteral("/data"), QStringLiteral("-o"), options,
             QStringLiteral("-l"), dir_.path() + QStringLiteral("/log"), QStringLiteral("-w"),
             QStringLiteral("-t"), QStringLiteral("120"), QStringLiteral("start")});
    return started_;
}

bool PostgresServer::stop()
{
    const bool stopped =
        run({bin_ + QStringLiteral("/pg_ctl"), QStringLiteral("-D"),
             dir_.path() + QStringLiteral("/data"), QStringLiteral("-m"), QStringLiteral("fast"),
             QStringLiteral("-w"), QStringLiteral("stop")});
    started_ = started_ && !stopped;
    return stopped;
}

PostgresServer::~PostgresServer()
{
    if (started_)
        run({bin_ + QStringLiteral("/pg_ctl"), QStringLiteral("-D"),
             dir_.path() + QStringLiteral("/data"), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
}

bool PostgresServer::run(const QStringList &command, QString *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    // The server must not inherit the test's working folder, which nobody may not enter.
    p.setWorkingDirectory(dir_.path());
    if (geteuid() == 0)
        p.start(QStringLiteral("runuser"),
                QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--")}
                    + command);
    else
        p.start(command.front(), command.mid(1));
    const bool done =
        p.waitForFinished(180'000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QString text = QString::fromLocal8Bit(p.readAll());
    if (output)
        *output = text;
    if (!done && error_.isEmpty())
        error_ = command.join(u' ') + QStringLiteral(" failed: ") + text;
    return done;
}

QString PostgresServer::newDatabase()
{
    const QString name = QStringLiteral("register%1").arg(++databases_);
    run({bin_ + QStringLiteral("/createdb"), QStringLiteral("-h"), dir_.path(),
         QStringLiteral("-U"), user(), name});
    return url(name);
}

QString PostgresServer::copyOf(const QString &database)
{
    const QString name = QStringLiteral("register%1").arg(++databases_);
    run({bin_ + QStringLiteral("/createdb"), QStringLiteral("-h"), dir_.path(),
         QStringLiteral("-U"), user(), QStringLiteral("-T"), database, name});
    return url(name);
}

QString PostgresServer::url(const QString &database, const QString &user) const
{
    return QStringLiteral("postgresql:///%1?host=%2&user=%3")
        .arg(database, dir_.path(), user.isEmpty() ? this->user() : user);
}

bool PostgresServer::signalAll(int signal) const
{
    QFile pidFile(dir_.path() + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return false;
    const QByteArray postmaster = pidFile.readLine().trimmed();
    QList<pid_t> pids{pid_t(postmaster.toInt())};
    // Its children: the field after the command name in /proc/PID/stat is the state, then
    // the parent.
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> after = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (after.size() > 1 && after[1] == postmaster)
            pids << pid_t(entry.toInt());
    }
    bool any = false;
    for (const pid_t pid : pids)
        any = (pid > 0 && ::kill(pid, signal) == 0) || any;
    return any;
}
