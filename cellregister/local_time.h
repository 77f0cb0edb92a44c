#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace cellregister {

// An instant as the user reads it: local time with its offset from UTC, to the millisecond,
// "2026-04-01T09:00:00.000+02:00". Parsed back with Qt::ISODateWithMs it is the same
// instant. Fast enough for a listing of a million cells: the zone is asked once for each
// quarter of an hour in which instants fall, not once per instant.
QString localTimeText(const QDateTime &t);
// The same text appended to out (it is ASCII), for writers of many rows.
void appendLocalTimeText(QByteArray &out, const QDateTime &t);
// The milliseconds since 1970-01-01T00:00 of local time at t: its wall clock, for counting
// calendar days. Asks the zone as seldom as the texts above do.
qint64 localMsecs(const QDateTime &t);

} // namespace cellregister
