#include "cellregister/label_key.h"

#include <QSet>

namespace cellregister {

QString labelKey(const QString &label)
{
    // Most labels are ASCII, and a record folds every one of them.
    for (const QChar c : label)
        if (c.unicode() >= 0x80)
            return label.toCaseFolded();
    QString key = label;
    for (QChar &c : key)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    return key;
}

std::optional<QString> storedLabel(CellRegister &r, const QString &label)
{
    if (QSqlQuery q = r.run(QStringLiteral("SELECT label FROM cells WHERE label = ?"), {label});
        r.next(q))
        return q.value(0).toString();
    QSqlQuery q =
        r.run(QStringLiteral("SELECT label FROM cells WHERE label_key = ?"), {labelKey(label)});
    if (r.next(q))
        return q.value(0).toString();
    return std::nullopt;
}

std::vector<std::pair<QString, QString>> caseTwins(CellRegister &r)
{
    std::vector<std::pair<QString, QString>> twins;
    QStringList later;
    {
        QSqlQuery q = r.run(QStringLiteral("SELECT label FROM cells WHERE label_key IS NULL "
                                           "ORDER BY label")
                            + r.labelCollation());
        while (r.next(q))
            later << q.value(0).toString();
    }
    for (const QString &label : std::as_const(later)) {
        QSqlQuery q =
            r.run(QStringLiteral("SELECT label FROM cells WHERE label_key = ?"), {labelKey(label)});
        if (r.next(q))
            twins.emplace_back(q.value(0).toString(), label);
    }
    return twins;
}

void passOnKey(CellRegister &r, const QString &key)
{
    if (QSqlQuery held = r.run(QStringLiteral("SELECT 1 FROM cells WHERE label_key = ?"), {key});
        r.next(held))
        return;
    QVariant heir;
    {
        QSqlQuery q = r.run(
            QStringLiteral("SELECT id, label FROM cells WHERE label_key IS NULL ORDER BY id"));
        while (r.next(q))
            if (labelKey(q.value(1).toString()) == key) {
                heir = q.value(0);
                break;
            }
    }
    if (heir.isValid())
        r.run(QStringLiteral("UPDATE cells SET label_key = ? WHERE id = ?"), {key, heir});
}

void fillLabelKeys(CellRegister &r)
{
    std::vector<std::pair<qint64, QString>> keys;
    {
        QSet<QString> seen;
        QSqlQuery q = r.run(QStringLiteral("SELECT id, label FROM cells ORDER BY id"));
        while (r.next(q)) {
            const QString key = labelKey(q.value(1).toString());
            if (!seen.contains(key)) {
                seen.insert(key);
                keys.emplace_back(q.value(0).toLongLong(), key);
            }
        }
    }
    QSqlQuery set = r.prepare(QStringLiteral("UPDATE cells SET label_key = ? WHERE id = ?"));
    for (const auto &[id, key] : keys) {
        set.addBindValue(key);
        set.addBindValue(id);
        r.exec(set);
    }
}

} // namespace cellregister
