#pragma once

#include "cli/tables/table_writer.h"
#include "link/protocol.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace cli {

enum class Subcommand { None, Download, ClearMemory, Convert, Stats, Match, Ports };
using tables::Format;

// What the command line asks for. Fields that a subcommand does not take keep their defaults.
struct Invocation {
    Subcommand subcommand = Subcommand::None;
    bool help = false; // show the help of `subcommand` (the tool's own with None)
    bool version = false;

    int com = 0;
    QString portPath; // --port, or the DEVICE of `ports assign`; empty: COM com
    bool assignPort = false; // ports assign N DEVICE
    analyzer::AnalyzerModel model = analyzer::AnalyzerModel::RM40A;
    Format format = Format::Text;
    QString output; // empty: standard output
    int idleMilliseconds = 2000;
    bool yes = false;

    QStringList files;
    bool strict = false;
    int series = 0;
    int parallel = 0;
    std::int64_t maxVoltageSpreadMicrovolts = 50'000;
    std::int64_t maxResistanceMicroohms = 0; // 0: no limit
    bool preferLow = false;
    bool verbose = false;
};

// One option of a subcommand: what the parser accepts, what the help says, and how its
// value lands in the invocation. `apply` returns the fault's text, empty when the value is
// good; a flag (no valueName) is applied with an empty value.
struct OptionEntry {
    QStringList names; // a one-letter name is the short form
    QString valueName;
    QString description; // lines after the first are indented under it
    QString (*apply)(Invocation &inv, const QString &value);
};

struct SubcommandRow {
    Subcommand subcommand;
    const char *name;
    const char *synopsis; // the usage line after the subcommand's name
    const char *summary; // one line for the tool's own help
    const char *description; // the paragraph under the usage line
    bool takesFiles; // or other words after the options, read by check
    std::vector<OptionEntry> options;
    // What the options and words together must satisfy, completing the invocation from the
    // words; returns the fault's text or empty.
    QString (*check)(Invocation &inv);
};

const std::vector<SubcommandRow> &subcommandTable();

// Reads the arguments after the program name. Pure: it looks at nothing but its input.
// A wrong command line raises EUsageError whose text names the fault and ends with a line
// pointing at the right --help. --help wins over every other fault.
Invocation parseArguments(const QStringList &arguments);

const char *subcommandName(Subcommand s);

// A COM number as the window's field reads it, or written "COM3" / "com 3"; none when it
// is no port number in range.
std::optional<int> comNumber(const QString &text);

// The model named "RM-40B" or "rm-40b"; none for any other name, which unknownModelText
// refuses in the tool's words.
std::optional<analyzer::AnalyzerModel> modelNamed(const QString &name);
QString unknownModelText(const QString &name);

// The --help text of a subcommand, or of the tool with None: made from the option table,
// with the exit codes at its end.
QString helpText(Subcommand s);
// Every subcommand's name, "download, clear-memory, … or labels".
QString subcommandList();

} // namespace cli
