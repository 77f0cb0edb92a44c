#pragma once

#include "cli/options/options.h"

// The subcommands that read reading files.
// Each returns its exit code on success and raises a core::Error on failure.
namespace cli {

int runConvert(const Invocation &inv);
int runStats(const Invocation &inv);
int runMatch(const Invocation &inv);

} // namespace cli
