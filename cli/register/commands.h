#pragma once

#include "cli/options/options.h"

// The cell register's subcommands.
// Each returns its exit code on success and raises a core::Error on failure.
namespace cli {

int runRecord(const Invocation &inv);
int runCapacity(const Invocation &inv);
int runCells(const Invocation &inv);
int runCell(const Invocation &inv);
int runExport(const Invocation &inv);
int runRegisterMatch(const Invocation &inv);
int runPackList(const Invocation &inv);
int runPackShow(const Invocation &inv);
int runPackReplace(const Invocation &inv);
int runPackDelete(const Invocation &inv);
int runCellRetire(const Invocation &inv);
int runCellRestore(const Invocation &inv);
int runCellRelabel(const Invocation &inv);
int runCellMerge(const Invocation &inv);
int runRuns(const Invocation &inv);
int runUndo(const Invocation &inv);
int runServe(const Invocation &inv);

} // namespace cli
