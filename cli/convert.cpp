#include "cli/errors.h"
#include "cli/exit_codes.h"
#include "cli/input_files.h"
#include "cli/output.h"
#include "cli/rows.h"
#include "cli/streams.h"
#include "cli/subcommands.h"

namespace cli {

int runConvert(const Invocation &inv)
{
    Output out(inv.output);
    ReadingTable table(inv.format, {true, {}, {}}, out);
    const InterruptCatcher interrupt;
    forEachReading(
        inv.files, inv.strict,
        [&](int file, int line, const reading::Reading &r) { table.add(r, inv.files[file], line); },
        printMessage);
    if (table.rows() == 0 && !InterruptCatcher::caught())
        throw ENoReadings(QStringLiteral("no readings in %1").arg(inv.files.join(", ")));
    table.finish();
    return interruptedExit(table.rows());
}

} // namespace cli
