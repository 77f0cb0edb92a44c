#include "cellregister/location.h"

#include "cellregister/errors.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

namespace cellregister {

QString Location::shown() const
{
    if (!postgres)
        return path;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + u'@';
    if (!host.startsWith(u'/'))
        text += host;
    if (port > 0)
        text += u':' + QString::number(port);
    text += u'/' + database;
    if (host.startsWith(u'/'))
        text += QStringLiteral("?host=") + host;
    return text;
}

namespace {

Location postgresLocation(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const auto bad = [&](const QString &why) {
        return ERegisterFault(
            QStringLiteral("cannot read the register address '%1': %2").arg(text, why));
    };
    if (!url.isValid())
        throw bad(url.errorString());
    Location l;
    l.postgres = true;
    l.host = url.host();
    l.port = url.port(-1);
    l.user = url.userName();
    l.password = url.password();
    l.database = url.path().mid(1);
    const QUrlQuery query(url);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == u"host") {
            l.host = value;
        } else if (key == u"port") {
            bool ok = false;
            l.port = value.toInt(&ok);
            if (!ok || l.port < 1 || l.port > 65535)
                throw bad(
                    QStringLiteral("the port '%1' is not a number from 1 to 65535").arg(value));
        } else if (key == u"user") {
            l.user = value;
        } else if (key == u"password") {
            l.password = value;
        } else {
            throw bad(QStringLiteral("unknown parameter '%1'").arg(key));
        }
    }
    if (l.database.isEmpty() || l.database.contains(u'/'))
        throw bad(QStringLiteral("it names no database"));
    return l;
}

} // namespace

Location locate(const QString &dbOption)
{
    QString text = dbOption;
    if (text.isEmpty())
        text = qEnvironmentVariable("BATTERY_ANALYZER_DB");
    if (text.startsWith(u"postgresql://") || text.startsWith(u"postgres://"))
        return postgresLocation(text);
    Location l;
    if (!text.isEmpty()) {
        l.path = text;
        return l;
    }
    l.path = defaultFolder() + QStringLiteral("/cells.sqlite");
    l.isDefault = true;
    return l;
}

QString defaultFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/battery-analyzer");
}

} // namespace cellregister
