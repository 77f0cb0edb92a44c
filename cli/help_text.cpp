#include "cli/arguments.h"

namespace cli {

namespace {

constexpr char kExitCodes[] = R"(
Exit codes:
  0    done
  1    a file cannot be read or written
  2    bad arguments
  3    a line is not a reading (--strict), or the files hold no reading
  4    the analyzer holds no readings (download, record)
  5    the port cannot be opened or written, its device went away, the analyzer did not
       answer, a received block could not be read, or bytes were lost or added on the
       line; what arrived is still written
  6    too few cells lie within the voltage window (match)
  7    clearing the memory was not confirmed (clear-memory)
  130  interrupted by Ctrl+C; what had arrived is still written
)";

struct SubcommandSummary {
    const char *name;
    const char *summary;
};

// The subcommands that read their own command lines (the cell register's and the pictures'):
// the parser here does not know them, but the tool's help names every subcommand.
constexpr SubcommandSummary kOwnParsers[] = {
    {"record", "store readings from the analyzer or files as measurements of labelled cells"},
    {"capacity", "import the cells' capacities from a spreadsheet's CSV"},
    {"cells", "one row per cell of the register: latest values, self-discharge, verdict"},
    {"cell", "the history of one cell"},
    {"pack", "the saved packs: list, show, replace a failed cell"},
    {"export", "every measurement in the register, one row each"},
    {"report", "one HTML page about a batch: counts, statistics, charts, a matched pack"},
    {"labels", "a label for each cell, for a label printer"},
};

QString optionNames(const OptionEntry &o)
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

QString optionList(std::vector<OptionEntry> options)
{
    options.push_back({{"h", "help"}, {}, "show this text", nullptr});
    options.push_back({{"V", "version"}, {}, "show the tool's version", nullptr});
    qsizetype width = 0;
    for (const OptionEntry &o : options)
        width = std::max(width, optionNames(o).size());
    QString text = QStringLiteral("Options:\n");
    for (const OptionEntry &o : options) {
        const QString indent(width + 4, u' ');
        text += QStringLiteral("  ") + optionNames(o).leftJustified(width + 2)
            + QString(o.description).replace(u'\n', u'\n' + indent) + u'\n';
    }
    return text;
}

QString toolHelp()
{
    QString text = QStringLiteral(R"(Usage: battery-analyzer-cli SUBCOMMAND [OPTIONS]

The battery analyzer from the command line: download its readings, clear its memory, and
turn saved reading files into tables, statistics and matched packs; keep every cell by its
label in a register; draw a batch's report and its labels.

Subcommands:
)");
    for (const SubcommandRow &sub : subcommandTable())
        text += QStringLiteral("  %1%2\n")
                    .arg(QString::fromLatin1(sub.name).leftJustified(14), sub.summary);
    text += QStringLiteral("  %1%2\n")
                .arg(QStringLiteral("match --db").leftJustified(14),
                     QStringLiteral(
                         "match the register's cells, capacity sums first when all have one"));
    for (const SubcommandSummary &other : kOwnParsers)
        text += QStringLiteral("  %1%2\n")
                    .arg(QString::fromLatin1(other.name).leftJustified(14), other.summary);
    return text + QStringLiteral(R"(
'battery-analyzer-cli SUBCOMMAND --help' describes each; --version shows the tool's version.
Tables and results go to standard output, messages to standard error.
)");
}

// The register's codes, which only the tool's own help lists beside the common ones.
constexpr char kRegisterExitCodes[] =
    R"(  8    the cell register cannot be opened, read or written (the register's subcommands)
  9    readings and cell labels differ in number; nothing stored (record)
  10   an unknown or repeated cell label or pack name (the register's subcommands)
)";

} // namespace

QString subcommandList()
{
    QStringList names;
    for (const SubcommandRow &sub : subcommandTable())
        names << QString::fromLatin1(sub.name);
    for (const SubcommandSummary &other : kOwnParsers)
        names << QString::fromLatin1(other.name);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

QString helpText(Subcommand s)
{
    QString text = toolHelp();
    for (const SubcommandRow &sub : subcommandTable()) {
        if (sub.subcommand == s)
            text = QStringLiteral("Usage: battery-analyzer-cli %1 %2\n\n%3\n\n")
                       .arg(QLatin1String(sub.name), QLatin1String(sub.synopsis),
                            QString::fromUtf8(sub.description))
                + optionList(sub.options);
    }
    text += QLatin1String(kExitCodes);
    if (s == Subcommand::None) {
        // Before the last line, 130, so that the codes stay in order.
        const qsizetype last = text.lastIndexOf(QStringLiteral("\n  130 ")) + 1;
        text.insert(last, QLatin1String(kRegisterExitCodes));
    }
    return text;
}

} // namespace cli
