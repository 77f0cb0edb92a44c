#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <variant>

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

// Why a time the user wrote names no one instant.
struct LocalTimeFault {
    enum class Kind {
        Shape, // not a time this program reads
        Skipped, // a local time the clocks jumped over
        Repeated, // a local time the clocks showed twice
    } kind = Kind::Shape;
    // The change of offset it falls in: its day, the clock before and after it, and the
    // offsets ("2026-03-29", "02:00", "03:00", "+01:00", "+02:00").
    QString day, clockBefore, clockAfter, offsetBefore, offsetAfter;
    // Skipped: the last instant before the jump and the first after it; Repeated: the time
    // in the old offset and in the new one. Both as localTimeText shows them.
    QString earlier, later;
    bool operator==(const LocalTimeFault &) const = default;
};

// A time as the user writes it: ISO 8601, "2026-12-01T09:30" with seconds and milliseconds
// if wanted, a space for the T, or a date alone for its midnight. With Z or an offset it is
// that instant; without, it is local time, and must be one instant: a time the clocks
// skipped or showed twice is a fault, never a guess. Pure but for the zone's rules.
std::variant<QDateTime, LocalTimeFault> parseUserTime(const QString &text);

} // namespace cellregister
