#pragma once

#include <QString>
#include <QTemporaryDir>

// A real PostgreSQL server of the test's own: a cluster made by initdb in a temporary
// folder, listening only on a Unix socket in that folder, stopped and removed with this
// object. PostgreSQL refuses to run as root, so under root (as in CI) the cluster belongs
// to the unprivileged user nobody.
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // Empty once running; else what went wrong.
    const QString &error() const { return error_; }
    // The folder holding the socket.
    QString socketFolder() const { return dir_.path(); }
    // The user that owns the cluster; connections as it need no password.
    QString user() const { return QStringLiteral("tester"); }
    // Makes a new empty database and returns its register address.
    QString newDatabase();
    // Makes a new database as a copy of the one named (no connection may be open to it)
    // and returns its register address.
    QString copyOf(const QString &database);
    // The address of a database on this server (which need not exist).
    QString url(const QString &database, const QString &user = QString()) const;
    // Sends the signal to every process of the server: SIGSTOP freezes it as a hung host
    // would (nothing closes, nothing answers), SIGCONT lets it go on. False when no process
    // was found.
    bool signalAll(int signal) const;
    // Stops the server as its administrator would (every connection ended), and starts it
    // again on the same socket with every database kept.
    bool stop();
    bool start();

private:
    bool run(const QStringList &command, QString *output = nullptr);

    QTemporaryDir dir_;
    QString bin_;
    QString error_;
    bool started_ = false;
    int databases_ = 0;
};
