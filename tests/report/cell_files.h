#pragma once

// Reading files of a batch of like cells, as the window saves them.
#include "files.h"
#include "samples.h"

#include <QString>
#include <cstdint>

// `count` readings of 18650-like cells: 30.0 to 69.9 mΩ, 3.600 to 4.199 V, the same for the
// same count every time.
inline QByteArray batchBoardText(int count)
{
    QByteArray text;
    std::uint32_t state = 12345u;
    const auto next = [&state](std::uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    for (int i = 0; i < count; ++i) {
        const std::uint32_t tenthsOfMilliohm = 300 + next(400);
        const std::uint32_t millivolts = 3600 + next(600);
        text += line(QStringLiteral(" Group %1       %2.%3m~     %4.%5V")
                         .arg(i % 255 + 1)
                         .arg(tenthsOfMilliohm / 10, 3, 10, QChar(u'0'))
                         .arg(tenthsOfMilliohm % 10)
                         .arg(millivolts / 1000)
                         .arg(millivolts % 1000, 3, 10, QChar(u'0'))
                         .toLatin1()
                         .constData());
        text += "\r\n";
    }
    return text;
}
