// The tool's options and subcommands: one row each, shared by every subcommand that takes it.
#include "cli/options/options.h"

#include "cellregister/local_time.h"

#include "link/errors.h"
#include "link/port_text.h"
#include "reading/decimal.h"
#include "reading/reading.h"

#include <QRegularExpression>

#include <algorithm>
#include <string_view>
#include <type_traits>

namespace cli {

namespace {

using O = Opt;
using Inv = Invocation;

// Most options store true, or their number, in a field of the invocation as it is.
template <auto field>
QString set(Inv &inv, const QString &, std::int64_t units)
{
    using T = std::remove_reference_t<decltype(inv.*field)>;
    if constexpr (std::is_same_v<T, bool>)
        inv.*field = true;
    else
        inv.*field = T(units);
    return {};
}

// A text option refuses an empty value in words of its own.
template <auto field, const char *fault>
QString text(Inv &inv, const QString &value, std::int64_t)
{
    inv.*field = value;
    return value.trimmed().isEmpty() ? QString::fromUtf8(fault) : QString();
}

QString applyAt(Inv &inv, const QString &value, std::int64_t)
{
    using Kind = cellregister::LocalTimeFault::Kind;
    const auto t = cellregister::parseUserTime(value);
    if (const QDateTime *at = std::get_if<QDateTime>(&t)) {
        inv.at = *at;
        return {};
    }
    const auto &f = std::get<cellregister::LocalTimeFault>(t);
    switch (f.kind) {
    case Kind::Skipped:
        return QStringLiteral("--at %1 never happened here: on %2 the clocks went forward from "
                              "%3 (%4) to %5 (%6); the nearest valid times are %7 and %8")
            .arg(value, f.day, f.clockBefore, f.offsetBefore, f.clockAfter, f.offsetAfter,
                 f.earlier, f.later);
    case Kind::Repeated:
        return QStringLiteral("--at %1 happened twice here: on %2 the clocks went back from %3 "
                              "(%4) to %5 (%6); give its offset: %7 or %8")
            .arg(value, f.day, f.clockBefore, f.offsetBefore, f.clockAfter, f.offsetAfter,
                 f.earlier, f.later);
    case Kind::Shape: break;
    }
    return QStringLiteral("--at takes a time like 2026-12-01T09:30 or 2026-12-01, not '%1'")
        .arg(value);
}

QString applySize(Inv &inv, const QString &value, std::int64_t)
{
    static const QRegularExpression shape(
        QStringLiteral("^([0-9]{1,3}(?:\\.[0-9])?)x([0-9]{1,3}(?:\\.[0-9])?)mm$"));
    const QRegularExpressionMatch m = shape.match(value);
    inv.labelWidthMm = m.hasMatch() ? m.captured(1).toDouble() : 0;
    inv.labelHeightMm = m.hasMatch() ? m.captured(2).toDouble() : 0;
    if (std::min(inv.labelWidthMm, inv.labelHeightMm) < 12
        || std::max(inv.labelWidthMm, inv.labelHeightMm) > 150)
        return QStringLiteral(
                   "--size takes WIDTHxHEIGHTmm with each from 12 to 150, like 62x29mm, not '%1'")
            .arg(value);
    return {};
}

// The words of --model are the analyzer's models, in their order: checked when built.
constexpr char kModelWords[] = "RM-40A RM-40B RM-40C";
constexpr bool wordsAreModels(std::string_view words)
{
    for (const std::string_view name : reading::kModelNames) {
        if (!words.starts_with(name))
            return false;
        words.remove_prefix(name.size());
        if (!words.empty() && words.front() == ' ')
            words.remove_prefix(1);
    }
    return words.empty();
}
static_assert(wordsAreModels(kModelWords));

// Both voltage rules take the range the rule itself defines.
constexpr Range kVoltageOption{"volts", analysis::kVoltageRuleRange.places,
                               analysis::kVoltageRuleRange.min, analysis::kVoltageRuleRange.max};

constexpr char kNoPort[] = "--port needs a device path";
constexpr char kNoOutput[] = "--output needs a file name";
constexpr char kNoDb[] = "--db needs a file or a postgresql:// address";
constexpr char kNoCells[] = "--cells needs labels like A001..A020 or C0005,C0009";
constexpr char kNoCellsFrom[] = "--cells-from needs a file of labels";
constexpr char kNoFirstCell[] = "--first-cell needs a label like A001";
constexpr char kNoPackName[] = "--save-pack needs a name";
constexpr char kNoPack[] = "--pack needs a pack's name";
constexpr char kNoReason[] = "--reason needs a text";
constexpr char kNoListen[] = "--listen needs ADDRESS:PORT";
constexpr char kNoColumn[] = "a column option needs a column's name";

constexpr char kRegisterPaths[] =
    "the register: a SQLite file or postgresql://USER@HOST[:PORT]/NAME\n"
    "(default: $BATTERY_ANALYZER_DB, else\n"
    "$XDG_DATA_HOME/battery-analyzer/cells.sqlite); any other \"scheme:\"\n"
    "is refused, so a file name with a colon is written from its\n"
    "folder: ./cells:2026.sqlite";

} // namespace

const std::vector<OptionRow> &optionTable()
{
    static const std::vector<OptionRow> rows{
        {O::Com,
         {"com"},
         "N",
         "the analyzer's COM port, 1 to 255 (also COM3)",
         "",
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             inv.com = comNumber(v).value_or(0);
             return inv.com ? QString()
                            : QStringLiteral("--com takes a port number from %1 to %2, not '%3'")
                                  .arg(analyzer::kFirstComPort)
                                  .arg(analyzer::kLastComPort)
                                  .arg(v);
         }},
        {O::Port,
         {"port"},
         "PATH",
         "the device instead, e.g. /dev/ttyUSB0 or /dev/serial/by-id/...",
         "@device",
         {},
         text<&Inv::portPath, kNoPort>},
        {O::Model,
         {"m", "model"},
         "M",
         "the analyzer model, which sets the resistance scale: RM-40A (default),\n"
         "RM-40B or RM-40C",
         kModelWords,
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             const auto model = modelNamed(v);
             if (!model)
                 return QStringLiteral("--model takes %1, not '%2'")
                     .arg(QLatin1String(kModelWords), v);
             inv.model = *model;
             return QString();
         }},
        // The words are the subcommand's formats.
        {O::Format,
         {"f", "format"},
         "F",
         nullptr,
         "",
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             inv.format = v.toLower() == u"csv" ? Format::Csv
                 : v.toLower() == u"json"       ? Format::Json
                                                : Format::Text;
             return QString();
         }},
        {O::Output,
         {"o", "output"},
         "FILE",
         "write to FILE (replaced only once complete) instead of standard\noutput",
         "@file",
         {},
         text<&Inv::output, kNoOutput>},
        {O::Idle,
         {"idle"},
         "S",
         "seconds of silence that end the download (default 2)",
         "",
         {"seconds", 3, 1, 3'600'000},
         set<&Inv::idleMilliseconds>},
        {O::Yes, {"y", "yes"}, "", "erase without asking", "", {}, set<&Inv::yes>},
        {O::Strict,
         {"strict"},
         "",
         "a line that is not a reading is an error",
         "",
         {},
         set<&Inv::strict>},
        {O::Series,
         {"series"},
         "S",
         "parallel groups in series, 1 to 100000",
         "",
         {"a whole number", 0, 1, 100'000},
         set<&Inv::series>},
        {O::Parallel,
         {"parallel"},
         "P",
         "cells in each group, 1 to 100000",
         "",
         {"a whole number", 0, 1, 100'000},
         set<&Inv::parallel>},
        {O::VoltageSpread,
         {"max-voltage-spread"},
         "V",
         "every chosen cell within V volts of every other (default 0.05)",
         "",
         {"volts", 6, 0, 100'000'000},
         set<&Inv::maxVoltageSpreadMicrovolts>},
        {O::Prefer,
         {"prefer"},
         "low",
         "among equally good packs, the one of the lowest resistances",
         "low",
         {},
         set<&Inv::preferLow>},
        {O::Verbose,
         {"v", "verbose"},
         "",
         "list the cells left out (their count is always shown)",
         "",
         {},
         set<&Inv::verbose>},
        // A limit of 0 Ω would fail every cell: the smallest limit is the finest reading.
        {O::MaxResistance,
         {"max-resistance"},
         "OHM",
         "cells of a higher resistance fail",
         "",
         {"ohms", 6, 1, 1'000'000'000},
         [](Inv &inv, const QString &, std::int64_t u) {
             inv.rules.maxMicroohms = u;
             return QString();
         }},
        {O::MaxSelfDischarge,
         {"max-self-discharge"},
         "MV_PER_DAY",
         "cells losing more since their latest rest began fail (and cells\n"
         "whose rest is not yet --min-days long)",
         "",
         {"mV/day", 3, 0, 100'000'000},
         [](Inv &inv, const QString &, std::int64_t u) {
             inv.rules.maxSelfDischargeMvPerDay = double(u) / 1000.0;
             return QString();
         }},
        {O::MinCapacity,
         {"min-capacity"},
         "MAH",
         "cells of less capacity fail (and cells of none known)",
         "",
         {"mAh", 3, 0, 1'000'000'000'000},
         [](Inv &inv, const QString &, std::int64_t u) {
             inv.rules.minCapacityMicroampHours = u;
             return QString();
         }},
        {O::MinDays,
         {"min-days"},
         "D",
         "self-discharge is known after D days at rest (default 7)",
         "",
         {"days", 3, 0, 36'500'000},
         [](Inv &inv, const QString &, std::int64_t u) {
             inv.rules.minDays = double(u) / 1000.0;
             return QString();
         }},
        {O::MinVoltage,
         {"min-voltage"},
         "V",
         "cells of a lower latest voltage fail (no default: set it for the\n"
         "chemistry, e.g. 3.0 for Li-ion)",
         "",
         kVoltageOption,
         [](Inv &inv, const QString &, std::int64_t u) {
             inv.rules.minMicrovolts = u;
             return QString();
         }},
        {O::MaxVoltage,
         {"max-voltage"},
         "V",
         "cells of a higher latest voltage fail (no default; e.g. 4.25 for Li-ion)",
         "",
         kVoltageOption,
         [](Inv &inv, const QString &, std::int64_t u) {
             inv.rules.maxMicrovolts = u;
             return QString();
         }},
        {O::Db,
         {"db"},
         "DB",
         kRegisterPaths,
         "@file",
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             inv.fromRegister = true;
             return text<&Inv::db, kNoDb>(inv, v, 0);
         }},
        {O::LockWait,
         {"lock-wait"},
         "S",
         "how long to wait for another program writing the register\n"
         "(default 10; 0: not at all); a PostgreSQL server silent for 5 s\n"
         "more is given up on",
         "",
         {"seconds", 3, 0, 3'600'000},
         set<&Inv::lockWaitMilliseconds>},
        {O::Cells,
         {"cells"},
         "A001..A020",
         "the cells, in order: labels and ranges (one prefix, numbers of one\n"
         "width) apart by commas, like A001..A020,A031,B7",
         "",
         {},
         text<&Inv::cellRange, kNoCells>},
        {O::CellsFrom,
         {"cells-from"},
         "FILE",
         "the cells, in order, one label a line, as a barcode scanner types\n"
         "them (\"-\": standard input)",
         "@file",
         {},
         text<&Inv::cellsFrom, kNoCellsFrom>},
        {O::FirstCell,
         {"first-cell"},
         "A001",
         "name the readings in order from this label on",
         "",
         {},
         text<&Inv::firstCell, kNoFirstCell>},
        {O::At,
         {"at"},
         "TIME",
         "when the readings were taken (ISO 8601, local time unless it says\n"
         "otherwise; default: now), for readings from old files; a local time\n"
         "the clocks skipped is refused, and one they showed twice needs its\n"
         "offset (+01:00)",
         "",
         {},
         applyAt},
        {O::RestStart,
         {"rest-start"},
         "",
         "the cells were freshly charged: these measurements start a rest\n"
         "period, against which later ones give the self-discharge",
         "",
         {},
         set<&Inv::restStart>},
        {O::SkipUnknown,
         {"skip-unknown"},
         "",
         "import the known cells and list the others",
         "",
         {},
         set<&Inv::skipUnknown>},
        {O::Only,
         {"only"},
         "pass|fail",
         "only the cells of that verdict",
         "pass fail",
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             inv.onlyPassing = v.toLower() == u"pass";
             return QString();
         }},
        {O::SavePack,
         {"save-pack"},
         "NAME",
         "store the arrangement as pack NAME",
         "",
         {},
         text<&Inv::savePack, kNoPackName>},
        {O::Pack,
         {"pack"},
         "NAME",
         "a saved pack: its layout in the report, its cells as labels",
         "",
         {},
         text<&Inv::pack, kNoPack>},
        {O::Apply, {"apply"}, "", "record the swap", "", {}, set<&Inv::apply>},
        {O::Language,
         {"language"},
         "L",
         "captions in English (en, default) or Chinese (zh)",
         "en zh",
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             inv.chinese = v.toLower() == u"zh";
             return QString();
         }},
        {O::Open,
         {"open"},
         "",
         "show the written page in the desktop's browser; without a display,\nsay where it is",
         "",
         {},
         set<&Inv::open>},
        {O::Size,
         {"size"},
         "WxHmm",
         "the label's size, each side from 12 to 150 mm (default 62x29mm)",
         "",
         {},
         applySize},
        {O::Fields,
         {"fields"},
         "F,F,...",
         "what a label shows beside its code, in this order: label, resistance,\n"
         "voltage, capacity, verdict, place (all, in this order, by default); on a\n"
         "label too small for them all the last ones are left out",
         "",
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             inv.labelFields = v.split(u',', Qt::SkipEmptyParts);
             for (QString &f : inv.labelFields)
                 f = f.trimmed().toLower();
             return inv.labelFields.isEmpty() ? QStringLiteral("--fields needs field names")
                                              : QString();
         }},
        {O::Reason,
         {"reason"},
         "TEXT",
         "why the cell is retired (default: \"retired\")",
         "",
         {},
         text<&Inv::reason, kNoReason>},
        {O::KeepRemoved,
         {"keep-removed"},
         "",
         "the cell taken out goes back in stock instead of being retired",
         "",
         {},
         set<&Inv::keepRemoved>},
        {O::LabelColumn,
         {"label-column"},
         "NAME",
         "the column of the cells' labels (default: the first of id, label, cell,\n"
         "cell id, barcode, serial, name)",
         "",
         {},
         text<&Inv::labelColumn, kNoColumn>},
        {O::CapacityColumn,
         {"capacity-column"},
         "NAME",
         "the column of the capacities (default: the first of capacity_mah,\n"
         "capacity, capacity_ah, discharge capacity, cap, mah, ah)",
         "",
         {},
         text<&Inv::capacityColumn, kNoColumn>},
        {O::Repeated,
         {"repeated"},
         "refuse|last",
         "a label named twice: refuse the file (default) or take the last line",
         "refuse last",
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             inv.lastWins = v.toLower() == u"last";
             return QString();
         }},
        {O::CapacityTolerance,
         {"capacity-tolerance"},
         "PERCENT",
         "group capacity sums this close (in % of the mean group) count as equal,\n"
         "and resistance decides among them (0.1)",
         "",
         {"percent", 3, 0, 100'000},
         set<&Inv::capacityToleranceMillipercent>},
        {O::WithoutCapacity,
         {"without-capacity"},
         "leave-out|refuse",
         "cells without a capacity when others have one: left out and counted\n"
         "(default), or the match is refused",
         "leave-out refuse",
         {},
         [](Inv &inv, const QString &v, std::int64_t) {
             inv.refuseWithoutCapacity = v.toLower() == u"refuse";
             return QString();
         }},
        {O::Listen,
         {"listen"},
         "ADDRESS:PORT",
         "where to answer (127.0.0.1:8080); any other address than loopback asks\n"
         "every request for the access token",
         "",
         {},
         text<&Inv::listen, kNoListen>},
        {O::AllowActions,
         {"allow-actions"},
         "",
         "let the pages retire and restore cells and replace a pack's failed cell (always with the "
         "access token)",
         "",
         {},
         set<&Inv::allowActions>},
    };
    return rows;
}

std::optional<analysis::Rules> givenRules(const Invocation &inv)
{
    // One rule given stands for all: a pack's rules with one of them changed would judge by
    // rules no one wrote down.
    if (inv.has(O::MaxResistance) || inv.has(O::MaxSelfDischarge) || inv.has(O::MinCapacity)
        || inv.has(O::MinDays) || inv.has(O::MinVoltage) || inv.has(O::MaxVoltage))
        return inv.rules;
    return std::nullopt;
}

const OptionRow &optionRow(Opt id)
{
    return optionTable()[std::size_t(id)];
}

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

std::optional<analyzer::AnalyzerModel> modelNamed(const QString &name)
{
    using reading::kModelNames;
    const auto m = std::find(kModelNames.begin(), kModelNames.end(), name.toUpper());
    if (m == kModelNames.end())
        return std::nullopt;
    return analyzer::AnalyzerModel(m - kModelNames.begin());
}

} // namespace cli
