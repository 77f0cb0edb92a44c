#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/input_files.h"
#include "cli/common/output.h"
#include "cli/common/rows.h"
#include "cli/common/streams.h"
#include "cli/files/commands.h"

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
