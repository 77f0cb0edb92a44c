#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <memory>

// `report` and `labels`: pictures of a batch of cells. They draw with Qt Gui, so they get
// an application object of their own; the other subcommands need no display.
namespace cli {

// Whether the arguments after the program name ask for `report` or `labels` (or their help).
bool isPictureSubcommand(const QStringList &arguments);

// The application object the command line needs: a QGuiApplication on the offscreen
// platform for labels (fonts, no display), one on the desktop's platform for report --open
// when there is a display, else a QCoreApplication.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv);

// Runs the subcommand; returns its exit code or raises a core::Error.
int runPictureSubcommand(const QStringList &arguments);

} // namespace cli
