#pragma once

#include "core/error.h"

#include <QStringList>

// The cell register's subcommands: record, capacity, cells, cell, export, pack, and match
// with --db. Each reads its own options.
namespace cli {

// Whether the arguments (after the program name) ask for one of them.
bool isRegisterCommand(const QStringList &arguments);
// Runs it; returns the exit code, or raises a core::Error.
int runRegisterCommand(const QStringList &arguments);
// The exit code of an error only these subcommands raise; 0 for any other.
int registerExitCode(const core::Error &e);

} // namespace cli
