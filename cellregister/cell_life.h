#pragma once

#include "cellregister/cell_register.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// What happens to cells beyond their readings: record runs undone, cells retired and
// restored, relabelled, and the capacities measured over their life.
namespace cellregister {

// The readings one `record` stored, as one unit.
struct RecordRun {
    qint64 id = 0;
    QDateTime recordedAt; // when they were stored
    QDateTime measuredAt; // when they were taken, as the record said
    QString model;
    QString source;
    int readings = 0;
};

// Every run, oldest first.
std::vector<RecordRun> recordRuns(CellRegister &r);

struct Undone {
    int readings = 0;
    QStringList cellsRemoved; // cells the run brought in and nothing else refers to
};

// Removes a run's readings, and the cells it brought in that hold nothing else (no other
// reading, capacity, pack or swap), in one transaction. Raises EUnknownEntry when there is
// no such run.
Undone undoRun(CellRegister &r, qint64 run);

// A retired cell stays in the register with its history but is offered for no pack.
// Raise EUnknownEntry for a label the register lacks.
void retireCell(CellRegister &r, const QString &label, const QString &reason);
void restoreCell(CellRegister &r, const QString &label);
// Raises EDuplicateEntry when `to` is taken.
void relabelCell(CellRegister &r, const QString &from, const QString &to);

struct CapacityMeasurement {
    std::int64_t microampHours = 0;
    QString source;
    QDateTime at;
};

// The capacities measured of a cell, oldest first; the last one counts.
std::vector<CapacityMeasurement> capacityHistory(CellRegister &r, const QString &label);

} // namespace cellregister
