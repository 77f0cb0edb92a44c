// The tool's argument reader on arbitrary command lines: it either gives an invocation that
// satisfies its subcommand's requirements or raises the usage error, and nothing else.
#include "cli/arguments.h"
#include "cli/errors.h"

#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 512)
        return 0;
    // Arguments are separated by zero bytes, as in argv.
    QStringList args;
    for (const QByteArray &a :
         QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0'))
        args << QString::fromUtf8(a);
    if (size == 0)
        args.clear();

    cli::Invocation inv;
    try {
        inv = cli::parseArguments(args);
    } catch (const EUsageError &e) {
        require(e.message().endsWith(u"--help'."));
        require(e.message().contains(u"\nTry 'battery-analyzer-cli "));
        return 0;
    }
    require(!args.isEmpty());
    if (inv.help || inv.version)
        return 0;
    using S = cli::Subcommand;
    require(inv.subcommand != S::None);
    require(args.front() == QLatin1String(cli::subcommandName(inv.subcommand)));
    if (inv.subcommand == S::Download || inv.subcommand == S::ClearMemory) {
        // One port: a number or a device path, never both.
        require((inv.com >= 1 && inv.com <= 255) != !inv.portPath.isEmpty());
        require(inv.files.isEmpty());
    } else if (inv.subcommand == S::Ports) {
        require(inv.files.isEmpty());
        require(!inv.assignPort || (inv.com >= 1 && inv.com <= 255 && !inv.portPath.isEmpty()));
    } else {
        require(!inv.files.isEmpty());
    }
    require(inv.idleMilliseconds >= 1 && inv.idleMilliseconds <= 3'600'000);
    if (inv.subcommand == S::Match) {
        require(inv.series >= 1 && inv.parallel >= 1);
        require(qint64(inv.series) * inv.parallel <= 10'000'000);
        require(inv.maxVoltageSpreadMicrovolts >= 0
                && inv.maxVoltageSpreadMicrovolts <= 100'000'000);
    }
    if (inv.subcommand == S::Match)
        require(inv.format != cli::Format::Csv);
    return 0;
}
