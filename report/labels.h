#pragma once

#include "report/batch.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
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

// One label: the code carries `code` (the cell's label); the lines go beside it, the first
// the largest: the label, resistance, voltage, capacity when known, PASS or FAIL, and the
// place in a pack.
struct LabelText {
    QString code;
    QStringList lines;
};

LabelText labelText(const Cell &cell, const std::optional<PackPlace> &place);

// A PDF with one page of the given size per label: a QR code of the label and the text
// beside it. A line that does not fit its width is drawn smaller, down to a size still
// readable on a label printer; one that does not fit even then raises ELabelDoesNotFit and
// nothing is written. Needs a QGuiApplication (the fonts).
QByteArray labelsPdf(const std::vector<LabelText> &labels, LabelSize size);

} // namespace report
