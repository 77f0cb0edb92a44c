#pragma once

#include <QString>
#include <QStringList>

namespace cli {

// "A001..A020": the labels A001, A002, ... A020; "A005" alone is that one label. Both ends
// have the same prefix and numbers of the same width; the first is not after the last.
// Raises EUsageError for `subcommand` otherwise.
QStringList labelRange(const QString &range, const QString &subcommand);

// `count` labels numbered on from `first` ("A001" gives A001, A002, ...); a number that
// outgrows its width simply gets longer (A999, A1000). Raises EUsageError for a label that
// does not end in a number.
QStringList labelsFrom(const QString &first, qsizetype count, const QString &subcommand);

} // namespace cli
