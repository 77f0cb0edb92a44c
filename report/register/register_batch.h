#pragma once

#include "cellregister/cell_register.h"
#include "cellregister/cell_summary.h"
#include "report/batch.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace report {

// A register cell as the report draws it, judged as `cells` judges it.
Cell reportCell(const cellregister::CellSummary &c, const analysis::Rules &rules);

// What to take from the register: every cell, the cells of these labels, or the cells of
// a saved pack with its layout.
struct RegisterSelection {
    analysis::Rules rules; // without a pack, or for a pack saved without its rules
    // With a pack: the rules the user gave; none: those the pack was matched under.
    std::optional<analysis::Rules> given;
    QStringList labels; // empty: every cell
    QString pack; // empty: none
};

struct RegisterBatch {
    Batch batch; // no cells when the register holds none
    QStringList unknown; // labels asked for that the register lacks, in their order
};

// Raises ERegisterFault when the register cannot be read and EUnknownEntry for a pack it
// lacks; the cells and the pack are read at one moment.
RegisterBatch registerBatch(cellregister::CellRegister &r, const RegisterSelection &selection);

// Every cell of the list, already read: a caller that holds the summaries reads none again.
Batch batchOf(const std::vector<cellregister::CellSummary> &cells, const analysis::Rules &rules,
              const QString &source);

} // namespace report
