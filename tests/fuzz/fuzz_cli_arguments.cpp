// The tool's argument reader on arbitrary command lines, for every subcommand: it either gives
// an invocation that satisfies its subcommand's requirements or raises the usage error, and
// nothing else.
#include "cli/options/options.h"

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
    using O = cli::Opt;
    require(inv.subcommand != S::None && inv.subcommand != S::Pack);
    require(args.join(u' ').startsWith(QLatin1String(cli::subcommandName(inv.subcommand))));
    const bool byPort = inv.has(O::Com) || inv.has(O::Port);
    require(!(inv.has(O::Com) && inv.has(O::Port)));
    require(!byPort || (inv.com >= 1 && inv.com <= 255) != !inv.portPath.isEmpty());
    switch (inv.subcommand) {
    case S::Download:
    case S::ClearMemory: require(byPort && inv.files.isEmpty()); break;
    case S::Ports:
        require(inv.files.isEmpty());
        require(!inv.assignPort || (inv.com >= 1 && inv.com <= 255 && !inv.portPath.isEmpty()));
        break;
    case S::Record:
        require(byPort == inv.files.isEmpty());
        require(inv.has(O::Cells) + inv.has(O::CellsFrom) + inv.has(O::FirstCell) == 1);
        require(!byPort || inv.has(O::Model));
        break;
    case S::Match: require(inv.fromRegister == inv.files.isEmpty() && inv.series >= 1); break;
    case S::Labels: require(!inv.output.isEmpty()); break;
    case S::Convert:
    case S::Stats: require(!inv.files.isEmpty()); break;
    default: break;
    }
    // Every value within the one range its option has.
    require(inv.idleMilliseconds >= 1 && inv.idleMilliseconds <= 3'600'000);
    require(inv.lockWaitMilliseconds >= 0 && inv.lockWaitMilliseconds <= 3'600'000);
    require(qint64(inv.series) * inv.parallel <= 10'000'000);
    require(inv.maxVoltageSpreadMicrovolts >= 0 && inv.maxVoltageSpreadMicrovolts <= 100'000'000);
    require(!inv.rules.maxMicroohms
            || (*inv.rules.maxMicroohms >= 1 && *inv.rules.maxMicroohms <= 1'000'000'000));
    require(inv.labelWidthMm >= 12 && inv.labelWidthMm <= 150 && inv.labelHeightMm >= 12
            && inv.labelHeightMm <= 150);
    const QStringList formats = cli::subcommandRow(inv.subcommand)->formats;
    const char *format = inv.format == cli::Format::Csv ? "csv"
        : inv.format == cli::Format::Json               ? "json"
                                                        : "text";
    require(formats.isEmpty() || formats.contains(QLatin1String(format)));
    return 0;
}
