#pragma once

#include <QString>
#include <QStringList>

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

} // namespace cli
