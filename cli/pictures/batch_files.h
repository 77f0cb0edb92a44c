#pragma once

#include "report/batch.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace cli {

// A batch read from saved reading files: which files, how the readings are named, the
// rule they are judged by, and a pack to match from the passing cells.
struct BatchFromFiles {
    QStringList files;
    bool strict = false;
    QString cellRange; // --cells A001..A020,A031
    QString cellsFrom; // --cells-from FILE
    QString firstCell; // --first-cell A001
    std::optional<std::int64_t> maxMicroohms;
    int series = 0;
    int parallel = 0;
    std::int64_t maxVoltageSpreadMicrovolts = 50'000;
};

// The readings of the files in order as cells: labelled by the range or from the first
// label, or by their place ("#1", "#2", ...) when neither is given. Raises ENoReadings when
// the files hold none, EUsageError when the range names another number of cells than
// there are readings, and ENotEnoughCells when the pack cannot be matched.
report::Batch batchFromFiles(const BatchFromFiles &from, const char *subcommand);

} // namespace cli
