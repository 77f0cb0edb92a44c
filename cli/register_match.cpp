#include "cli/register_subcommands.h"
#include "cli/exit_codes.h"

namespace cli {
int runRegisterMatch(const QStringList &) { return kExitUsage; }
int runPack(const QStringList &) { return kExitUsage; }
} // namespace cli
