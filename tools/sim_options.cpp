#include "sim_options.h"

#include "link/port_text.h"

#include <QCommandLineParser>
#include <QStringList>
#include <stdexcept>

namespace sim {

namespace {

struct OptionRow {
    const char *name;
    const char *valueName; // empty: a flag
    const char *description;
};

const OptionRow kOptions[] = {
    {"ports", "FOLDER",
     "the port folder, e.g. ~/.config/battery-analyzer/ports (created if missing)"},
    {"com", "N", "the COM port number to appear as, 1 to 255"},
    {"readings", "FILE",
     "the memory holds the records of FILE: one record a line, six bytes in\n"
     "hexadecimal (\"07 05 02 37 10 1B\"); \"#\" starts a comment"},
    {"generate", "N",
     "the memory holds N generated readings, every range code and both\nvoltage scales"},
    {"empty", "",
     "the memory is empty: a download gets the no-data reply\n"
     "(without any of these three: twenty typical readings)"},
    {"full-speed", "",
     "send as fast as the reader takes the bytes, instead of at the line rate\n"
     "of 2400 baud (about 4.2 ms a byte)"},
    {"help", "", "show this text"},
};

long wholeNumber(const QString &option, const QString &text, long min, long max)
{
    bool ok = false;
    const long value = text.toLong(&ok, 10);
    if (!ok || text.startsWith(u'+') || value < min || value > max)
        throw std::invalid_argument(
            QStringLiteral("--%1 takes a whole number from %2 to %3, not '%4'")
                .arg(option)
                .arg(min)
                .arg(max)
                .arg(text)
                .toStdString());
    return value;
}

// The parser's sentences, in the words the simulator has always used.
std::string parserFault(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().front();
        return "unknown option '" + std::string(name.size() == 1 ? "-" : "--") + name.toStdString()
            + "'";
    }
    const QString error = parser.errorText();
    const QString option = error.section(u'\'', 1, 1).section(u'=', 0, 0);
    if (error.startsWith(u"Missing value"))
        return option.toStdString() + " needs a value";
    return option.toStdString() + " takes no value";
}

} // namespace

Options parseOptions(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
    for (const OptionRow &row : kOptions)
        if (QLatin1String(row.name) != u"help")
            parser.addOption(QCommandLineOption(QString::fromLatin1(row.name), QString(),
                                                QString::fromLatin1(row.valueName)));
    const bool parsed = parser.parse(arguments);

    Options o;
    o.help = parser.isSet("help");
    if (o.help)
        return o;
    if (!parsed)
        throw std::invalid_argument(parserFault(parser));
    if (!parser.positionalArguments().isEmpty())
        throw std::invalid_argument("unexpected argument '"
                                    + parser.positionalArguments().front().toStdString() + "'");
    o.portsFolder = parser.value("ports").toStdString();
    if (parser.isSet("com"))
        o.com = int(wholeNumber("com", parser.value("com"), analyzer::kFirstComPort,
                                analyzer::kLastComPort));
    int memoryChoices = 0;
    if (parser.isSet("readings")) {
        o.memory = Options::Memory::File;
        o.readingsFile = parser.value("readings").toLocal8Bit().toStdString();
        ++memoryChoices;
    }
    if (parser.isSet("generate")) {
        o.memory = Options::Memory::Generated;
        o.generated = wholeNumber("generate", parser.value("generate"), 0, 100'000'000);
        ++memoryChoices;
    }
    if (parser.isSet("empty")) {
        o.memory = Options::Memory::Empty;
        ++memoryChoices;
    }
    o.fullSpeed = parser.isSet("full-speed");
    if (o.portsFolder.empty())
        throw std::invalid_argument("--ports FOLDER is required");
    if (o.com == 0)
        throw std::invalid_argument("--com N is required");
    if (memoryChoices > 1)
        throw std::invalid_argument("choose at most one of --readings, --generate and --empty");
    return o;
}

std::string helpText()
{
    std::string text =
        R"(Usage: analyzer-sim --ports FOLDER --com N [--readings FILE | --generate N | --empty]
                    [--full-speed]

A simulated battery analyzer on a pseudo-terminal. It creates the entry comN in FOLDER as a
link to the pseudo-terminal, so that a program that looks up COM N in FOLDER reaches it,
prints the pseudo-terminal's path on standard output, and answers the analyzer's commands
until it receives SIGINT or SIGTERM; it then removes the entry and exits.

)";
    for (const OptionRow &row : kOptions) {
        std::string names =
            std::string("--") + row.name + (*row.valueName ? " " : "") + row.valueName;
        names.resize(17, ' ');
        std::string description = row.description;
        for (std::size_t at = description.find('\n'); at != std::string::npos;
             at = description.find('\n', at + 1))
            description.insert(at + 1, 19, ' ');
        text += "  " + names + description + '\n';
    }
    return text + R"(
Commands: "S","K" sends one six-byte record per reading, or the no-data reply when the
memory is empty; "S","U" empties the memory; "S","E" and "S","T" are accepted silently.
Every command received is logged to standard error.
)";
}

} // namespace sim
