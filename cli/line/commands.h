#pragma once

#include "cli/options/options.h"

// The subcommands that talk to the analyzer over its serial line.
// Each returns its exit code on success and raises a core::Error on failure.
namespace cli {

int runDownload(const Invocation &inv);
int runClearMemory(const Invocation &inv);
int runPorts(const Invocation &inv);

} // namespace cli
