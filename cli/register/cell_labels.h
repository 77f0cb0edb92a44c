#pragma once

#include "cli/options/cell_list.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace cli {

// The labels --cells ("A001..A020,A031") or --cells-from FILE (one a line; "-": standard
// input) names, in order. Raises EUsageError listing every fault of --cells, and EInputFile
// for a file that cannot be read or has faults, every one with its line.
QStringList namedCells(const QString &cells, const QString &cellsFrom, const QString &subcommand);

// How the labels were named, for messages: "--cells A001..A020" or "--cells-from FILE".
QString namedCellsText(const QString &cells, const QString &cellsFrom);

// `count` labels numbered on from `first` ("A001" gives A001, A002, ...); a number that
// outgrows its width simply gets longer (A999, A1000). Raises EUsageError for a label that
// does not end in a number.
QStringList labelsFrom(const QString &first, qsizetype count, const QString &subcommand);

// The labels a record gives its readings, in order: the ones the user named, or labels
// numbered on from --first-cell as far as the readings go, each made when wanted, so that a
// record of millions of readings holds no list of them.
class RecordLabels {
public:
    explicit RecordLabels(QStringList named) : named_(std::move(named)) { }
    // Raises EUsageError for `subcommand` when `first` does not end in a number.
    RecordLabels(const QString &first, const QString &subcommand);
    // How many were named; -1 for as many as wanted.
    qsizetype count() const { return numbered_ ? -1 : named_.size(); }
    QString at(qsizetype i) const;

private:
    QStringList named_;
    std::optional<NumberedLabel> numbered_;
};

} // namespace cli
