#pragma once

#include "report/batch.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace cli {

// A batch taken from the cell register: all its cells, those named, or the cells of a saved
// pack with the pack's layout.
struct BatchFromRegister {
    QString db; // --db; empty: BATTERY_ANALYZER_DB or the default file
    int lockWaitMilliseconds = 10'000;
    analysis::Rules rules; // without a pack
    // With a pack: the rules the user gave; none: those the pack was matched under.
    std::optional<analysis::Rules> givenRules;
    QString cellRange; // --cells A001..A020,A031
    QString cellsFrom; // --cells-from FILE
    QString pack; // --pack NAME
};

// Raises ERegisterFault when the register cannot be read, EUnknownEntry for a label or pack
// it lacks, and ENoReadings when it holds no cell.
report::Batch batchFromRegister(const BatchFromRegister &from, const char *subcommand);

} // namespace cli
