#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <vector>

// The cells a command names: --cells "A001..A020,A031,B7" or a file of labels one a line, as
// a barcode scanner types them. Pure: the faults are values, worded by the front end.
namespace cli {

// At most this many labels, of at most this many characters all told: 10 million labels of
// 13 characters, far more than any bench measures, in memory well below what a computer has.
inline constexpr qsizetype kMostLabels = 10'000'000;
inline constexpr qint64 kMostLabelCharacters = qint64(128) * 1024 * 1024;

enum class LabelFault {
    Empty, // an item of a list with nothing in it: "A001,,A003"
    Repeated, // the same cell again (labels that differ only in case are one cell)
    BadRange, // not one prefix and numbers of one width on both sides of ".."
    Backwards, // A020..A001
    TooMany, // past kMostLabels or kMostLabelCharacters
    NotText, // a control or invisible format character, or bytes that are no UTF-8
    NoLabels, // nothing named at all
};

struct LabelProblem {
    LabelFault fault;
    int place = 0; // the item of a list or the line of a file, from 1; 0: the whole
    QString text; // the item or the line, trimmed
    int firstPlace = 0; // Repeated: where the label came first
};

struct LabelList {
    QStringList labels; // in the order named, when there is no problem
    std::vector<LabelProblem> problems; // every one, in order
};

// Comma-separated items, each a label or a range A001..A020, spaces around them ignored.
LabelList parseLabelList(QStringView text);

// A file of labels, one a line: UTF-8 with or without a byte order mark (at the start of any
// line: files joined keep theirs), lines ending in LF, CR LF or CR, spaces around a label and
// blank lines ignored.
LabelList parseLabelFile(QByteArrayView bytes);

// A label that ends in a number: "A001" is prefix "A", 1, width 3.
struct NumberedLabel {
    QString prefix;
    qint64 number = 0;
    qsizetype width = 0;
};
std::optional<NumberedLabel> numberedLabel(QStringView label);
// The label of `number` with the prefix and at least the width of `n`.
QString numberedLabelText(const NumberedLabel &n, qint64 number);

} // namespace cli
