#pragma once

#include "reading/decimal.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// What a report or a sheet of labels is drawn from: plain values, filled from reading files
// or from a register of cells by a thin adapter in the front end.
namespace report {

// Why a cell fails: the rule's short name ("resistance", "self-discharge", "capacity") and
// the cell's value against the limit in signs that need no translation ("69.8 mΩ > 60 mΩ").
struct Reason {
    QString rule;
    QString detail;
};

struct Cell {
    QString label;
    // The latest reading, exact, and the texts the analyzer's board showed for it.
    reading::Decimal ohms;
    reading::Decimal volts;
    QString resistanceText;
    QString voltageText;
    std::optional<std::int64_t> capacityMicroampHours; // exact, as imported
    std::optional<double> selfDischargeMvPerDay;
    bool pass = true;
    std::vector<Reason> reasons;

    std::int64_t microohms() const { return ohms.at(6); }
    std::int64_t microvolts() const { return volts.at(6); }
};

// The limits the verdicts were judged by; an unset limit was not applied.
struct Rules {
    std::optional<std::int64_t> maxMicroohms;
    std::optional<double> maxSelfDischargeMvPerDay;
    std::optional<std::int64_t> minCapacityMicroampHours;
    std::optional<double> minDays; // rest before a self-discharge counts
};

// A pack of `groups.size()` parallel groups in series, each a list of cell labels.
struct Pack {
    QString name;
    std::vector<QStringList> groups;
};

struct Batch {
    QString source; // where the cells came from, in a few words
    std::vector<Cell> cells;
    Rules rules;
    std::optional<Pack> pack;
};

enum class Language { English, Chinese };

// Sets the cell's verdict and reasons from the rules: a limit the cell has no value for
// (capacity, self-discharge) is not held against it.
void judge(Cell &cell, const Rules &rules);

} // namespace report
