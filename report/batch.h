#pragma once

#include "analysis/verdict.h"
#include "reading/decimal.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// What a report or a sheet of labels is drawn from: plain values, filled from reading files
// or from a register of cells by a thin adapter in the front end.
namespace report {

struct Cell {
    QString label;
    // The latest reading, exact, and the texts the analyzer's board showed for it.
    reading::Decimal ohms;
    reading::Decimal volts;
    QString resistanceText;
    QString voltageText;
    std::optional<std::int64_t> capacityMicroampHours; // exact, as imported
    std::optional<double> selfDischargeMvPerDay;
    bool pass = true; // false for a retired cell, which is neither a pass nor a failure
    std::vector<analysis::Failure> failures; // each front end words them
    std::optional<QString> retired; // why a register's cell was retired

    std::int64_t microohms() const { return ohms.at(6); }
    std::int64_t microvolts() const { return volts.at(6); }
};

// A pack of `groups.size()` parallel groups in series, each a list of cell labels.
struct Pack {
    QString name;
    std::vector<QStringList> groups;
};

struct Batch {
    QString source; // where the cells came from, in a few words
    std::vector<Cell> cells;
    analysis::Rules rules; // the limits the verdicts were judged by
    // The cells rested between measurements (a register's), so the rest a self-discharge
    // needs is one of the rules shown.
    bool rested = false;
    std::optional<Pack> pack;
};

enum class Language { English, Chinese };

// Sets the cell's verdict from the values it holds, by the one rule of analysis::failures.
inline void judge(Cell &cell, const analysis::Rules &rules)
{
    cell.failures = analysis::failures({cell.microohms(), cell.microvolts(),
                                        cell.selfDischargeMvPerDay, cell.capacityMicroampHours},
                                       rules);
    cell.pass = cell.failures.empty() && !cell.retired;
}

} // namespace report
