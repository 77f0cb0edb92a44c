#pragma once

// A cell register filled by the tool itself as a bench fills it: `cells` readings recorded
// freshly charged and again eight days later, a capacity for each, and a pack P1 matched
// from them.
#include "cell_files.h"
#include "tool_process.h"

#include <QDir>

inline QString fillRegister(const QString &folder, int cells, int series, int parallel)
{
    const QString board = QDir(folder).filePath(QStringLiteral("register-cells.txt"));
    const QString db = QDir(folder).filePath(QStringLiteral("cells.sqlite"));
    const QString csv = QDir(folder).filePath(QStringLiteral("capacities.csv"));
    QByteArray capacities = "id,capacity_mah\n";
    for (int i = 1; i <= cells; ++i)
        capacities += QStringLiteral("A%1,%2\n")
                          .arg(i, 3, 10, QChar(u'0'))
                          .arg(2000 + i * 137 % 1000)
                          .toLatin1();
    if (!writeFile(board, batchBoardText(cells)) || !writeFile(csv, capacities))
        return {};
    const QString range = QStringLiteral("A001..A%1").arg(cells, 3, 10, QChar(u'0'));
    const QList<QStringList> steps{
        {"record", board, "--cells", range, "--at", "2026-11-23T09:00", "--rest-start"},
        {"record", board, "--cells", range, "--at", "2026-12-01T09:00"},
        {"capacity", csv},
        {"match", "--series", QString::number(series), "--parallel", QString::number(parallel),
         "--max-voltage-spread", "0.6", "--save-pack", "P1"},
    };
    for (const QStringList &step : steps)
        if (runTool(step + QStringList{"--db", db}).exitCode != 0)
            return {};
    return db;
}
