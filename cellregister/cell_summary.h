#pragma once

#include "cellregister/cell_register.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
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
    std::optional<std::int64_t> capacityMicroampHours;
    QString pack; // the pack it is built into, if any
};

// Every cell with at least one measurement, in label order.
std::vector<CellSummary> summarizeCells(CellRegister &r);
// One cell, or nullopt when the register has no such label.
std::optional<CellSummary> summarizeCell(CellRegister &r, const QString &label);

// What a cell must meet to pass. Unset rules are not checked.
struct Rules {
    std::optional<std::int64_t> maxMicroohms;
    std::optional<double> maxSelfDischargeMillivoltsPerDay;
    std::optional<std::int64_t> minCapacityMicroampHours;
    double minDays = 7; // self-discharge is known only after this long at rest
};

// The voltage lost per day since the latest rest period began, once it has lasted
// rules.minDays.
std::optional<double> selfDischarge(const CellSummary &c, double minDays);

// The reasons a cell fails the rules; none when it passes. A rule that cannot be checked
// yet (no capacity, a rest too short) is a reason too: a cell passes only what it has shown.
QStringList failures(const CellSummary &c, const Rules &rules);

} // namespace cellregister
