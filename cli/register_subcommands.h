#pragma once

#include <QStringList>

// The register's subcommands, each given the arguments after its name.
namespace cli {

int runCapacity(const QStringList &arguments);
int runCells(const QStringList &arguments);
int runCell(const QStringList &arguments);
int runExport(const QStringList &arguments);
int runRegisterMatch(const QStringList &arguments);
int runPack(const QStringList &arguments);

} // namespace cli
