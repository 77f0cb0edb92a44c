#include "cellregister/local_time.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace cellregister {

namespace {

// The offset of local time at an instant, in seconds. Zones change their offset at whole
// quarters of an hour of UTC, so one answer holds for its whole quarter; the answers of recent
// quarters are kept, since a listing alternates between a few (a cell's first and latest
// reading) and each question to the zone costs the C library a look at the zone file.
int rawOffsetSeconds(qint64 msecs)
{
    constexpr qint64 kQuarter = 15 * 60 * 1000;
    constexpr int kKept = 64; // the top six bits of a mixed quarter
    struct Answer {
        qint64 quarter = std::numeric_limits<qint64>::min();
        int offset = 0;
    };
    thread_local Answer answers[kKept];
    thread_local std::string zone;
    const qint64 q = msecs >= 0 ? msecs / kQuarter : (msecs - kQuarter + 1) / kQuarter;
    // A program (or a test) that sets TZ meanwhile gets its new zone.
    const char *tz = std::getenv("TZ");
    if (zone != (tz ? tz : "")) {
        zone = tz ? tz : "";
        std::fill(std::begin(answers), std::end(answers), Answer{});
    }
    // Mixed, so that quarters a whole number of days apart do not share a place.
    Answer &a = answers[(std::uint64_t(q) * 0x9E37'79B9'7F4A'7C15u) >> 58];
    if (a.quarter != q)
        a = {q, QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime().offsetFromUtc()};
    return a.offset;
}

// The offset shown beside an instant. The local mean time of old dates is offset by seconds,
// which no ISO 8601 offset can say: such an instant is shown in UTC, exact rather than local.
int offsetSeconds(qint64 msecs)
{
    const int offset = rawOffsetSeconds(msecs);
    return offset % 60 != 0 ? 0 : offset;
}

// Year, month and day of a count of days since 1970-01-01 (proleptic Gregorian).
void civil(qint64 days, int &year, int &month, int &day)
{
    days += 719'468;
    const qint64 era = (days >= 0 ? days : days - 146'096) / 146'097;
    const qint64 doe = days - era * 146'097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

namespace {

void twoDigits(char *p, int value)
{
    p[0] = char('0' + value / 10);
    p[1] = char('0' + value % 10);
}

// The text of t into text (40 bytes); its length, 0 for an invalid time. Written digit by
// digit: a listing writes two for each of a million cells, where a formatted print costs
// more than the rest of the row.
int writeLocalTime(char *text, const QDateTime &t)
{
    if (!t.isValid())
        return 0;
    const qint64 utc = t.toMSecsSinceEpoch();
    const int offset = offsetSeconds(utc);
    const qint64 local = utc + qint64(offset) * 1000;
    constexpr qint64 kDay = 86'400'000;
    const qint64 days = local >= 0 ? local / kDay : (local - kDay + 1) / kDay;
    const int ms = int(local - days * kDay);
    int year = 0, month = 0, day = 0;
    civil(days, year, month, day);
    const int magnitude = offset < 0 ? -offset : offset;
    if (year < 0 || year > 9999)
        return std::snprintf(text, 40, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month,
                             day, ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000,
                             offset < 0 ? '-' : '+', magnitude / 3600, magnitude / 60 % 60);
    // "2026-04-01T09:00:00.000+02:00"
    std::memcpy(text, "0000-00-00T00:00:00.000+00:00", 29);
    twoDigits(text, year / 100);
    twoDigits(text + 2, year % 100);
    twoDigits(text + 5, month);
    twoDigits(text + 8, day);
    twoDigits(text + 11, ms / 3'600'000);
    twoDigits(text + 14, ms / 60'000 % 60);
    twoDigits(text + 17, ms / 1000 % 60);
    text[20] = char('0' + ms % 1000 / 100);
    twoDigits(text + 21, ms % 100);
    text[23] = offset < 0 ? '-' : '+';
    twoDigits(text + 24, magnitude / 3600);
    twoDigits(text + 27, magnitude / 60 % 60);
    return 29;
}

} // namespace

qint64 localMsecs(const QDateTime &t)
{
    const qint64 utc = t.toMSecsSinceEpoch();
    return utc + qint64(rawOffsetSeconds(utc)) * 1000;
}

QString localTimeText(const QDateTime &t)
{
    char text[40];
    const int n = writeLocalTime(text, t);
    return n > 0 ? QString::fromLatin1(text, n) : QString();
}

void appendLocalTimeText(QByteArray &out, const QDateTime &t)
{
    char text[40];
    out.append(text, writeLocalTime(text, t));
}

namespace {

// "+01:00"
QString offsetText(int seconds)
{
    const int magnitude = seconds < 0 ? -seconds : seconds;
    return QStringLiteral("%1%2:%3")
        .arg(QChar(seconds < 0 ? u'-' : u'+'))
        .arg(magnitude / 3600, 2, 10, QChar(u'0'))
        .arg(magnitude / 60 % 60, 2, 10, QChar(u'0'));
}

// The wall clock of local milliseconds, "02:00", and its day, "2026-03-29".
QString clockText(qint64 local)
{
    return QDateTime::fromMSecsSinceEpoch(local, Qt::UTC).toString(QStringLiteral("HH:mm"));
}
QString dayText(qint64 local)
{
    return QDateTime::fromMSecsSinceEpoch(local, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd"));
}

// The first instant after `from`, up to `to`, whose offset differs from that of `from`.
qint64 changeAfter(qint64 from, qint64 to)
{
    const int offset = rawOffsetSeconds(from);
    while (to - from > 1) {
        const qint64 mid = from + (to - from) / 2;
        (rawOffsetSeconds(mid) == offset ? from : to) = mid;
    }
    return to;
}

LocalTimeFault faultAt(LocalTimeFault::Kind kind, qint64 change)
{
    LocalTimeFault f;
    f.kind = kind;
    const int before = rawOffsetSeconds(change - 1), after = rawOffsetSeconds(change);
    f.day = dayText(change + qint64(before) * 1000);
    f.clockBefore = clockText(change + qint64(before) * 1000);
    f.clockAfter = clockText(change + qint64(after) * 1000);
    f.offsetBefore = offsetText(before);
    f.offsetAfter = offsetText(after);
    return f;
}

} // namespace

std::variant<QDateTime, LocalTimeFault> parseUserTime(const QString &value)
{
    QString text = value;
    text.replace(u' ', u'T');
    static const QRegularExpression zoned(QStringLiteral("T.*(Z|[+-][0-9]{2}(:?[0-9]{2})?)$"));
    if (zoned.match(text).hasMatch()) {
        const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (t.isValid())
            return t.toUTC();
        return LocalTimeFault{};
    }
    // The wall clock's fields, read as if in UTC, so that no zone rule moves them.
    const QDateTime wall = text.contains(u'T')
        ? QDateTime::fromString(text + u'Z', Qt::ISODateWithMs)
        : QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0), Qt::UTC);
    if (!wall.isValid())
        return LocalTimeFault{};
    const qint64 w = wall.toMSecsSinceEpoch();
    // Every offset near it, each tried: an instant that shows this wall clock under its own
    // offset is one the user may mean. Zones change at most once within two days.
    constexpr qint64 kTwoDays = 2 * 86'400'000;
    std::vector<qint64> instants;
    for (const qint64 probe : {w - kTwoDays, w, w + kTwoDays}) {
        const int offset = rawOffsetSeconds(probe);
        const qint64 u = w - qint64(offset) * 1000;
        if (rawOffsetSeconds(u) == offset
            && std::find(instants.begin(), instants.end(), u) == instants.end())
            instants.push_back(u);
    }
    std::sort(instants.begin(), instants.end());
    if (instants.size() == 1)
        return QDateTime::fromMSecsSinceEpoch(instants.front(), Qt::UTC);
    if (instants.size() > 1) {
        LocalTimeFault f =
            faultAt(LocalTimeFault::Kind::Repeated, changeAfter(instants.front(), instants.back()));
        f.earlier = localTimeText(QDateTime::fromMSecsSinceEpoch(instants.front(), Qt::UTC));
        f.later = localTimeText(QDateTime::fromMSecsSinceEpoch(instants.back(), Qt::UTC));
        return f;
    }
    // In a gap: read under the offsets before and after it, the wall clock falls on both
    // sides of the change.
    const qint64 a = w - qint64(rawOffsetSeconds(w - kTwoDays)) * 1000;
    const qint64 b = w - qint64(rawOffsetSeconds(w + kTwoDays)) * 1000;
    const qint64 change = changeAfter(std::min(a, b), std::max(a, b));
    LocalTimeFault f = faultAt(LocalTimeFault::Kind::Skipped, change);
    f.earlier = localTimeText(QDateTime::fromMSecsSinceEpoch(change - 1, Qt::UTC));
    f.later = localTimeText(QDateTime::fromMSecsSinceEpoch(change, Qt::UTC));
    return f;
}

} // namespace cellregister
