#pragma once

#include "analysis/verdict.h"
#include "cellregister/cell_register.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace cellregister {

// A built pack: `series` parallel groups, each a list of cell labels.
struct Pack {
    QString name;
    int series = 0;
    int parallel = 0;
    std::int64_t maxVoltageSpreadMicrovolts = 0;
    bool capacityFirst = false; // matched on capacity sums before resistances
    QDateTime created;
    std::vector<QStringList> groups;
    // The rules its cells were chosen under; none for a pack saved before packs kept them.
    std::optional<analysis::Rules> rules;
};

// A failed cell swapped for a spare.
struct Swap {
    int group = 0; // from 1 at the − end, as every front end shows it
    QString removed;
    QString added;
    QDateTime at;
};

// The id of the cell this label names (see storedLabel); raises EUnknownEntry when the
// register has none.
qint64 cellId(CellRegister &r, const QString &label);

// Raises EDuplicateEntry when the name is taken or a cell is already in a pack, and
// EUnknownEntry for a label the register lacks; stores nothing then.
void savePack(CellRegister &r, const Pack &pack);
std::vector<Pack> listPacks(CellRegister &r);
// Raises EUnknownEntry when there is no such pack.
Pack loadPack(CellRegister &r, const QString &name);
std::vector<Swap> swapsOf(CellRegister &r, const QString &name);
// Every swap that took this cell out of a pack or put it in, with the pack's name.
std::vector<std::pair<QString, Swap>> swapsOfCell(CellRegister &r, const QString &label);
// What becomes of a cell taken out of a pack: a cell replaced has failed, so it is retired
// (with the reason "taken out of pack NAME") unless the user says it goes back to stock.
enum class Removed { Retire, BackInStock };

// Puts `added` in the place of `removed` and records the swap, in one transaction. A
// retired cell cannot be added.
void swapCell(CellRegister &r, const QString &name, const QString &removed, const QString &added,
              Removed what = Removed::Retire);

// Takes a pack apart: its cells go back in stock and its swaps are forgotten. Raises
// EUnknownEntry when there is no such pack.
void deletePack(CellRegister &r, const QString &name);

// Labels of every cell built into any pack.
QStringList cellsInPacks(CellRegister &r);

// Capacities by label, in µAh, measured at `at` (invalid: now). A label names its cell in
// any case, as storedLabel finds it. Raises
// EUnknownEntry naming every label the register lacks (and stores nothing) unless
// skipUnknown; returns the labels skipped.
QStringList setCapacities(CellRegister &r,
                          const std::vector<std::pair<QString, std::int64_t>> &capacities,
                          const QString &source, bool skipUnknown, const QDateTime &at = {});

} // namespace cellregister
