#include "cli/arguments.h"

#include "analysis/decimal.h"
#include "cli/errors.h"
#include "link/errors.h"
#include "link/port_text.h"
#include "reading/reading.h"

#include <algorithm>
#include <array>
#include <optional>

namespace cli {

namespace {

constexpr char kProgram[] = "battery-analyzer-cli";

struct SubcommandInfo {
    Subcommand subcommand;
    const char *name;
    bool takesFiles;
    QStringList formats; // the first is the default; empty: no --format
    QStringList valueOptions;
    QStringList flagOptions;
};

const std::array<SubcommandInfo, 5> &subcommands()
{
    static const std::array<SubcommandInfo, 5> table{{
        {Subcommand::Download, "download", false, {"text", "csv", "json"},
         {"--com", "--model", "--format", "--output", "--idle"}, {}},
        {Subcommand::ClearMemory, "clear-memory", false, {}, {"--com"}, {"--yes"}},
        {Subcommand::Convert, "convert", true, {"csv", "json", "text"}, {"--format", "--output"}, {"--strict"}},
        {Subcommand::Stats, "stats", true, {}, {}, {"--strict"}},
        {Subcommand::Match, "match", true, {"text", "json"},
         {"--series", "--parallel", "--max-voltage-spread", "--format"}, {"--strict"}},
    }};
    return table;
}

const SubcommandInfo *infoOf(Subcommand s)
{
    for (const SubcommandInfo &info : subcommands())
        if (info.subcommand == s)
            return &info;
    return nullptr;
}

[[noreturn]] void usage(Subcommand s, const QString &text)
{
    const QString name = s == Subcommand::None ? QString() : QString::fromLatin1(subcommandName(s));
    throw EUsageError(QStringLiteral("%1%2\nTry '%3 %4--help'.")
                          .arg(name.isEmpty() ? name : name + QStringLiteral(": "), text, QString::fromLatin1(kProgram),
                               name.isEmpty() ? name : name + u' '));
}

// A non-negative decimal with at most `places` decimals, as a whole number of 10^-places.
std::optional<std::int64_t> decimalValue(const QString &text, int places)
{
    std::int64_t units = 0;
    int decimals = -1;
    int digits = 0;
    for (QChar c : text) {
        if (c == u'.' && decimals < 0) {
            decimals = 0;
        } else if (c >= u'0' && c <= u'9') {
            if (++digits > 15)
                return std::nullopt;
            units = units * 10 + (c.unicode() - '0');
            if (decimals >= 0 && ++decimals > places)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    return analysis::Decimal{units, std::max(decimals, 0)}.at(places);
}

std::optional<int> wholeNumber(const QString &text, int min, int max)
{
    const auto v = decimalValue(text, 0);
    if (!v || text.contains(u'.') || *v < min || *v > max)
        return std::nullopt;
    return int(*v);
}

struct Reader {
    Subcommand s;
    const SubcommandInfo &info;
    Invocation &inv;
    bool comGiven = false;

    void option(const QString &name, const QString &value)
    {
        if (name == u"--com") {
            std::int32_t port = 0;
            try {
                port = analyzer::portTextToNumber(value);
            } catch (const EConvertError &) {
                port = -1;
            }
            if (port < analyzer::kFirstComPort || port > analyzer::kLastComPort)
                usage(s, QStringLiteral("--com takes a port number from %1 to %2, not '%3'")
                             .arg(analyzer::kFirstComPort)
                             .arg(analyzer::kLastComPort)
                             .arg(value));
            inv.com = port;
            comGiven = true;
        } else if (name == u"--model") {
            using reading::kModelNames;
            const auto m = std::find(kModelNames.begin(), kModelNames.end(), value.toUpper());
            if (m == kModelNames.end())
                usage(s, QStringLiteral("unknown model '%1'; the models are %2, %3 and %4")
                             .arg(value, kModelNames[0], kModelNames[1], kModelNames[2]));
            inv.model = analyzer::AnalyzerModel(m - kModelNames.begin());
        } else if (name == u"--format") {
            const qsizetype f = info.formats.indexOf(value);
            if (f < 0)
                usage(s, QStringLiteral("unknown format '%1'; the formats are %2").arg(value, info.formats.join(", ")));
            inv.format = value == u"csv" ? Format::Csv : value == u"json" ? Format::Json : Format::Text;
        } else if (name == u"--output") {
            if (value.isEmpty())
                usage(s, QStringLiteral("--output needs a file name"));
            inv.output = value;
        } else if (name == u"--idle") {
            const auto ms = decimalValue(value, 3);
            if (!ms || *ms < 1 || *ms > 3'600'000)
                usage(s, QStringLiteral("--idle takes seconds from 0.001 to 3600, not '%1'").arg(value));
            inv.idleMilliseconds = int(*ms);
        } else if (name == u"--series" || name == u"--parallel") {
            const auto n = wholeNumber(value, 1, 100'000);
            if (!n)
                usage(s, QStringLiteral("%1 takes a whole number from 1 to 100000, not '%2'").arg(name, value));
            (name == u"--series" ? inv.series : inv.parallel) = *n;
        } else if (name == u"--max-voltage-spread") {
            const auto uv = decimalValue(value, 6);
            if (!uv || *uv > 100'000'000)
                usage(s, QStringLiteral("--max-voltage-spread takes volts from 0 to 100, not '%1'").arg(value));
            inv.maxVoltageSpreadMicrovolts = *uv;
        }
    }

    void flag(const QString &name)
    {
        if (name == u"--yes")
            inv.yes = true;
        else if (name == u"--strict")
            inv.strict = true;
    }

    void finish()
    {
        if ((s == Subcommand::Download || s == Subcommand::ClearMemory) && !comGiven)
            usage(s, QStringLiteral("--com N is required"));
        if (info.takesFiles && inv.files.isEmpty())
            usage(s, QStringLiteral("at least one FILE is required"));
        if (s == Subcommand::Match) {
            if (inv.series == 0 || inv.parallel == 0)
                usage(s, QStringLiteral("--series S and --parallel P are required"));
            if (qint64(inv.series) * inv.parallel > 10'000'000)
                usage(s, QStringLiteral("a pack of more than 10000000 cells is not supported"));
        }
    }
};

} // namespace

const char *subcommandName(Subcommand s)
{
    const SubcommandInfo *info = infoOf(s);
    return info ? info->name : kProgram;
}

Invocation parseArguments(const QStringList &arguments)
{
    Invocation inv;
    if (arguments.isEmpty())
        usage(Subcommand::None, QStringLiteral("a subcommand is required: download, clear-memory, convert, stats or match"));
    const QString &first = arguments.front();
    if (first == u"--help" || first == u"-h" || first == u"help") {
        inv.help = true;
        if (first == u"help" && arguments.size() > 1) {
            for (const SubcommandInfo &info : subcommands())
                if (arguments[1] == QLatin1String(info.name))
                    inv.subcommand = info.subcommand;
        }
        return inv;
    }
    if (first == u"--version") {
        inv.version = true;
        return inv;
    }
    const SubcommandInfo *info = nullptr;
    for (const SubcommandInfo &candidate : subcommands())
        if (first == QLatin1String(candidate.name))
            info = &candidate;
    if (!info)
        usage(Subcommand::None, QStringLiteral("unknown subcommand '%1'").arg(first));
    inv.subcommand = info->subcommand;
    if (!info->formats.isEmpty())
        inv.format = info->formats.front() == u"csv" ? Format::Csv : Format::Text;

    // --help wins over every fault of the rest of the line.
    for (qsizetype i = 1; i < arguments.size() && arguments[i] != u"--"; ++i) {
        if (arguments[i] == u"--help" || arguments[i] == u"-h") {
            inv.help = true;
            return inv;
        }
    }

    Reader reader{inv.subcommand, *info, inv};
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (optionsEnded || !arg.startsWith(u'-') || arg == u"-") {
            if (!info->takesFiles)
                usage(inv.subcommand, QStringLiteral("unexpected argument '%1'").arg(arg));
            inv.files << arg;
            continue;
        }
        if (arg == u"--") {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = arg.indexOf(u'=');
        const QString name = equals < 0 ? arg : arg.left(equals);
        if (info->flagOptions.contains(name)) {
            if (equals >= 0)
                usage(inv.subcommand, QStringLiteral("%1 takes no value").arg(name));
            reader.flag(name);
        } else if (info->valueOptions.contains(name)) {
            QString value;
            if (equals >= 0)
                value = arg.mid(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                usage(inv.subcommand, QStringLiteral("%1 needs a value").arg(name));
            reader.option(name, value);
        } else {
            usage(inv.subcommand, QStringLiteral("unknown option '%1'").arg(name));
        }
    }
    reader.finish();
    return inv;
}

} // namespace cli
