// Reading a command line by the table, and the help and completion made from it.
#include "cli/options/options.h"

#include "reading/decimal.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>

namespace cli {

namespace {

constexpr char kProgram[] = "battery-analyzer-cli";
constexpr qint64 kMaxPackCells = 10'000'000;

[[noreturn]] void usage(Subcommand s, const QString &text)
{
    if (s != Subcommand::None)
        refuseUsage(QString::fromLatin1(subcommandName(s)), text);
    throw EUsageError(QStringLiteral("%1\nTry '%2 --help'.").arg(text, QLatin1String(kProgram)));
}

// The parser reports its faults as sentences of its own; the tool's texts name the option.
QString parserFault(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().front();
        return QStringLiteral("unknown option '%1%2'").arg(name.size() == 1 ? "-" : "--", name);
    }
    static const QRegularExpression quoted(QStringLiteral("'([^'=]*)"));
    const QString error = parser.errorText();
    const QString option = quoted.match(error).captured(1);
    if (error.startsWith(u"Missing value"))
        return QStringLiteral("%1 needs a value").arg(option);
    if (error.startsWith(u"Unexpected value"))
        return QStringLiteral("%1 takes no value").arg(option);
    return error;
}

// True when --help or -h comes before any "--", even as another option's value.
bool asksForHelp(const QStringList &arguments)
{
    for (const QString &a : arguments) {
        if (a == u"--")
            return false;
        if (a == u"--help" || a == u"-h")
            return true;
    }
    return false;
}

// The row whose words begin the arguments, the longest such; the number of its words.
std::pair<const SubcommandRow *, qsizetype> rowNamed(const QStringList &arguments)
{
    std::pair<const SubcommandRow *, qsizetype> found{nullptr, 0};
    for (const SubcommandRow &sub : subcommandTable()) {
        const QStringList words = QString::fromLatin1(sub.name).split(u' ');
        if (words.size() > found.second && arguments.mid(0, words.size()) == words)
            found = {&sub, words.size()};
    }
    return found;
}

// "a, b or c"
QString oneOf(QStringList words)
{
    const QString last = words.takeLast();
    return words.isEmpty() ? last
                           : words.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

// The words an option takes in this subcommand; none for any value.
QStringList wordsOf(const SubcommandRow &sub, const OptionRow &o)
{
    if (o.id == Opt::Format)
        return sub.formats;
    const QString words = QString::fromLatin1(o.words);
    return words.startsWith(u'@') ? QStringList() : words.split(u' ', Qt::SkipEmptyParts);
}

// A value within the option's range or words, applied; the fault's text otherwise.
QString applyValue(Invocation &inv, const SubcommandRow &sub, const OptionRow &o,
                   const QString &value)
{
    const QString name = o.names.back();
    std::int64_t units = 0;
    if (const Range &r = o.range; r.unit) {
        const auto u = reading::decimalUnits(value, r.places);
        if (!u || *u < r.min || *u > r.max)
            return QStringLiteral("--%1 takes %2 from %3 to %4, not '%5'")
                .arg(name, QLatin1String(r.unit),
                     QString::fromLatin1(reading::decimalText({r.min, r.places})),
                     QString::fromLatin1(reading::decimalText({r.max, r.places})), value);
        units = *u;
    }
    if (const QStringList words = wordsOf(sub, o);
        !words.isEmpty() && !words.contains(value, Qt::CaseInsensitive))
        return QStringLiteral("--%1 takes %2, not '%3'").arg(name, oneOf(words), value);
    return o.apply(inv, value, units);
}

Invocation parseSubcommand(const SubcommandRow &sub, const QStringList &arguments)
{
    Invocation inv;
    inv.subcommand = sub.subcommand;
    if (!sub.formats.isEmpty())
        optionRow(Opt::Format).apply(inv, sub.formats.front(), 0);

    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version(QStringList{"V", "version"});
    parser.addOption(help);
    parser.addOption(version);
    for (const OptionUse &use : sub.options) {
        const OptionRow &o = optionRow(use.id);
        parser.addOption(QCommandLineOption(o.names, {}, QString::fromLatin1(o.valueName)));
    }
    const bool parsed = parser.parse(QStringList{kProgram} + arguments);
    if (parser.isSet(help) || asksForHelp(arguments)) {
        inv.help = true;
        return inv;
    }
    if (!parsed)
        usage(sub.subcommand, parserFault(parser));
    if (parser.isSet(version)) {
        inv.version = true;
        return inv;
    }
    for (const OptionUse &use : sub.options) {
        const OptionRow &o = optionRow(use.id);
        const QStringList values = *o.valueName
            ? parser.values(o.names.back())
            : QStringList(parser.isSet(o.names.back()) ? 1 : 0, {});
        for (const QString &value : values)
            if (const QString fault = applyValue(inv, sub, o, value); !fault.isEmpty())
                usage(sub.subcommand, fault);
        inv.given[std::size_t(use.id)] = !values.isEmpty();
    }
    inv.files = parser.positionalArguments();
    if (inv.has(Opt::Com) && inv.has(Opt::Port))
        usage(sub.subcommand, QStringLiteral("give --com N or --port PATH, not both"));
    if (inv.has(Opt::Cells) + inv.has(Opt::CellsFrom) + inv.has(Opt::FirstCell) > 1)
        usage(sub.subcommand,
              QStringLiteral("--cells, --cells-from and --first-cell exclude each other"));
    if (inv.rules.minMicrovolts && inv.rules.maxMicrovolts
        && *inv.rules.minMicrovolts > *inv.rules.maxMicrovolts)
        usage(sub.subcommand,
              QStringLiteral("--min-voltage is above --max-voltage: no cell "
                             "could pass"));
    if (qint64(inv.series) * inv.parallel > kMaxPackCells)
        usage(sub.subcommand,
              QStringLiteral("a pack of more than %1 cells is not supported").arg(kMaxPackCells));
    if (const QString fault = sub.check(inv); !fault.isEmpty())
        usage(sub.subcommand, fault);
    return inv;
}

QString optionNames(const OptionRow &o)
{
    QStringList names;
    for (const QString &n : o.names)
        names << (n.size() == 1 ? "-" : "--") + n;
    QString text = names.join(QStringLiteral(", "));
    if (*o.valueName)
        text += u' ' + QString::fromLatin1(o.valueName);
    // Long-only options line up with the long names of those that have a short one.
    return o.names.front().size() == 1 ? text : QStringLiteral("    ") + text;
}

QString formatsText(const QStringList &formats)
{
    return oneOf(formats) + QStringLiteral(" (default ") + formats.front() + u')';
}

QString optionList(const SubcommandRow &sub)
{
    struct Line {
        QString names;
        QString description;
    };
    const auto lineOf = [&](const OptionUse &use) {
        const OptionRow &o = optionRow(use.id);
        const char *d = use.description ? use.description : o.description;
        return Line{optionNames(o), d ? QString::fromUtf8(d) : formatsText(sub.formats)};
    };
    qsizetype width = 0;
    for (const OptionUse &use : sub.options)
        width = std::max(width, lineOf(use).names.size());
    QString text;
    const auto section = [&](const QString &heading, Source source, const QList<Line> &extra) {
        QList<Line> lines;
        for (const OptionUse &use : sub.options)
            if (use.source == source)
                lines << lineOf(use);
        lines << extra;
        if (lines.isEmpty())
            return;
        text += u'\n' + heading + u'\n';
        const QString indent(width + 4, u' ');
        for (const Line &l : lines)
            text += QStringLiteral("  ")
                + (l.names.size() > width ? l.names + u'\n' + indent
                                          : l.names.leftJustified(width + 2))
                + QString(l.description).replace(u'\n', u'\n' + indent) + u'\n';
    };
    // Descriptions start in one column; a longer name puts its description under it.
    width = std::clamp<qsizetype>(width, 17, 22);
    section(QStringLiteral("Options:"), Source::Any,
            {{QStringLiteral("-h, --help"), QStringLiteral("show this text")},
             {QStringLiteral("-V, --version"), QStringLiteral("show the tool's version")}});
    section(QStringLiteral("With reading files:"), Source::Files, {});
    section(QStringLiteral("With the cell register:"), Source::Register, {});
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
    return text + QStringLiteral(R"(
'battery-analyzer-cli help SUBCOMMAND' or 'battery-analyzer-cli SUBCOMMAND --help' describes
each; --version shows the tool's version. Tables and results go to standard output, messages
to standard error.
)");
}

} // namespace

void refuseUsage(const QString &subcommand, const QString &text)
{
    throw EUsageError(
        QStringLiteral("%1: %2\nTry 'battery-analyzer-cli %1 --help'.").arg(subcommand, text));
}

const char *subcommandName(Subcommand s)
{
    const SubcommandRow *sub = subcommandRow(s);
    return sub ? sub->name : kProgram;
}

QString subcommandList()
{
    QStringList names;
    for (const SubcommandRow &sub : subcommandTable())
        if (!QByteArray(sub.name).contains(' '))
            names << QString::fromLatin1(sub.name);
    return oneOf(names);
}

Invocation parseArguments(const QStringList &arguments)
{
    Invocation inv;
    if (arguments.isEmpty())
        usage(Subcommand::None, QStringLiteral("a subcommand is required: ") + subcommandList());
    const QString &first = arguments.front();
    if (first == u"--help" || first == u"-h" || first == u"help") {
        inv.help = true;
        if (const auto [sub, words] = rowNamed(arguments.mid(1)); first == u"help" && sub)
            inv.subcommand = sub->subcommand;
        return inv;
    }
    if (first == u"--version" || first == u"-V") {
        inv.version = true;
        return inv;
    }
    const auto [sub, words] = rowNamed(arguments);
    if (!sub)
        usage(Subcommand::None, QStringLiteral("unknown subcommand '%1'").arg(first));
    return parseSubcommand(*sub, arguments.mid(words));
}

QString helpText(Subcommand s)
{
    const SubcommandRow *sub = subcommandRow(s);
    if (!sub)
        return toolHelp();
    return QStringLiteral("Usage: battery-analyzer-cli %1 %2\n\n%3\n")
               .arg(QLatin1String(sub->name), QLatin1String(sub->synopsis), sub->description)
        + optionList(*sub);
}

QStringList completionWords(const QStringList &before, const QString &current)
{
    QStringList words;
    const auto [sub, named] = rowNamed(before.mid(before.value(0) == u"help" ? 1 : 0));
    if (before.isEmpty() || before.front() == u"help") {
        if (before.size() > 1 && sub)
            return QString::fromLatin1(sub->words)
                .split(u' ', Qt::SkipEmptyParts)
                .filter(QRegularExpression(QStringLiteral("^[a-z]")));
        for (const SubcommandRow &row : subcommandTable())
            if (!QByteArray(row.name).contains(' '))
                words << QString::fromLatin1(row.name);
        return before.isEmpty() ? words + QStringList{"help", "--help", "--version"} : words;
    }
    if (!sub)
        return {};
    if (const OptionRow *o = nullptr; before.size() > named) {
        for (const OptionUse &use : sub->options)
            for (const QString &n : optionRow(use.id).names)
                if (before.back() == (n.size() == 1 ? "-" : "--") + n)
                    o = &optionRow(use.id);
        if (o && *o->valueName)
            return o->id == Opt::Format
                ? sub->formats
                : QString::fromLatin1(o->words).split(u' ', Qt::SkipEmptyParts);
    }
    if (current.startsWith(u'-')) {
        for (const OptionUse &use : sub->options)
            words << QStringLiteral("--") + optionRow(use.id).names.back();
        return words << QStringLiteral("--help");
    }
    // ports assign N DEVICE
    if (sub->subcommand == Subcommand::Ports)
        return before.size() == 1 ? QStringList{"assign"}
            : before.size() == 3  ? QStringList{"@device"}
                                  : QStringList{};
    if (sub->subcommand == Subcommand::Pack && before.size() > 1)
        return {};
    return QString::fromLatin1(sub->words).split(u' ', Qt::SkipEmptyParts);
}

} // namespace cli
