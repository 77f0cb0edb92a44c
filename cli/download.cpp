#include "cli/errors.h"
#include "cli/subcommands.h"

// The link's session for one analyzer arrives with the lead's link work; until then the two
// link subcommands say so.
namespace cli {

int runDownload(const Invocation &)
{
    throw EDeviceFault(QStringLiteral("download: not built yet"));
}

int runClearMemory(const Invocation &)
{
    throw EDeviceFault(QStringLiteral("clear-memory: not built yet"));
}

} // namespace cli
