#pragma once

#include "cli/options/options.h"

#include <QCoreApplication>
#include <memory>

// The subcommands. Each returns its exit code on success and raises a core::Error on failure.
namespace cli {

int runDownload(const Invocation &inv);
int runClearMemory(const Invocation &inv);
int runConvert(const Invocation &inv);
int runStats(const Invocation &inv);
int runMatch(const Invocation &inv);
int runPorts(const Invocation &inv);

// The cell register's.
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
int runRuns(const Invocation &inv);
int runUndo(const Invocation &inv);
// The register as web pages, until Ctrl+C.
int runServe(const Invocation &inv);

// report and labels draw with Qt Gui.
int runReport(const Invocation &inv);
int runLabels(const Invocation &inv);

// The application object the invocation needs: a QGuiApplication on the offscreen platform
// for labels (fonts, no display), one on the desktop's platform for report --open when
// there is a display, else a QCoreApplication.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, const Invocation &inv);

} // namespace cli
