#pragma once

#include "analysis/verdict.h"
#include "cellregister/cell_register.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace cellregister {

// One cell as the register sees it now.
struct CellSummary {
    QString label;
    std::int64_t microohms = 0; // the latest measurement
    std::int64_t microvolts = 0;
    QString resistanceText;
    QString voltageText;
    int measurements = 0;
    QDateTime first;
    QDateTime latest;
    // The latest measurement that started a rest period, if any.
    std::optional<QDateTime> restStart;
    std::int64_t restStartMicrovolts = 0;
    std::optional<std::int64_t> capacityMicroampHours; // the latest measured
    QString capacitySource;
    QDateTime capacityAt; // invalid when not known
    QString pack; // the pack it is built into, if any
    int packGroup = 0; // in that pack, from 1 at the − end; 0 outside a pack
    int packPosition = 0; // in that group, from 1
    std::optional<QString> retired; // the reason it was retired; none while in use
};

// Whether the cell may go into a pack: in none now, and not retired.
inline bool inStock(const CellSummary &c)
{
    return c.pack.isEmpty() && !c.retired;
}

// A cell's status as every table and page words it: "stock", "pack" or "retired". A retired
// cell is neither passed nor failed: it is listed apart from both.
QString statusText(const CellSummary &c);

// Every cell with at least one measurement, in label order, one at a time: the memory taken
// does not grow with the register, and the cells are of one moment of it.
void forEachCellSummary(CellRegister &r, const std::function<void(const CellSummary &)> &f);
// The same, all held.
std::vector<CellSummary> summarizeCells(CellRegister &r);
// Every cell, in label order, with its capacity, pack and status but none of its measurements
// read (their fields stay empty): for tables that give those beside each measurement.
std::vector<CellSummary> cellStates(CellRegister &r);
// The cell a label names in any case (see storedLabel), or nullopt when there is none.
std::optional<CellSummary> summarizeCell(CellRegister &r, const QString &label);

// How long a rest has lasted as people count it: in calendar days of local time, so that
// the same time of day a week later is 7 days whatever summer time did in between. A rest
// that falls short of minDays by no more than kRestToleranceHours still counts as minDays.
inline constexpr int kRestToleranceHours = 2;
bool restLasted(const QDateTime &start, const QDateTime &end, double minDays);

// The voltage lost per day of exact elapsed time since the latest rest period began, once
// the rest has lasted minDays (see restLasted).
std::optional<double> selfDischarge(const CellSummary &c, double minDays);

// How long the latest rest has lasted by the latest measurement, in calendar days of local
// time (see restLasted); none when no rest began.
std::optional<double> restedDays(const CellSummary &c);

// The rules the cell fails as the register knows it now (see analysis::failures); an
// unknown self-discharge carries the rest reached.
std::vector<analysis::Failure> failures(const CellSummary &c, const analysis::Rules &rules);

} // namespace cellregister
