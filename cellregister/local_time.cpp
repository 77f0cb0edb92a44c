#include "cellregister/local_time.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

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

} // namespace cellregister
