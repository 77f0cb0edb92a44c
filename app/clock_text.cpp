#include "app/clock_text.h"

namespace app {

QString timeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (c == u't' && !quoted)
            continue;
        result += c;
    }
    // The zone stood apart from the time, at the start or at the end.
    return result.trimmed();
}

QString statusClockText(const QDateTime &now, const QLocale &locale)
{
    return QStringLiteral(" Now: ") + locale.toString(now.date(), QLocale::ShortFormat)
        + QStringLiteral("  ") + locale.toString(now.time(), timeFormatWithoutZone(locale))
        + QString(29, u' ') + QStringLiteral("Battery Analyzer V2.0");
}

} // namespace app
