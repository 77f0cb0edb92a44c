#pragma once

#include "link/protocol.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace cli {

enum class Subcommand { None, Download, ClearMemory, Convert, Stats, Match };
enum class Format { Text, Csv, Json };

// What the command line asks for. Fields that a subcommand does not take keep their defaults.
struct Invocation {
    Subcommand subcommand = Subcommand::None;
    bool help = false; // show the help of `subcommand` (the tool's own with None)
    bool version = false;

    int com = 0;
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
};

// Reads the arguments after the program name. Pure: it looks at nothing but its input.
// A wrong command line raises EUsageError whose text names the fault and ends with a line
// pointing at the right --help.
Invocation parseArguments(const QStringList &arguments);

const char *subcommandName(Subcommand s);

// The --help text of a subcommand, or of the tool with None.
QString helpText(Subcommand s);

} // namespace cli
