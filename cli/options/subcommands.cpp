// The subcommands: their words, help and what their options must satisfy together.
#include "cli/options/options.h"

#include "link/port_text.h"

namespace cli {

namespace {

using O = Opt;
using S = Subcommand;

QString noWords(Invocation &inv)
{
    return inv.files.isEmpty() ? QString()
                               : QStringLiteral("unexpected argument '%1'").arg(inv.files.front());
}

QString needsPort(Invocation &inv)
{
    if (!inv.has(O::Com) && !inv.has(O::Port))
        return QStringLiteral("--com N or --port PATH is required");
    return noWords(inv);
}

QString needsFiles(Invocation &inv)
{
    return inv.files.isEmpty() ? QStringLiteral("at least one FILE is required") : QString();
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

// The options of one source given to a subcommand reading the other.
QString wrongSource(const Invocation &inv)
{
    for (const OptionUse &use : subcommandRow(inv.subcommand)->options) {
        if (!inv.has(use.id) || use.source == Source::Any)
            continue;
        const QString name = optionRow(use.id).names.back();
        if (use.source == Source::Files && inv.fromRegister)
            return QStringLiteral("--%1 needs reading files, not the cell register").arg(name);
        if (use.source == Source::Register && !inv.fromRegister)
            return QStringLiteral("--%1 needs the cell register, not reading files").arg(name);
    }
    return {};
}

QString checkMatch(Invocation &inv)
{
    if (inv.fromRegister && !inv.files.isEmpty())
        return QStringLiteral("--db and reading files exclude each other");
    if (!inv.fromRegister && inv.files.isEmpty())
        return needsFiles(inv);
    if (!inv.has(O::Series) || !inv.has(O::Parallel))
        return QStringLiteral("--series S and --parallel P are required");
    return wrongSource(inv);
}

QString checkRecord(Invocation &inv)
{
    const bool fromAnalyzer = inv.has(O::Com) || inv.has(O::Port);
    if (fromAnalyzer == !inv.files.isEmpty())
        return fromAnalyzer
            ? QStringLiteral("--com or --port and files do not go together")
            : QStringLiteral("--com N, --port PATH or at least one FILE is required");
    if (!inv.namesCells() && !inv.has(O::FirstCell))
        return QStringLiteral(
            "one of --cells A001..A020, --cells-from FILE and --first-cell A001 is required");
    // The model sets the resistance scale; a wrong guess stores every reading ten times off.
    if (fromAnalyzer && !inv.has(O::Model))
        return QStringLiteral("--model M is required with --com or --port: the analyzer's model "
                              "sets the scale of every resistance stored");
    return {};
}

QString checkCapacity(Invocation &inv)
{
    return inv.files.size() == 1 ? QString() : QStringLiteral("one FILE.csv is required");
}

QString checkCell(Invocation &inv)
{
    inv.label = inv.files.value(0);
    return inv.files.size() == 1 ? QString() : QStringLiteral("one LABEL is required");
}

QString checkPack(Invocation &)
{
    return QStringLiteral("pack takes list, show NAME, replace NAME LABEL or delete NAME");
}

QString checkRelabel(Invocation &inv)
{
    inv.label = inv.files.value(0);
    inv.newLabel = inv.files.value(1);
    return inv.files.size() == 2 && !inv.newLabel.trimmed().isEmpty()
        ? QString()
        : QStringLiteral("LABEL and NEW_LABEL are required");
}

QString checkMerge(Invocation &inv)
{
    inv.label = inv.files.value(0);
    inv.newLabel = inv.files.value(1);
    return inv.files.size() == 2 ? QString() : QStringLiteral("LABEL and TWIN are required");
}

QString checkUndo(Invocation &inv)
{
    bool ok = false;
    inv.run = inv.files.value(0).toLongLong(&ok);
    return inv.files.size() == 1 && ok && inv.run > 0
        ? QString()
        : QStringLiteral("one RUN is required: its number as runs lists it");
}

QString checkPackShow(Invocation &inv)
{
    inv.pack = inv.files.value(0);
    return inv.files.size() == 1 ? QString() : QStringLiteral("one NAME is required");
}

QString checkPackReplace(Invocation &inv)
{
    inv.pack = inv.files.value(0);
    inv.label = inv.files.value(1);
    return inv.files.size() == 2 ? QString() : QStringLiteral("NAME and LABEL are required");
}

// report and labels: cells from files, or from the register with --db or when no FILE is given.
QString checkPicture(Invocation &inv)
{
    const bool labels = inv.subcommand == S::Labels;
    if (inv.fromRegister && !inv.files.isEmpty())
        return QStringLiteral("--db and reading files exclude each other");
    inv.fromRegister = inv.files.isEmpty();
    if (QString fault = wrongSource(inv); !fault.isEmpty())
        return fault;
    if (labels && !inv.fromRegister && !inv.namesCells() && !inv.has(O::FirstCell))
        return QStringLiteral("--cells A001..A020, --cells-from FILE or --first-cell A001 is "
                              "required: a label's code is its cell's name");
    if (inv.has(O::Series) != inv.has(O::Parallel))
        return QStringLiteral("--series S and --parallel P go together");
    if (inv.namesCells() && inv.has(O::Pack))
        return QStringLiteral("--cells or --cells-from and --pack exclude each other");
    if (labels && inv.fromRegister && !inv.namesCells() && !inv.has(O::Pack) && !inv.has(O::Only))
        return QStringLiteral(
            "--cells A001..A020, --cells-from FILE, --pack NAME or --only pass|fail is required");
    if (labels && inv.output.isEmpty())
        return QStringLiteral("--output FILE is required");
    if (inv.open && inv.output.isEmpty())
        return QStringLiteral("--open needs --output FILE");
    return {};
}

const std::vector<OptionUse> kRegister{{O::Db}, {O::LockWait}};

std::vector<OptionUse> operator+(std::vector<OptionUse> a, const std::vector<OptionUse> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The rules a cell must pass; with files only the resistance is known.
std::vector<OptionUse> rules(Source rest)
{
    return {{O::MaxResistance},
            {O::MaxSelfDischarge, nullptr, rest},
            {O::MinCapacity, nullptr, rest},
            {O::MinDays, nullptr, rest},
            {O::MinVoltage, nullptr, rest},
            {O::MaxVoltage, nullptr, rest}};
}

// The cells of report and labels, from files or from the register.
const std::vector<OptionUse> kPictureCells{
    {O::Cells,
     "name the cells in order, like A001..A020,A031; from the register,\n"
     "only these cells"},
    {O::CellsFrom},
    {O::FirstCell, nullptr, Source::Files},
    {O::Series, "match a pack of S groups of P cells from the passing cells, as\nmatch does",
     Source::Files},
    {O::Parallel, nullptr, Source::Files},
    {O::VoltageSpread, nullptr, Source::Files},
    {O::Strict, nullptr, Source::Files},
    {O::Pack, nullptr, Source::Register},
    {O::Db, nullptr, Source::Register},
    {O::LockWait, nullptr, Source::Register}};

std::vector<OptionUse> pictureOptions(const std::vector<OptionUse> &own)
{
    return own + kPictureCells + rules(Source::Register);
}

const char kPictureSources[] =
    "\n\nCells come from reading files, or from the cell register with --db or when no FILE\n"
    "is given; the options listed under one source take only that one.";

} // namespace

const std::vector<SubcommandRow> &subcommandTable()
{
    constexpr Source F = Source::Files, R = Source::Register;
    static const std::vector<SubcommandRow> rows{
        {S::Download,
         "download",
         "--com N|--port PATH [OPTIONS]",
         "download the analyzer's stored readings",
         R"(Opens COM N as the program's window does (the port folder
~/.config/battery-analyzer/ports/comN, otherwise /dev/ttyS<N-1>; 2400 baud, 8N1), sends
Connect and Download, collects readings until S seconds pass with nothing received, then
sends Disconnect and closes the port (--port PATH opens that device instead). On a
terminal, standard error shows a running count.
Ctrl+C ends the download the same way; what arrived is still written.)",
         {"text", "csv", "json"},
         {{O::Com},
          {O::Port},
          {O::Model},
          {O::Format,
           "text: the bytes the window's Save writes (GBK, CR LF; default)\n"
           "csv:  group,resistance_ohm,voltage_v,resistance_text,voltage_text\n"
           "json: an array of objects with the same fields"},
          {O::Output},
          {O::Idle}},
         needsPort,
         ""},
        {S::ClearMemory,
         "clear-memory",
         "--com N|--port PATH [--yes]",
         "erase the readings stored in the analyzer",
         R"(Erases the readings stored in the analyzer on COM N (or the device PATH): sends Connect,
Clear Memory and Disconnect. This cannot be undone, so without --yes it asks on the
terminal first and refuses when there is no terminal to ask.)",
         {},
         {{O::Com}, {O::Port}, {O::Yes}},
         needsPort,
         ""},
        {S::Convert,
         "convert",
         "FILE... [OPTIONS]",
         "turn reading files into CSV or JSON",
         R"(Reads files as the window opens them (GBK text, any line breaks, any size; a file
holding a NUL byte is refused) and turns every reading line into a row with its
resistance in ohms and voltage in volts, exact as shown (056.7mΩ gives 0.0567). A line
that is not a reading is reported on standard error as FILE:LINE: not a reading: ... and
skipped; empty lines are skipped silently.)",
         {"csv", "json", "text"},
         {{O::Format,
           "csv:  file,line,group,resistance_ohm,voltage_v,resistance_text,voltage_text\n"
           "      (default)\n"
           "json: an array of objects with the same fields\n"
           "text: the reading lines as the window saves them (GBK, CR LF)"},
          {O::Output},
          {O::Strict}},
         needsFiles,
         "@file"},
        {S::Stats,
         "stats",
         "FILE... [OPTIONS]",
         "summarise the readings of files",
         R"(Summarises the readings of the files: their count, and the minimum, maximum, mean, median
and standard deviation (of the whole batch) of resistance (in mΩ) and of voltage, with a
histogram of the resistances. Files are read as by convert.)",
         {"text", "csv", "json"},
         {{O::Format,
           "text (default), csv (one row each for resistance in ohms and voltage)\n"
           "or json (with the histogram)"},
          {O::Output},
          {O::Strict}},
         needsFiles,
         "@file"},
        {S::Match,
         "match",
         "FILE... --series S --parallel P [OPTIONS]\n"
         "       battery-analyzer-cli match --db DB --series S --parallel P [RULES] [--save-pack "
         "NAME]",
         "match a pack of parallel groups from reading files or the register's cells",
         R"(Picks S x P cells from the readings of the files and arranges them into S parallel groups of
P cells whose resistances (1 / sum of 1/R of the group's cells) are as equal as it can make
them, using only cells whose voltages lie within V of each other. From more cells than
needed it takes those that match best: up to 12 cells to choose from, the best there is.
It prints each group with its cells (file, line and group number of each reading), the
group's resistance and voltage range, the spread (highest less lowest group resistance, also
as % of the mean) and the number of cells left out. Resistances are shown as precisely as
the readings allow. Cells with a resistance of zero are always left out.

With --db it matches the register's cells that pass the rules, are in no saved pack and are
not retired, named by label. When any such cell has a capacity, those without one are left
out (and counted), the groups' capacity sums are brought within 0.1 % of the mean group of
each other, and among such arrangements their parallel resistances are made as equal as
possible; when none has a capacity, their resistances alone.)",
         {"text", "json"},
         std::vector<OptionUse>{{O::Series},
                                {O::Parallel},
                                {O::VoltageSpread},
                                {O::Prefer, nullptr, F},
                                {O::Verbose, nullptr, F},
                                {O::Strict, nullptr, F},
                                {O::Format,
                                 "text (default) or json: the same result as one JSON "
                                 "document"},
                                {O::Output},
                                {O::SavePack, nullptr, R},
                                {O::CapacityTolerance, nullptr, R},
                                {O::WithoutCapacity, nullptr, R},
                                {O::Db, nullptr, R},
                                {O::LockWait, nullptr, R}}
             + rules(R),
         checkMatch,
         "@file"},
        {S::Ports,
         "ports",
         "[assign N DEVICE]",
         "list the serial ports, or assign one a COM number",
         R"(Without words, lists the machine's serial ports (device, description, manufacturer, serial
number, USB vendor:product) and the entries of the port folder
~/.config/battery-analyzer/ports, each with the COM number it stands for today.

assign N DEVICE makes the folder's entry comN a link to DEVICE (replacing one there), so
that the window and --com N open DEVICE. Give the stable /dev/serial/by-id/ name of a USB
adapter rather than /dev/ttyUSB0.)",
         {},
         {},
         checkPorts,
         "assign"},
        {S::Record,
         "record",
         "((--com N | --port PATH) --model M | FILE...)\n"
         "                                   (--cells A001..A020 | --cells-from FILE |\n"
         "                                    --first-cell A001)\n"
         "                                   [--at TIME] [--rest-start] [--db DB] [--lock-wait S]",
         "store readings from the analyzer or files as measurements of labelled cells",
         R"(Stores readings as measurements of labelled cells, in order, in the cell register: from the
analyzer on COM N or the device PATH (as download does) or from saved reading files. Either
every reading is stored or none.

When readings and labels differ in number, when Ctrl+C stops a download or the device goes
away, or the register cannot take them (locked too long, its server gone or silent, its disk
full), nothing is stored: the readings that arrived are written beside the register (as the
window's Save writes them) into a new file of their own, and the message names that file.
The analyzer keeps its readings until clear-memory.)",
         {},
         std::vector<OptionUse>{
             {O::Cells, "the cells measured, in order, like A001..A020,A031"},
             {O::CellsFrom},
             {O::FirstCell, "number as many cells as readings arrive, from this label on"},
             {O::At},
             {O::RestStart},
             {O::Com},
             {O::Port},
             {O::Model,
              "the analyzer's model, RM-40A, RM-40B or RM-40C: required with --com or\n"
              "--port; readings from files keep \"unknown\" without it"},
             {O::Idle,
              "from the analyzer: the download ends after S seconds without a reading (2)"},
             {O::Strict, "a line of a file that is no reading stops the record"}}
             + kRegister,
         checkRecord,
         "@file"},
        {S::Capacity,
         "capacity",
         "FILE.csv [--skip-unknown] [--label-column NAME] [--capacity-column NAME]\n"
         "                                   [--repeated refuse|last] [--at TIME]",
         "import the cells' capacities from a spreadsheet's CSV",
         R"(Imports the capacities of a charger's or spreadsheet's CSV: a header row naming the label
and capacity columns (found by their usual names, or as --label-column and
--capacity-column say), separated by semicolons, tabs or commas. Values may carry their unit
(2450 mAh, 2.45 Ah) or take the header's; thousands marks are read where they cannot be
decimals (1.522,4 or 1,522.4), and a number that could be either (1.522) is read as the
file's other values use its mark, or refused when they do not tell. Blank values are
skipped and counted, and so are the summary lines after the cells (Average, Total, Sum).
Every problem of the file is listed at once and then nothing is imported; so is every
label the register lacks. A label finds its cell in any case. Every
capacity is kept with its source and time; the latest measured counts.)",
         {},
         std::vector<OptionUse>{{O::SkipUnknown},
                                {O::LabelColumn},
                                {O::CapacityColumn},
                                {O::Repeated},
                                {O::At,
                                 "when the capacities were measured (ISO 8601, local time unless\n"
                                 "it says otherwise; default: now)"}}
             + kRegister,
         checkCapacity,
         "@file"},
        {S::Cells,
         "cells",
         "[--format text|csv|json] [RULES] [--only pass|fail]",
         "one row per cell of the register: latest values, self-discharge, verdict",
         R"(One row per cell of the register: label, latest resistance and voltage, number of
measurements, first and latest time, self-discharge in mV/day (the voltage at the start of
the latest rest period less the latest voltage, over the days between), capacity, the pack
it is in, and the verdict with its reasons.)",
         {"text", "csv", "json"},
         std::vector<OptionUse>{{O::Only}, {O::Format}, {O::Output}} + rules(Source::Any)
             + kRegister,
         noWords,
         ""},
        {S::Cell,
         "cell",
         "LABEL [--format text|json]",
         "the history of one cell",
         R"(The history of one cell: every measurement, its capacity, the pack it is in and the packs it
was swapped into or out of.)",
         {"text", "json"},
         std::vector<OptionUse>{{O::Format}, {O::Output}} + kRegister,
         checkCell,
         ""},
        {S::CellRetire,
         "cell retire",
         "LABEL [--reason TEXT]",
         "retire a cell: kept with its history, offered for no pack",
         "Retires a cell: it stays in the register with its history, shows as retired with its\n"
         "reason, and is offered for no pack until restored.",
         {},
         std::vector<OptionUse>{{O::Reason}} + kRegister,
         checkCell,
         ""},
        {S::CellRestore,
         "cell restore",
         "LABEL",
         "put a retired cell back in stock",
         "Puts a retired cell back in stock.",
         {},
         kRegister,
         checkCell,
         ""},
        {S::CellRelabel,
         "cell relabel",
         "LABEL NEW_LABEL",
         "give a cell another label, keeping its history",
         "Gives a cell another label; its measurements, capacities and packs follow it. A label\n"
         "another cell has in any case is refused.",
         {},
         kRegister,
         checkRelabel,
         ""},
        {S::CellMerge,
         "cell merge",
         "LABEL TWIN",
         "join two cells whose labels differ only in case",
         "Joins into LABEL a cell whose label differs from it only in case, which an earlier\n"
         "version let in (cells lists such twins): TWIN's measurements, capacities, place in a\n"
         "pack and swaps become LABEL's, and LABEL keeps its status.",
         {},
         kRegister,
         checkMerge,
         ""},
        {S::Pack,
         "pack",
         "list|show|replace ...",
         "the saved packs: list, show, replace a failed cell",
         R"(The packs saved by match --save-pack: 'pack list', 'pack show NAME' and 'pack replace NAME
LABEL', each with its own --help.)",
         {},
         {},
         checkPack,
         "list show replace"},
        {S::PackList,
         "pack list",
         "[--db DB]",
         "the saved packs, one a line",
         "Lists the packs saved by match --save-pack: name, shape, when saved.",
         {},
         std::vector<OptionUse>{{O::Output}} + kRegister,
         noWords,
         ""},
        {S::PackShow,
         "pack show",
         "NAME [--format text|csv|json]",
         "a saved pack: its groups, spreads, totals and swaps",
         "Shows a saved pack's groups with their resistances and capacities, its spreads, its\n"
         "nominal and measured voltage, capacity, energy and resistance, which end is + and\n"
         "which -, and the cells swapped in since it was saved; as CSV, one row a cell with\n"
         "its group and place, for building it.",
         {"text", "csv", "json"},
         std::vector<OptionUse>{{O::Format}, {O::Output}} + kRegister,
         checkPackShow,
         ""},
        {S::PackReplace,
         "pack replace",
         "NAME LABEL [RULES] [--apply]",
         "the best spare for a failed cell of a saved pack",
         R"(Proposes the best spare for a failed cell: one that passes the rules, is in no pack and not
retired, lies within the pack's voltage window and keeps the spread of the pack's groups
lowest; --apply records the swap and retires the cell taken out (--keep-removed puts it back
in stock). Without rules on the command line, the rules the pack was matched under apply.)",
         {},
         std::vector<OptionUse>{{O::Apply}, {O::KeepRemoved}, {O::Output}} + rules(Source::Any)
             + kRegister,
         checkPackReplace,
         ""},
        {S::PackDelete,
         "pack delete",
         "NAME",
         "take a saved pack apart: its cells go back in stock",
         "Deletes a saved pack and its swaps; its cells stay in the register, in stock again.",
         {},
         kRegister,
         checkPackShow,
         ""},
        {S::Export,
         "export",
         "[--format csv|json|text]",
         "every measurement in the register, one row each",
         "Every measurement of the register, one row each, for spreadsheets and scripts, with\n"
         "its cell's latest capacity (value, source and time) and place in a pack (pack, group\n"
         "and position, both from 1; group 1 is the pack's − end).",
         {"csv", "json", "text"},
         std::vector<OptionUse>{{O::Format}, {O::Output}} + kRegister,
         noWords,
         ""},
        {S::Runs,
         "runs",
         "[--format text|csv|json]",
         "the record runs of the register, one row each",
         "The register's record runs, oldest first: number, when stored, when measured, model,\n"
         "source and number of readings. undo RUN takes one back.",
         {"text", "csv", "json"},
         std::vector<OptionUse>{{O::Format}, {O::Output}} + kRegister,
         noWords,
         ""},
        {S::Undo,
         "undo",
         "RUN",
         "take back one record run: its readings, and the cells only it brought",
         "Removes the readings of one record run (its number as runs lists it), and the cells it\n"
         "brought in that hold nothing else, in one transaction, and names the packs whose\n"
         "cells fail without them. The run's number is never given to another run.",
         {},
         kRegister,
         checkUndo,
         ""},
        {S::Serve,
         "serve",
         "[--listen ADDRESS:PORT] [--allow-actions] [--db DB]",
         "the register as web pages, live, for every browser in the lab",
         "Serves the register as web pages until Ctrl+C: the cells with their verdicts, each "
         "cell's\n"
         "history, the packs with their layout, updated within 2 s of any record. It answers on\n"
         "loopback alone unless --listen names another address; then every request needs the\n"
         "access token, made at the first such start and printed that once.",
         {},
         std::vector<OptionUse>{{O::Listen}, {O::AllowActions}} + kRegister,
         noWords,
         ""},
        {S::Report,
         "report",
         "FILE... [--output FILE] [--language en|zh] [--open] [OPTIONS]\n"
         "       battery-analyzer-cli report [--db DB] [RULES] [--cells A001..A020 | --pack NAME]\n"
         "                                   [--output FILE] [--language en|zh] [--open]",
         "one HTML page about a batch: counts, statistics, charts, a matched pack",
         QString(
             R"(Writes one HTML page about a batch of cells: counts, statistics and the rules, histograms
of resistance and voltage, resistance against voltage with passing and failing cells
told apart, self-discharge where known, and a matched pack's layout with its groups'
capacity sums, parallel resistances and spreads. The page holds everything itself: no
network, no other file, no script; it prints on A4 with no chart cut across pages.
Without names, cells are named by their place in the files (#1, #2, ...).)")
             + QLatin1String(kPictureSources),
         {},
         pictureOptions({{O::Output}, {O::Language}, {O::Open}}),
         checkPicture,
         "@file"},
        {S::Labels,
         "labels",
         "FILE... --output FILE (--cells A001..A020 | --first-cell A001) [OPTIONS]\n"
         "       battery-analyzer-cli labels [--db DB] (--cells A001..A020 | --pack NAME | --only "
         "pass|fail)\n"
         "                                   --output FILE [--size WxHmm] [RULES]",
         "a label for each cell, for a label printer",
         QString(
             R"(Writes a PDF with one label a page for label printers: a QR code of the cell's name and,
beside it, the name, the latest resistance and voltage, the capacity when known, the
verdict and, for a matched pack, the pack, group and place in the group (--fields chooses).
Text that is too wide for the label is drawn smaller, down to 5 pt; then the last fields
are left out, and the message says how many labels lost which; a cell's name that does not
fit even alone is refused and no file is written. With a pack, only the pack's cells are labelled, group by group.)")
             + QLatin1String(kPictureSources),
         {},
         pictureOptions({{O::Output, "the PDF to write (replaced only once complete)"},
                         {O::Size},
                         {O::Fields},
                         {O::Only, "label only the cells that pass, or only those that fail"}}),
         checkPicture,
         "@file"},
    };
    return rows;
}

const SubcommandRow *subcommandRow(Subcommand s)
{
    for (const SubcommandRow &sub : subcommandTable())
        if (sub.subcommand == s)
            return &sub;
    return nullptr;
}

} // namespace cli
