#pragma once

// The sample records and the board lines they give: the one source every suite and bench
// takes them from.
#include "reading/line_format.h"

#include <QByteArray>
#include <QList>

// A board line from its text, "~" standing for the GBK sign of ohms.
inline QByteArray line(const char *text)
{
    QByteArray l(text);
    l.replace("~", reading::kOhmGbk);
    return l;
}

// The sample records, and the lines they give with RM-40A selected.
namespace sample {
inline const QByteArray kRecord7 = QByteArray::fromHex("07050237101B");
inline const QByteArray kRecord12 = QByteArray::fromHex("0C00303904D2");
inline const QByteArray kRecord1 = QByteArray::fromHex("0106012C0E74");
inline const QByteArray kNoData = QByteArray::fromHex("058800000000");
inline const QByteArray kLine7 = line(" Group 7       056.7m~     4.123V");
inline const QByteArray kLine7OtherModel = line(" Group 7       05.67m~     4.123V");
inline const QByteArray kLine12 = line(" Group 12       123.45m~     12.34V");
inline const QByteArray kLine1 = line(" Group 1       0.300 ~     3.700V");

// kLine7 under another group number, for suites that need many lines of one width; the
// board takes any text, so numbers past 255 are fine there.
inline QByteArray numberedLine(int group)
{
    return QByteArray(kLine7).replace(" Group 7 ", " Group " + QByteArray::number(group) + ' ');
}

// The i-th of as many different lines as a suite or bench needs, as the formatter writes
// them: every group in turn, resistances from 000.0 to 999.8 mΩ, voltages from 3.000 to
// 4.499 V.
inline QByteArray generatedLine(int i)
{
    reading::Reading r;
    r.group = i % 256;
    r.resistance = {i % 9999, 1};
    r.voltage = {3000 + i % 1500, 3};
    return reading::boardLine(r);
}
} // namespace sample

// The board text that holds these lines.
inline QByteArray boardText(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &l : lines)
        text += l + "\r\n";
    return text;
}
