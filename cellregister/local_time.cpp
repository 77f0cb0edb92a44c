#include "cellregister/local_time.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace cellregister {

namespace {

// The offset of local time at an instant. Zones change their offset at whole quarters of an
// hour of UTC, so one answer holds for its whole quarter.
int offsetSeconds(qint64 msecs)
{
    constexpr qint64 kQuarter = 15 * 60 * 1000;
    thread_local qint64 quarter = std::numeric_limits<qint64>::min();
    thread_local int offset = 0;
    thread_local std::string zone;
    const qint64 q = msecs >= 0 ? msecs / kQuarter : (msecs - kQuarter + 1) / kQuarter;
    // A program (or a test) that sets TZ meanwhile gets its new zone.
    const char *tz = std::getenv("TZ");
    if (q != quarter || zone != (tz ? tz : "")) {
        quarter = q;
        zone = tz ? tz : "";
        offset = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime().offsetFromUtc();
        // The local mean time of old dates is offset by seconds, which no ISO 8601 offset can
        // say: such an instant is shown in UTC, exact rather than local.
        if (offset % 60 != 0)
            offset = 0;
    }
    return offset;
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

QString localTimeText(const QDateTime &t)
{
    if (!t.isValid())
        return QString();
    const qint64 utc = t.toMSecsSinceEpoch();
    const int offset = offsetSeconds(utc);
    const qint64 local = utc + qint64(offset) * 1000;
    constexpr qint64 kDay = 86'400'000;
    const qint64 days = local >= 0 ? local / kDay : (local - kDay + 1) / kDay;
    const qint64 ms = local - days * kDay;
    int year = 0, month = 0, day = 0;
    civil(days, year, month, day);
    const int magnitude = offset < 0 ? -offset : offset;
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                                year, month, day, int(ms / 3'600'000), int(ms / 60'000 % 60),
                                int(ms / 1000 % 60), int(ms % 1000), offset < 0 ? '-' : '+',
                                magnitude / 3600, magnitude / 60 % 60);
    return QString::fromLatin1(text, n);
}

} // namespace cellregister
