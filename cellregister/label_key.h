#pragma once

#include "cellregister/cell_register.h"

#include <QString>
#include <optional>
#include <utility>
#include <vector>

// A cell's identity by its label. A label names one cell in any case: labels are told apart by
// their Unicode simple case folding (QString::toCaseFolded), which the register keeps as each
// cell's unique key, so "a0289" typed by a scanner is the cell A0289 (kept as first written).
namespace cellregister {

// The key a label is known by.
QString labelKey(const QString &label);

// The label of the cell this one names: the cell of exactly this label, else the cell whose
// label differs only in case; none when the register holds neither.
std::optional<QString> storedLabel(CellRegister &r, const QString &label);

// Cells whose labels differ only in case, which a register of an earlier version may hold:
// each pair the cell first written and a later one, in label order. `cell merge` joins them.
std::vector<std::pair<QString, QString>> caseTwins(CellRegister &r);

// Gives a key no cell holds any more to the first written cell of that label without a key,
// if any: a twin whose first-written cell took another label.
void passOnKey(CellRegister &r, const QString &key);

// The migration's part that SQL cannot do: each cell's key, given to the first written cell
// of each label alone.
void fillLabelKeys(CellRegister &r);

} // namespace cellregister
