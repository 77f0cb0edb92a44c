#pragma once

#include <QString>
#include <QStringList>

namespace cli {

// Labels numbered on from a first one, each made when wanted: a record of millions of
// readings holds no list of them.
class LabelNumbering {
public:
    LabelNumbering(const QString &prefix, qint64 first, qsizetype width, qsizetype count)
        : prefix_(prefix), first_(first), width_(width), count_(count)
    { }
    // The labels a range names; -1 for as many as wanted.
    qsizetype count() const { return count_; }
    // The i-th label from 0, written in place.
    QString at(qsizetype i) const;
    // Whether the i-th label is as wide as the first: A999 is not followed by A1000.
    bool keepsWidth(qsizetype i) const;

private:
    QString prefix_;
    qint64 first_;
    qsizetype width_;
    qsizetype count_;
};

// The labels of --cells A001..A020 and of --first-cell A001, checked as labelRange and
// labelsFrom check them.
LabelNumbering numberRange(const QString &range, const QString &subcommand);
LabelNumbering numberFrom(const QString &first, const QString &subcommand);

// "A001..A020": the labels A001, A002, ... A020; "A005" alone is that one label. Both ends
// have the same prefix and numbers of the same width; the first is not after the last.
// Raises EUsageError for `subcommand` otherwise.
QStringList labelRange(const QString &range, const QString &subcommand);

// `count` labels numbered on from `first` ("A001" gives A001, A002, ...); a number that
// outgrows its width simply gets longer (A999, A1000). Raises EUsageError for a label that
// does not end in a number.
QStringList labelsFrom(const QString &first, qsizetype count, const QString &subcommand);

} // namespace cli
