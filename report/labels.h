#pragma once

#include "report/batch.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace report {

struct LabelSize {
    double widthMm = 62;
    double heightMm = 29;
};

// Where a labelled cell sits in a pack: its name, group and place in the group from 1.
struct PackPlace {
    QString pack;
    int group = 0;
    int position = 0;
};

// What a label can show beside its code, in the order the user lists them.
enum class LabelField { Label, Resistance, Voltage, Capacity, Verdict, Place };
// Their names on the command line, in LabelField order.
inline const QStringList kLabelFieldNames = {"label",    "resistance", "voltage",
                                             "capacity", "verdict",    "place"};
// The fields shown when the user names none.
inline const std::vector<LabelField> kDefaultLabelFields = {
    LabelField::Label,    LabelField::Resistance, LabelField::Voltage,
    LabelField::Capacity, LabelField::Verdict,    LabelField::Place};

// One label: the code carries `code` (the cell's label); the lines go beside it, the first
// the largest. A field the cell has no value for (a capacity, a place) has no line.
struct LabelText {
    QString code;
    QStringList lines;
    std::vector<LabelField> fields; // of each line
};

LabelText labelText(const Cell &cell, const std::optional<PackPlace> &place,
                    const std::vector<LabelField> &fields = kDefaultLabelFields);

// The labels of a batch: with a pack, its cells in building order (group 1, the − end,
// first), each with its place; otherwise every cell in the batch's order. `verdict`: only
// the cells that pass (true) or fail (false).
std::vector<LabelText> batchLabels(const Batch &batch, const std::vector<LabelField> &fields,
                                   std::optional<bool> verdict = std::nullopt);

// How many labels lost each field to fit their size, by LabelField.
using DroppedFields = std::vector<int>;

// A PDF with one page of the given size per label: a QR code of the label and the text
// beside it. A line that does not fit its width is drawn smaller, down to a size still
// readable on a label printer; when lines do not fit even then, the last fields of the
// label are left out one by one (counted in `dropped`), never the label itself. A label
// whose own text does not fit raises ELabelDoesNotFit and nothing is written. Needs a
// QGuiApplication (the fonts).
QByteArray labelsPdf(const std::vector<LabelText> &labels, LabelSize size,
                     DroppedFields *dropped = nullptr);

} // namespace report
