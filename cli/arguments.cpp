#include "cli/arguments.h"

#include "cli/errors.h"
#include "cli/usage.h"
#include "link/errors.h"
#include "link/port_text.h"
#include "reading/reading.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace cli {

namespace {

constexpr char kProgram[] = "battery-analyzer-cli";

std::optional<int> wholeNumber(const QString &text, int min, int max)
{
    const auto v = decimalUnits(text, 0);
    if (!v || text.contains(u'.') || *v < min || *v > max)
        return std::nullopt;
    return int(*v);
}

QString applyCom(Invocation &inv, const QString &value)
{
    const auto port = comNumber(value);
    if (!port)
        return QStringLiteral("--com takes a port number from %1 to %2, not '%3'")
            .arg(analyzer::kFirstComPort)
            .arg(analyzer::kLastComPort)
            .arg(value);
    inv.com = *port;
    return {};
}

QString applyPort(Invocation &inv, const QString &value)
{
    if (value.isEmpty())
        return QStringLiteral("--port needs a device path");
    inv.portPath = value;
    return {};
}

QString applyModel(Invocation &inv, const QString &value)
{
    const auto model = modelNamed(value);
    if (!model)
        return unknownModelText(value);
    inv.model = *model;
    return {};
}

// The formats a subcommand offers, the first its default.
QStringList formatsOf(Subcommand s)
{
    switch (s) {
    case Subcommand::Download: return {"text", "csv", "json"};
    case Subcommand::Convert: return {"csv", "json", "text"};
    case Subcommand::Match: return {"text", "json"};
    case Subcommand::Stats: return {"text", "csv", "json"};
    default: return {};
    }
}

Format formatNamed(const QString &name)
{
    return name == u"csv" ? Format::Csv : name == u"json" ? Format::Json : Format::Text;
}

QString applyFormat(Invocation &inv, const QString &value)
{
    const QStringList formats = formatsOf(inv.subcommand);
    if (!formats.contains(value))
        return QStringLiteral("unknown format '%1'; the formats are %2")
            .arg(value, formats.join(", "));
    inv.format = formatNamed(value);
    return {};
}

QString applyOutput(Invocation &inv, const QString &value)
{
    if (value.isEmpty())
        return QStringLiteral("--output needs a file name");
    inv.output = value;
    return {};
}

QString applyIdle(Invocation &inv, const QString &value)
{
    const auto ms = decimalUnits(value, 3);
    if (!ms || *ms < 1 || *ms > 3'600'000)
        return QStringLiteral("--idle takes seconds from 0.001 to 3600, not '%1'").arg(value);
    inv.idleMilliseconds = int(*ms);
    return {};
}

QString packSize(int &field, const char *name, const QString &value)
{
    const auto n = wholeNumber(value, 1, 100'000);
    if (!n)
        return QStringLiteral("%1 takes a whole number from 1 to 100000, not '%2'")
            .arg(QLatin1String(name), value);
    field = *n;
    return {};
}

QString applyVoltageSpread(Invocation &inv, const QString &value)
{
    const auto uv = decimalUnits(value, 6);
    if (!uv || *uv > 100'000'000)
        return QStringLiteral("--max-voltage-spread takes volts from 0 to 100, not '%1'")
            .arg(value);
    inv.maxVoltageSpreadMicrovolts = *uv;
    return {};
}

QString applyMaxResistance(Invocation &inv, const QString &value)
{
    const auto uo = decimalUnits(value, 6);
    if (!uo || *uo < 1 || *uo > 1'000'000'000)
        return QStringLiteral("--max-resistance takes ohms from 0.000001 to 1000, not '%1'")
            .arg(value);
    inv.maxResistanceMicroohms = *uo;
    return {};
}

QString applyPrefer(Invocation &inv, const QString &value)
{
    if (value != u"low")
        return QStringLiteral("--prefer takes low, not '%1'").arg(value);
    inv.preferLow = true;
    return {};
}

const OptionEntry kOutputOption{
    {"o", "output"},
    "FILE",
    "write to FILE (replaced only once complete) instead of standard output",
    applyOutput};
template <bool Invocation::*flag>
QString setFlag(Invocation &inv, const QString &)
{
    inv.*flag = true;
    return {};
}

const OptionEntry kStrictOption{
    {"strict"}, {}, "a line that is not a reading is an error", setFlag<&Invocation::strict>};
const OptionEntry kComOption{{"com"}, "N", "the COM port number, 1 to 255 (also COM3)", applyCom};
const OptionEntry kPortOption{
    {"port"}, "PATH", "the device instead, e.g. /dev/ttyUSB0 or /dev/serial/by-id/...", applyPort};

QString needsPort(Invocation &inv)
{
    if (inv.com != 0 && !inv.portPath.isEmpty())
        return QStringLiteral("give --com N or --port PATH, not both");
    return inv.com == 0 && inv.portPath.isEmpty()
        ? QStringLiteral("--com N or --port PATH is required")
        : QString();
}

QString checkPorts(Invocation &inv)
{
    if (inv.files.isEmpty())
        return {};
    if (inv.files.front() != u"assign" || inv.files.size() != 3)
        return QStringLiteral("unexpected argument '%1'; ports takes no words or assign N DEVICE")
            .arg(inv.files.front());
    const auto port = comNumber(inv.files[1]);
    if (!port)
        return QStringLiteral("assign takes a port number from %1 to %2, not '%3'")
            .arg(analyzer::kFirstComPort)
            .arg(analyzer::kLastComPort)
            .arg(inv.files[1]);
    if (inv.files[2].isEmpty())
        return QStringLiteral("assign needs a device path");
    inv.assignPort = true;
    inv.com = *port;
    inv.portPath = inv.files[2];
    inv.files.clear();
    return {};
}

QString needsFiles(Invocation &inv)
{
    return inv.files.isEmpty() ? QStringLiteral("at least one FILE is required") : QString();
}

QString checkMatch(Invocation &inv)
{
    if (QString fault = needsFiles(inv); !fault.isEmpty())
        return fault;
    if (inv.series == 0 || inv.parallel == 0)
        return QStringLiteral("--series S and --parallel P are required");
    if (qint64(inv.series) * inv.parallel > 10'000'000)
        return QStringLiteral("a pack of more than 10000000 cells is not supported");
    return {};
}

const SubcommandRow *subcommandRow(Subcommand s)
{
    for (const SubcommandRow &sub : subcommandTable())
        if (sub.subcommand == s)
            return &sub;
    return nullptr;
}

[[noreturn]] void usage(Subcommand s, const QString &text)
{
    if (s != Subcommand::None)
        refuseUsage(QString::fromLatin1(subcommandName(s)), text);
    throw EUsageError(QStringLiteral("%1\nTry '%2 --help'.").arg(text, QLatin1String(kProgram)));
}

Invocation parseSubcommand(const SubcommandRow &sub, const QStringList &arguments)
{
    Invocation inv;
    inv.subcommand = sub.subcommand;
    if (const QStringList formats = formatsOf(sub.subcommand); !formats.isEmpty())
        inv.format = formatNamed(formats.front());

    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version(QStringList{"V", "version"});
    parser.addOption(help);
    parser.addOption(version);
    for (const OptionEntry &o : sub.options)
        parser.addOption(QCommandLineOption(o.names, o.description, o.valueName));
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        inv.help = true;
        return inv;
    }
    if (!parsed)
        usage(sub.subcommand, parserFault(parser));
    if (parser.isSet(version)) {
        inv.version = true;
        return inv;
    }
    for (const OptionEntry &o : sub.options) {
        const QStringList values = o.valueName.isEmpty()
            ? QStringList(parser.isSet(o.names.back()) ? 1 : 0, {})
            : parser.values(o.names.back());
        for (const QString &value : values)
            if (const QString fault = o.apply(inv, value); !fault.isEmpty())
                usage(sub.subcommand, fault);
    }
    inv.files = parser.positionalArguments();
    if (!sub.takesFiles && sub.subcommand != Subcommand::Ports && !inv.files.isEmpty())
        usage(sub.subcommand, QStringLiteral("unexpected argument '%1'").arg(inv.files.front()));
    if (const QString fault = sub.check(inv); !fault.isEmpty())
        usage(sub.subcommand, fault);
    return inv;
}

} // namespace

std::optional<analyzer::AnalyzerModel> modelNamed(const QString &name)
{
    using reading::kModelNames;
    const auto m = std::find(kModelNames.begin(), kModelNames.end(), name.toUpper());
    if (m == kModelNames.end())
        return std::nullopt;
    return analyzer::AnalyzerModel(m - kModelNames.begin());
}

QString unknownModelText(const QString &name)
{
    using reading::kModelNames;
    return QStringLiteral("unknown model '%1'; the models are %2, %3 and %4")
        .arg(name, kModelNames[0], kModelNames[1], kModelNames[2]);
}

// A COM number as the window's field reads it, or written "COM3" / "com 3".
std::optional<int> comNumber(const QString &text)
{
    static const QRegularExpression comPrefix(QStringLiteral("^\\s*COM\\s*"),
                                              QRegularExpression::CaseInsensitiveOption);
    try {
        const std::int32_t port = analyzer::portTextToNumber(QString(text).remove(comPrefix));
        if (port >= analyzer::kFirstComPort && port <= analyzer::kLastComPort)
            return port;
    } catch (const analyzer::LinkError &) { }
    return std::nullopt;
}

const std::vector<SubcommandRow> &subcommandTable()
{
    static const std::vector<SubcommandRow> rows{
        {Subcommand::Download,
         "download",
         "--com N|--port PATH [OPTIONS]",
         "download the analyzer's stored readings",
         R"(Opens COM N as the program's window does (the port folder
~/.config/battery-analyzer/ports/comN, otherwise /dev/ttyS<N-1>; 2400 baud, 8N1), sends
Connect and Download, collects readings until S seconds pass with nothing received, then
sends Disconnect and closes the port (--port PATH opens that device instead). On a
terminal, standard error shows a running count.
Ctrl+C ends the download the same way; what arrived is still written.)",
         false,
         {kComOption,
          kPortOption,
          {{"m", "model"},
           "M",
           "the analyzer model, which sets the resistance scale (default RM-40A)",
           applyModel},
          {{"f", "format"},
           "F",
           "text: the bytes the window's Save writes (GBK, CR LF; default)\n"
           "csv:  group,resistance_ohm,voltage_v,resistance_text,voltage_text\n"
           "json: an array of objects with the same fields",
           applyFormat},
          kOutputOption,
          {{"idle"}, "S", "seconds of silence that end the download (default 2)", applyIdle}},
         needsPort},
        {Subcommand::ClearMemory,
         "clear-memory",
         "--com N|--port PATH [--yes]",
         "erase the readings stored in the analyzer",
         R"(Erases the readings stored in the analyzer on COM N (or the device PATH): sends Connect,
Clear Memory and Disconnect. This cannot be undone, so without --yes it asks on the
terminal first and refuses when there is no terminal to ask.)",
         false,
         {kComOption,
          kPortOption,
          {{"y", "yes"}, {}, "erase without asking", setFlag<&Invocation::yes>}},
         needsPort},
        {Subcommand::Convert,
         "convert",
         "FILE... [OPTIONS]",
         "turn reading files into CSV or JSON",
         R"(Reads files as the window opens them (GBK text, any line breaks; a file holding a NUL
byte or more than 64 MiB is refused) and turns every reading line into a row with its resistance in ohms and voltage in volts, exact
as shown (056.7mΩ gives 0.0567). A line that is not a reading is reported on standard error
as FILE:LINE: not a reading: ... and skipped; empty lines are skipped silently.)",
         true,
         {{{"f", "format"},
           "F",
           "csv:  file,line,group,resistance_ohm,voltage_v,resistance_text,voltage_text\n"
           "      (default)\n"
           "json: an array of objects with the same fields\n"
           "text: the reading lines as the window saves them (GBK, CR LF)",
           applyFormat},
          kOutputOption,
          kStrictOption},
         needsFiles},
        {Subcommand::Stats,
         "stats",
         "FILE... [OPTIONS]",
         "summarise the readings of files",
         R"(Summarises the readings of the files: their count, and the minimum, maximum, mean, median
and standard deviation (of the whole batch) of resistance (in mΩ) and of voltage, with a
histogram of the resistances. Files are read as by convert.)",
         true,
         {{{"f", "format"},
           "F",
           "text (default), csv (one row each for resistance in ohms and voltage)\nor json (with "
           "the histogram)",
           applyFormat},
          kOutputOption,
          kStrictOption},
         needsFiles},
        {Subcommand::Match,
         "match",
         "FILE... --series S --parallel P [OPTIONS]",
         "group cells of reading files into a pack of matched parallel groups",
         R"(Picks S x P cells from the readings of the files and arranges them into S parallel groups of
P cells whose resistances (1 / sum of 1/R of the group's cells) are as equal as it can make
them, using only cells whose voltages lie within V of each other. From more cells than
needed it takes those that match best: up to 12 cells to choose from, the best there is.
It prints each group with its cells (file, line and group number of each reading), the
group's resistance and voltage range, the spread (highest less lowest group resistance, also
as % of the mean) and the number of cells left out. Resistances are shown as precisely as
the readings allow. Cells with a resistance of zero are always left out.)",
         true,
         {{{"series"},
           "S",
           "parallel groups in series, 1 to 100000",
           [](Invocation &inv, const QString &v) { return packSize(inv.series, "--series", v); }},
          {{"parallel"},
           "P",
           "cells in each group, 1 to 100000",
           [](Invocation &inv, const QString &v) {
               return packSize(inv.parallel, "--parallel", v);
           }},
          {{"max-voltage-spread"}, "V", "volts (default 0.05)", applyVoltageSpread},
          {{"max-resistance"}, "OHM", "leave out cells of a higher resistance", applyMaxResistance},
          {{"prefer"},
           "low",
           "among equally good packs, the one of the lowest resistances",
           applyPrefer},
          {{"v", "verbose"},
           {},
           "list the cells left out (their count is always shown)",
           setFlag<&Invocation::verbose>},
          {{"f", "format"},
           "F",
           "text (default) or json: the same result as one JSON document",
           applyFormat},
          kOutputOption,
          kStrictOption},
         checkMatch},
        {Subcommand::Ports,
         "ports",
         "[assign N DEVICE]",
         "list the serial ports, or assign one a COM number",
         R"(Without words, lists the machine's serial ports (device, description, manufacturer, serial
number, USB vendor:product) and the entries of the port folder
~/.config/battery-analyzer/ports, each with the COM number it stands for today.

assign N DEVICE makes the folder's entry comN a link to DEVICE (replacing one there), so
that the window and --com N open DEVICE. Give the stable /dev/serial/by-id/ name of a USB
adapter rather than /dev/ttyUSB0.)",
         false,
         {},
         checkPorts},
    };
    return rows;
}

const char *subcommandName(Subcommand s)
{
    const SubcommandRow *sub = subcommandRow(s);
    return sub ? sub->name : kProgram;
}

Invocation parseArguments(const QStringList &arguments)
{
    Invocation inv;
    if (arguments.isEmpty())
        usage(Subcommand::None, QStringLiteral("a subcommand is required: ") + subcommandList());
    const QString &first = arguments.front();
    if (first == u"--help" || first == u"-h" || first == u"help") {
        inv.help = true;
        if (first == u"help" && arguments.size() > 1)
            for (const SubcommandRow &sub : subcommandTable())
                if (arguments[1] == QLatin1String(sub.name))
                    inv.subcommand = sub.subcommand;
        return inv;
    }
    if (first == u"--version" || first == u"-V") {
        inv.version = true;
        return inv;
    }
    for (const SubcommandRow &sub : subcommandTable())
        if (first == QLatin1String(sub.name))
            return parseSubcommand(sub, arguments); // the parser skips the first word
    usage(Subcommand::None, QStringLiteral("unknown subcommand '%1'").arg(first));
}

} // namespace cli
