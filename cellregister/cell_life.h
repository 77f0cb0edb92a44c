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
    // The packs whose cells fail without the run's readings (under the rules each was
    // matched under; a cell without a reading left fails), each with those cells.
    std::vector<std::pair<QString, QStringList>> packsFailing;
};

// Removes a run's readings, and the cells it brought in that hold nothing else (no other
// reading, capacity, pack or swap), in one transaction. The run keeps its number, with the
// time it was taken back, and is listed no more. Raises EUnknownEntry when there is no such
// run or it was taken back already (saying when).
Undone undoRun(CellRegister &r, qint64 run);

// A retired cell stays in the register with its history but is offered for no pack.
// Raise EUnknownEntry for a label the register lacks; retiring raises EDuplicateEntry for a
// cell in a pack (pack replace takes it out). A label names its cell in any case.
void retireCell(CellRegister &r, const QString &label, const QString &reason);
void restoreCell(CellRegister &r, const QString &label);
// Raises EDuplicateEntry when `to` is taken, in any case, by another cell.
void relabelCell(CellRegister &r, const QString &from, const QString &to);
// Joins two cells whose labels differ only in case, which an earlier version let in, into
// `keep`: the other's measurements, capacities, place in a pack and swaps become keep's, and
// keep's status stays. Raises EDuplicateEntry for cells that are no such twins or both sit
// in packs.
void mergeCells(CellRegister &r, const QString &keep, const QString &other);

struct CapacityMeasurement {
    std::int64_t microampHours = 0;
    QString source;
    QDateTime at;
};

// The capacities measured of a cell, oldest first; the last one counts.
std::vector<CapacityMeasurement> capacityHistory(CellRegister &r, const QString &label);

} // namespace cellregister
