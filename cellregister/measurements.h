#pragma once

#include "cellregister/cell_register.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

namespace cellregister {

// One reading of one cell, as the register keeps it.
struct Measurement {
    QString label;
    QDateTime at;
    int group = 0;
    std::int64_t microohms = 0; // exact: the analyzer's finest step is 0.001 mΩ
    std::int64_t microvolts = 0;
    QString resistanceText; // as on the board: "056.7mΩ", "0.300 Ω"
    QString voltageText; // "4.123V"
    QString model; // "RM-40A"
    QString source; // "COM 3" or the file's path
    int sourceLine = 0; // the line in that file; 0 for a download
    bool restStart = false; // the cell was freshly charged and starts a rest period
};

// Stores the measurements in order, creating cells for new labels, in one transaction:
// all of them or none. They are one record run, which can be undone as a whole; returns
// its id.
qint64 addMeasurements(CellRegister &r, const QList<Measurement> &measurements);

// Every measurement, by label and then in the order measured; only one cell's with a label.
void forEachMeasurement(CellRegister &r, const QString &label,
                        const std::function<void(const Measurement &)> &f);

// Whether the register holds a cell of this label.
bool hasCell(CellRegister &r, const QString &label);

} // namespace cellregister
