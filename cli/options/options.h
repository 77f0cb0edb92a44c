#pragma once

#include "analysis/verdict.h"
#include "cli/tables/table_writer.h"
#include "core/error.h"
#include "link/protocol.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

// The command line is wrong; the message says how.
CORE_DECLARE_ERROR(EUsageError);

// Every subcommand's command line, read from one table. Pure: parsing looks at nothing but
// its input.
namespace cli {

using tables::Format;

enum class Subcommand {
    None,
    Download,
    ClearMemory,
    Convert,
    Stats,
    Match,
    Ports,
    Record,
    Capacity,
    Cells,
    Cell,
    Pack,
    PackList,
    PackShow,
    PackReplace,
    PackDelete,
    CellRetire,
    CellRestore,
    CellRelabel,
    CellMerge,
    Runs,
    Undo,
    Serve,
    Export,
    Report,
    Labels
};

enum class Opt {
    Com,
    Port,
    Model,
    Format,
    Output,
    Idle,
    Yes,
    Strict,
    Series,
    Parallel,
    VoltageSpread,
    Prefer,
    Verbose,
    MaxResistance,
    MaxSelfDischarge,
    MinCapacity,
    MinDays,
    MinVoltage,
    MaxVoltage,
    Db,
    LockWait,
    Cells,
    CellsFrom,
    FirstCell,
    At,
    RestStart,
    SkipUnknown,
    Only,
    SavePack,
    Pack,
    Apply,
    Language,
    Open,
    Size,
    Fields,
    Reason,
    KeepRemoved,
    LabelColumn,
    CapacityColumn,
    Repeated,
    CapacityTolerance,
    WithoutCapacity,
    Listen,
    AllowActions,
    Count
};

// What the command line asks for. Fields that a subcommand does not take keep their defaults.
struct Invocation {
    Subcommand subcommand = Subcommand::None;
    bool help = false; // show the help of `subcommand` (the tool's own with None)
    bool version = false;
    std::bitset<std::size_t(Opt::Count)> given;
    bool has(Opt o) const { return given[std::size_t(o)]; }
    // --cells or --cells-from
    bool namesCells() const { return has(Opt::Cells) || has(Opt::CellsFrom); }

    int com = 0;
    QString portPath; // --port, or the DEVICE of `ports assign`; empty: COM com
    bool assignPort = false; // ports assign N DEVICE
    analyzer::AnalyzerModel model = analyzer::AnalyzerModel::RM40A;
    Format format = Format::Text;
    QString output; // empty: standard output
    int idleMilliseconds = 2000;
    bool yes = false;
    QStringList files; // the words after the options
    bool strict = false;

    int series = 0;
    int parallel = 0;
    std::int64_t maxVoltageSpreadMicrovolts = 50'000;
    bool preferLow = false;
    bool verbose = false;
    analysis::Rules rules;

    bool fromRegister = false; // the cells come from the cell register, not from files
    QString db; // empty: BATTERY_ANALYZER_DB or the default file
    int lockWaitMilliseconds = 10'000;
    QString cellRange; // --cells A001..A020,A031
    QString cellsFrom; // --cells-from FILE: labels one a line
    QString firstCell;
    std::optional<QDateTime> at; // UTC
    bool restStart = false;
    bool skipUnknown = false;
    std::optional<bool> onlyPassing; // --only pass (true) or fail (false)
    QString savePack;
    QString pack; // --pack, or the NAME of `pack show` and `pack replace`
    QString label; // the LABEL of `cell` and `pack replace`
    bool apply = false;
    bool chinese = false;
    bool open = false;
    double labelWidthMm = 62;
    double labelHeightMm = 29;
    QStringList labelFields; // --fields, in the user's order; empty: the default
    QString reason; // why a cell is retired
    QString newLabel; // of `cell relabel`; the cell joined into LABEL by `cell merge`
    bool keepRemoved = false; // a cell taken out of a pack goes back in stock
    QString labelColumn, capacityColumn; // of a capacity file; empty: the usual names
    bool lastWins = false; // a label repeated in a capacity file: the last one counts
    std::int64_t capacityToleranceMillipercent = 100; // of the mean group capacity: 0.1 %
    bool refuseWithoutCapacity = false; // rather than leave such cells out of the match
    qint64 run = 0; // of `undo`
    QString listen; // serve --listen ADDRESS:PORT; empty: loopback, port 8080
    bool allowActions = false;
};

// Whether an option applies to cells from reading files, from the register, or either.
enum class Source { Any, Files, Register };

// The numbers an option takes: decimals with at most `places` places, from min to max in
// 10^-places units.
struct Range {
    const char *unit = nullptr; // none: the option takes no number
    int places = 0;
    std::int64_t min = 0;
    std::int64_t max = 0;
};

// One option: what the parser accepts, what the help and the completion say, and how its
// value lands in the invocation.
struct OptionRow {
    Opt id;
    QStringList names; // a one-letter name is the short form
    const char *valueName; // empty: a flag
    const char *description; // lines after the first are indented under it
    // The only words the option takes, in any case; or what completion offers: @file, @device.
    const char *words;
    Range range;
    // Stores a value that is within the range and the words (a number in 10^-places units);
    // returns the fault's text when it is no good still. A flag is applied with no value.
    QString (*apply)(Invocation &inv, const QString &value, std::int64_t units);
};

// An option as one subcommand takes it: its own description where the common one is not
// enough.
struct OptionUse {
    Opt id;
    const char *description = nullptr;
    Source source = Source::Any;
};

struct SubcommandRow {
    Subcommand subcommand;
    const char *name; // "pack replace": the words that name it
    const char *synopsis; // the usage lines after the name
    const char *summary; // one line for the tool's own help
    QString description; // the paragraphs under the usage line
    QStringList formats; // the first is the default
    std::vector<OptionUse> options;
    // What the options and words together must satisfy, completing the invocation from the
    // words; returns the fault's text or empty.
    QString (*check)(Invocation &inv);
    const char *words; // what completion offers for words: @file, words, or nothing
};

const std::vector<OptionRow> &optionTable();
const OptionRow &optionRow(Opt id);
const std::vector<SubcommandRow> &subcommandTable();
const SubcommandRow *subcommandRow(Subcommand s);

// Reads the arguments after the program name. A wrong command line raises EUsageError whose
// text names the fault and ends with a line pointing at the right --help. --help wins over
// every other fault.
Invocation parseArguments(const QStringList &arguments);

// "pack replace"; the tool's name for None.
const char *subcommandName(Subcommand s);
// The names of the tool's subcommands, "download, clear-memory, … or labels".
QString subcommandList();

// The --help text of a subcommand, or of the tool with None, without the exit codes, which
// the caller appends.
QString helpText(Subcommand s);

// The words bash may offer after `before` for the word `current`, one a line; "@file" and
// "@device" ask for file names.
QStringList completionWords(const QStringList &before, const QString &current);

// The rules on the command line; none when it gives no rule, so that a saved pack's own apply.
std::optional<analysis::Rules> givenRules(const Invocation &inv);

// Raises EUsageError: "NAME: TEXT" and a line pointing at the subcommand's --help.
[[noreturn]] void refuseUsage(const QString &subcommand, const QString &text);

// A COM number as the window's field reads it, or written "COM3" / "com 3"; none when it
// is no port number in range.
std::optional<int> comNumber(const QString &text);

// The model named "RM-40B" or "rm-40b"; none for any other name.
std::optional<analyzer::AnalyzerModel> modelNamed(const QString &name);

} // namespace cli
