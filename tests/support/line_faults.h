#pragma once

// Downloads of a twenty-reading batch as an unlucky line delivers them: stray bytes, pauses
// and split records around reading 10. The same table drives the framer on its own, the
// session over a pseudo-terminal, the tool and the window.
#include <QByteArray>
#include <QList>
#include <QString>

namespace linefault {

// Wait `pauseMs`, then the analyzer's side writes `bytes` in one go.
struct Step {
    int pauseMs = 0;
    QByteArray bytes;
};

struct Fault {
    QString name;
    QList<Step> steps;
    // The readings the board must show, as records, in order.
    QList<QByteArray> records;
    // The reading the disturbance followed, when the program cannot place the records with
    // confidence and must say so; -1 when it must not.
    int disturbedAfter = -1;
};

// Reading n (1 to 20) of the batch: ordinary flags, values that differ from reading to reading.
QByteArray batchRecord(int n);
// Readings first to last of the batch, back to back.
QByteArray batchRecords(int first, int last);

QList<Fault> faults();

} // namespace linefault
