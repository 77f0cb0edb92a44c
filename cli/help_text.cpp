#include "cli/arguments.h"

namespace cli {

namespace {

constexpr char kExitCodes[] = R"(
Exit codes:
  0    done
  1    a file cannot be read or written
  2    bad arguments
  3    a line is not a reading (--strict), or the files hold no reading
  4    the analyzer holds no readings (download)
  5    the port cannot be opened or written, its device went away, the analyzer did not
       answer, or a received block could not be read; what arrived is still written
  6    too few cells lie within the voltage window (match)
  7    clearing the memory was not confirmed (clear-memory)
  130  interrupted by Ctrl+C; what had arrived is still written
)";

QString optionNames(const OptionSpec &o)
{
    QStringList names;
    for (const QString &n : o.names)
        names << (n.size() == 1 ? "-" : "--") + n;
    QString text = names.join(QStringLiteral(", "));
    if (!o.valueName.isEmpty())
        text += u' ' + o.valueName;
    // Long-only options line up with the long names of those that have a short one.
    return o.names.front().size() == 1 ? text : QStringLiteral("    ") + text;
}

QString optionList(std::vector<OptionSpec> options)
{
    options.push_back({{"h", "help"}, {}, "show this text", nullptr});
    options.push_back({{"V", "version"}, {}, "show the tool's version", nullptr});
    qsizetype width = 0;
    for (const OptionSpec &o : options)
        width = std::max(width, optionNames(o).size());
    QString text = QStringLiteral("Options:\n");
    for (const OptionSpec &o : options) {
        const QString indent(width + 4, u' ');
        text += QStringLiteral("  ") + optionNames(o).leftJustified(width + 2) +
                QString(o.description).replace(u'\n', u'\n' + indent) + u'\n';
    }
    return text;
}

QString toolHelp()
{
    QString text = QStringLiteral(R"(Usage: battery-analyzer-cli SUBCOMMAND [OPTIONS]

The battery analyzer from the command line: download its readings, clear its memory, and
turn saved reading files into tables, statistics and matched packs.

Subcommands:
)");
    for (const SubcommandSpec &spec : subcommandSpecs())
        text += QStringLiteral("  %1%2\n").arg(QString::fromLatin1(spec.name).leftJustified(14), spec.summary);
    return text + QStringLiteral(R"(
'battery-analyzer-cli SUBCOMMAND --help' describes each; --version shows the tool's version.
Tables and results go to standard output, messages to standard error.
)");
}

} // namespace

QString helpText(Subcommand s)
{
    QString text = toolHelp();
    for (const SubcommandSpec &spec : subcommandSpecs()) {
        if (spec.subcommand == s)
            text = QStringLiteral("Usage: battery-analyzer-cli %1 %2\n\n%3\n\n")
                       .arg(QLatin1String(spec.name), QLatin1String(spec.synopsis),
                            QString::fromUtf8(spec.description)) +
                   optionList(spec.options);
    }
    return text + QLatin1String(kExitCodes);
}

} // namespace cli
