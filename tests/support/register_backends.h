#pragma once

// Fresh registers on both kinds of storage, so that one test table runs on each.
#include "postgres_server.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class RegisterBackends {
public:
    static QStringList names() { return {QStringLiteral("sqlite"), QStringLiteral("postgresql")}; }

    // Starts the server; the caller QVERIFYs error() is empty.
    QString start()
    {
        server_ = std::make_unique<PostgresServer>();
        return server_->error();
    }
    PostgresServer &server() { return *server_; }
    QString folder() const { return dir_.path(); }

    // The address of a new, empty register.
    QString fresh(const QString &backend)
    {
        if (backend == u"postgresql")
            return server_->newDatabase();
        return dir_.filePath(QStringLiteral("cells%1.sqlite").arg(++files_));
    }

    // The address of a new register holding what the one at `address` holds now (no
    // program may have it open).
    QString copy(const QString &backend, const QString &address)
    {
        if (backend == u"postgresql")
            return server_->copyOf(address.section(u'/', 3).section(u'?', 0, 0));
        const QString to = dir_.filePath(QStringLiteral("cells%1.sqlite").arg(++files_));
        if (QFile::exists(address + QStringLiteral("-wal"))
            && !QFile::copy(address + QStringLiteral("-wal"), to + QStringLiteral("-wal")))
            return {};
        return QFile::copy(address, to) ? to : QString();
    }

private:
    QTemporaryDir dir_;
    std::unique_ptr<PostgresServer> server_;
    int files_ = 0;
};
