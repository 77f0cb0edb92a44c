#pragma once

#include "cli/options/options.h"

#include <QCoreApplication>
#include <memory>

// report and labels: a batch's report page and label sheets, drawn with Qt Gui.
// Each returns its exit code on success and raises a core::Error on failure.
namespace cli {

int runReport(const Invocation &inv);
int runLabels(const Invocation &inv);

// The application object the invocation needs: a QGuiApplication on the offscreen platform
// for labels (fonts, no display), one on the desktop's platform for report --open when
// there is a display, else a QCoreApplication.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, const Invocation &inv);

} // namespace cli
