#pragma once

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
};

// A failed cell swapped for a spare.
struct Swap {
    int group = 0;
    QString removed;
    QString added;
    QDateTime at;
};

// Raises EDuplicateEntry when the name is taken or a cell is already in a pack, and
// EUnknownEntry for a label the register lacks; stores nothing then.
void savePack(CellRegister &r, const Pack &pack);
std::vector<Pack> listPacks(CellRegister &r);
// Raises EUnknownEntry when there is no such pack.
Pack loadPack(CellRegister &r, const QString &name);
std::vector<Swap> swapsOf(CellRegister &r, const QString &name);
// Every swap that took this cell out of a pack or put it in, with the pack's name.
std::vector<std::pair<QString, Swap>> swapsOfCell(CellRegister &r, const QString &label);
// Puts `added` in the place of `removed` and records the swap, in one transaction.
void swapCell(CellRegister &r, const QString &name, const QString &removed, const QString &added);

// Labels of every cell built into any pack.
QStringList cellsInPacks(CellRegister &r);

// Capacities by label, in µAh. Raises EUnknownEntry naming every label the register lacks
// (and stores nothing) unless skipUnknown; returns the labels skipped.
QStringList setCapacities(CellRegister &r,
                          const std::vector<std::pair<QString, std::int64_t>> &capacities,
                          const QString &source, bool skipUnknown);

} // namespace cellregister
