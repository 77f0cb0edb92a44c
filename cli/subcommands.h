#pragma once

#include "cli/arguments.h"

// The subcommands. Each returns its exit code on success and raises a core::Error on failure.
namespace cli {

int runDownload(const Invocation &inv);
int runClearMemory(const Invocation &inv);
int runConvert(const Invocation &inv);
int runStats(const Invocation &inv);
int runMatch(const Invocation &inv);
int runPorts(const Invocation &inv);

} // namespace cli
