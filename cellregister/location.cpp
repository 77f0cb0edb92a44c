#include "cellregister/location.h"

#include "cellregister/errors.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

namespace cellregister {

QString Location::shown() const
{
    return postgres ? withoutPassword(address) : path;
}

QString Location::hidePassword(QString text) const
{
    if (!password.isEmpty())
        text.replace(password, QStringLiteral("***"));
    return text;
}

QString withoutPassword(const QString &address)
{
    const qsizetype scheme = address.indexOf(QStringLiteral("://"));
    if (scheme < 0)
        return address;
    QString text = address;
    // The user part ends at the last '@' before the query: a password may hold an
    // unencoded '/', and must not be shown even when the address does not parse.
    qsizetype rest = text.indexOf(u'?', scheme + 3);
    if (const qsizetype hash = text.indexOf(u'#', scheme + 3);
        hash >= 0 && (rest < 0 || hash < rest))
        rest = hash;
    const qsizetype at = text.lastIndexOf(u'@', rest < 0 ? -1 : rest);
    if (at > scheme) {
        const qsizetype colon = text.indexOf(u':', scheme + 3);
        if (colon >= 0 && colon < at)
            text.remove(colon, at - colon);
    }
    const qsizetype query = text.indexOf(u'?', scheme + 3);
    if (query < 0)
        return text;
    const qsizetype fragment = text.indexOf(u'#', query);
    QStringList kept;
    for (const QString &item :
         text.mid(query + 1, fragment < 0 ? -1 : fragment - query - 1).split(u'&')) {
        const QString key = QUrl::fromPercentEncoding(item.section(u'=', 0, 0).toUtf8());
        if (key != u"password")
            kept << item;
    }
    return text.left(query) + (kept.isEmpty() ? QString() : u'?' + kept.join(u'&'))
        + (fragment < 0 ? QString() : text.mid(fragment));
}

namespace {

Location postgresLocation(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const auto bad = [&](const QString &why) {
        return ERegisterFault(QStringLiteral("cannot read the register address '%1': %2")
                                  .arg(withoutPassword(text), why));
    };
    // QUrl's reason goes on to quote the whole address, password and all.
    if (!url.isValid())
        throw bad(url.errorString().section(QStringLiteral("; source was"), 0, 0));
    Location l;
    l.address = text;
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
        // A colon before the first slash makes "file:cells.sqlite?mode=memory" or ":memory:",
        // which SQLite would take as a URI or a register in memory, keeping nothing that is
        // recorded; so is any other "scheme:" a mistyped address. A file whose name holds a
        // colon is named from its folder: ./cells:2026.sqlite.
        const qsizetype colon = text.indexOf(u':');
        const qsizetype slash = text.indexOf(u'/');
        if (colon >= 0 && (slash < 0 || colon < slash))
            throw ERegisterFault(
                QStringLiteral("cannot read the register address '%1': a register is a SQLite "
                               "file or postgresql://USER@HOST[:PORT]/NAME (a file name with a "
                               "colon is written from its folder, as in ./cells:2026.sqlite)")
                    .arg(withoutPassword(text)));
        l.path = text;
        l.address = text;
        return l;
    }
    l.path = defaultFolder() + QStringLiteral("/cells.sqlite");
    l.address = l.path;
    l.isDefault = true;
    return l;
}

QString defaultFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative one is no folder of the user's, as XDG has it, and "file:..." would make the
    // default register a SQLite URI.
    if (!data.startsWith(u'/'))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/battery-analyzer");
}

} // namespace cellregister
