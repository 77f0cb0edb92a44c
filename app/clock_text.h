#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace app {

// The locale's time format with hours, minutes and seconds but without the time-zone name
// that Qt's long format carries ("h:mm:ss AP t" becomes "h:mm:ss AP").
QString timeFormatWithoutZone(const QLocale &locale);

// The status line for the moment `now`: " Now: ", the short date, two spaces, the time,
// 29 spaces, "Battery Analyzer V2.0".
QString statusClockText(const QDateTime &now, const QLocale &locale);

} // namespace app
