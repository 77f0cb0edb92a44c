// The tool's options and subcommands: one row each, shared by every subcommand that takes it.
#include "cli/options/options.h"

#include "link/errors.h"
#include "link/port_text.h"
#include "reading/decimal.h"
#include "reading/reading.h"

#include <QRegularExpression>

#include <algorithm>

namespace cli {

namespace {

// A number of 10^-places units from min to max, or the fault in the tool's words.
QString decimal(std::int64_t &out, const QString &value, const char *option, const char *unit,
                int places, std::int64_t min, std::int64_t max)
{
    const auto units = decimalUnits(value, places);
    if (!units || *units < min || *units > max)
        return QStringLiteral("--%1 takes %2 from %3 to %4, not '%5'")
            .arg(QLatin1String(option), QLatin1String(unit),
                 QString::fromLatin1(reading::decimalText({min, places})),
                 QString::fromLatin1(reading::decimalText({max, places})), value);
    out = *units;
    return {};
}

// Whole numbers: 1 to 100 000, the largest group count any subcommand takes.
QString packSize(int &out, const QString &value, const char *option)
{
    std::int64_t n = 0;
    const QString fault = decimal(n, value, option, "a whole number", 0, 1, 100'000);
    out = int(n);
    return fault;
}

QString nonEmpty(QString &out, const QString &value, const char *fault)
{
    out = value;
    return value.trimmed().isEmpty() ? QString::fromUtf8(fault) : QString();
}

QString oneOf(const QString &value, const char *option, const char *words)
{
    return QString::fromLatin1(words).split(u' ').contains(value)
        ? QString()
        : QStringLiteral("--%1 takes %2, not '%3'")
              .arg(QLatin1String(option),
                   QString::fromLatin1(words).replace(QStringLiteral(" "), QStringLiteral(" or ")),
                   value);
}

template <bool Invocation::*flag>
QString setFlag(Invocation &inv, const QString &)
{
    inv.*flag = true;
    return {};
}

QString applyAt(Invocation &inv, const QString &value)
{
    QString text = value;
    text.replace(u' ', u'T');
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0));
    if (!t.isValid())
        return QStringLiteral("--at takes a time like 2026-12-01T09:30 or 2026-12-01, not '%1'")
            .arg(value);
    inv.at = t.toUTC();
    return {};
}

QString applySize(Invocation &inv, const QString &value)
{
    static const QRegularExpression shape(
        QStringLiteral("^([0-9]{1,3}(?:\\.[0-9])?)x([0-9]{1,3}(?:\\.[0-9])?)mm$"));
    const QRegularExpressionMatch m = shape.match(value);
    inv.labelWidthMm = m.hasMatch() ? m.captured(1).toDouble() : 0;
    inv.labelHeightMm = m.hasMatch() ? m.captured(2).toDouble() : 0;
    if (std::min(inv.labelWidthMm, inv.labelHeightMm) < 20
        || std::max(inv.labelWidthMm, inv.labelHeightMm) > 150)
        return QStringLiteral(
                   "--size takes WIDTHxHEIGHTmm with each from 20 to 150, like 62x29mm, not '%1'")
            .arg(value);
    return {};
}

QString applyFormat(Invocation &inv, const QString &value)
{
    const QStringList formats = subcommandRow(inv.subcommand)->formats;
    if (!formats.contains(value))
        return QStringLiteral("unknown format '%1'; the formats are %2")
            .arg(value, formats.join(QStringLiteral(", ")));
    inv.format = value == u"csv" ? Format::Csv : value == u"json" ? Format::Json : Format::Text;
    return {};
}

const char kRegisterPaths[] =
    "the register: a SQLite file or postgresql://USER@HOST[:PORT]/NAME\n"
    "(default: $BATTERY_ANALYZER_DB, else\n"
    "$XDG_DATA_HOME/battery-analyzer/cells.sqlite); any other \"scheme:\"\n"
    "is refused, so a file name with a colon is written from its\n"
    "folder: ./cells:2026.sqlite";

} // namespace

const std::vector<OptionRow> &optionTable()
{
    using O = Opt;
    static const std::vector<OptionRow> rows{
        {O::Com, {"com"}, "N", "the analyzer's COM port, 1 to 255 (also COM3)", "",
         [](Invocation &inv, const QString &v) {
             const auto port = comNumber(v);
             inv.com = port.value_or(0);
             return port ? QString()
                         : QStringLiteral("--com takes a port number from %1 to %2, not '%3'")
                               .arg(analyzer::kFirstComPort)
                               .arg(analyzer::kLastComPort)
                               .arg(v);
         }},
        {O::Port, {"port"}, "PATH", "the device instead, e.g. /dev/ttyUSB0 or /dev/serial/by-id/...",
         "@device",
         [](Invocation &inv, const QString &v) {
             return nonEmpty(inv.portPath, v, "--port needs a device path");
         }},
        {O::Model, {"m", "model"}, "M",
         "the analyzer model, which sets the resistance scale: RM-40A (default),\n"
         "RM-40B or RM-40C",
         "RM-40A RM-40B RM-40C",
         [](Invocation &inv, const QString &v) {
             using reading::kModelNames;
             const auto model = modelNamed(v);
             inv.model = model.value_or(inv.model);
             return model ? QString()
                              : QStringLiteral("unknown model '%1'; the models are %2, %3 and %4")
                                    .arg(v, kModelNames[0], kModelNames[1], kModelNames[2]);
         }},
        {O::Format, {"f", "format"}, "F", nullptr, "@formats", applyFormat},
        {O::Output, {"o", "output"}, "FILE",
         "write to FILE (replaced only once complete) instead of standard\noutput", "@file",
         [](Invocation &inv, const QString &v) {
             return nonEmpty(inv.output, v, "--output needs a file name");
         }},
        {O::Idle, {"idle"}, "S", "seconds of silence that end the download (default 2)", "",
         [](Invocation &inv, const QString &v) {
             std::int64_t ms = 0;
             const QString fault = decimal(ms, v, "idle", "seconds", 3, 1, 3'600'000);
             inv.idleMilliseconds = int(ms);
             return fault;
         }},
        {O::Yes, {"y", "yes"}, "", "erase without asking", "", setFlag<&Invocation::yes>},
        {O::Strict, {"strict"}, "", "a line that is not a reading is an error", "",
         setFlag<&Invocation::strict>},
        {O::Series, {"series"}, "S", "parallel groups in series, 1 to 100000", "",
         [](Invocation &inv, const QString &v) { return packSize(inv.series, v, "series"); }},
        {O::Parallel, {"parallel"}, "P", "cells in each group, 1 to 100000", "",
         [](Invocation &inv, const QString &v) { return packSize(inv.parallel, v, "parallel"); }},
        {O::VoltageSpread, {"max-voltage-spread"}, "V",
         "every chosen cell within V volts of every other (default 0.05)", "",
         [](Invocation &inv, const QString &v) {
             return decimal(inv.maxVoltageSpreadMicrovolts, v, "max-voltage-spread", "volts", 6,
                            0, 100'000'000);
         }},
        {O::Prefer, {"prefer"}, "low", "among equally good packs, the one of the lowest resistances",
         "low",
         [](Invocation &inv, const QString &v) {
             inv.preferLow = true;
             return oneOf(v, "prefer", "low");
         }},
        {O::Verbose, {"v", "verbose"}, "", "list the cells left out (their count is always shown)",
         "", setFlag<&Invocation::verbose>},
        // A limit of 0 Ω would fail every cell: the smallest limit is the finest reading.
        {O::MaxResistance, {"max-resistance"}, "OHM", "cells of a higher resistance fail", "",
         [](Invocation &inv, const QString &v) {
             std::int64_t uo = 0;
             const QString fault = decimal(uo, v, "max-resistance", "ohms", 6, 1, 1'000'000'000);
             inv.rules.maxMicroohms = uo;
             return fault;
         }},
        {O::MaxSelfDischarge, {"max-self-discharge"}, "MV_PER_DAY",
         "cells losing more since their latest rest began fail (and cells\n"
         "whose rest is not yet --min-days long)",
         "",
         [](Invocation &inv, const QString &v) {
             std::int64_t uv = 0;
             const QString fault =
                 decimal(uv, v, "max-self-discharge", "mV/day", 3, 0, 100'000'000);
             inv.rules.maxSelfDischargeMvPerDay = double(uv) / 1000.0;
             return fault;
         }},
        {O::MinCapacity, {"min-capacity"}, "MAH",
         "cells of less capacity fail (and cells of none known)", "",
         [](Invocation &inv, const QString &v) {
             std::int64_t uah = 0;
             const QString fault = decimal(uah, v, "min-capacity", "mAh", 3, 0, 1'000'000'000'000);
             inv.rules.minCapacityMicroampHours = uah;
             return fault;
         }},
        {O::MinDays, {"min-days"}, "D", "self-discharge is known after D days at rest (default 7)",
         "",
         [](Invocation &inv, const QString &v) {
             std::int64_t mdays = 0;
             const QString fault = decimal(mdays, v, "min-days", "days", 3, 0, 36'500'000);
             inv.rules.minDays = double(mdays) / 1000.0;
             return fault;
         }},
        {O::Db, {"db"}, "DB", kRegisterPaths, "@file",
         [](Invocation &inv, const QString &v) {
             inv.fromRegister = true;
             return nonEmpty(inv.db, v, "--db needs a file or a postgresql:// address");
         }},
        {O::LockWait, {"lock-wait"}, "S",
         "how long to wait for another program writing the register\n"
         "(default 10; 0: not at all); a PostgreSQL server silent for 5 s\n"
         "more is given up on",
         "",
         [](Invocation &inv, const QString &v) {
             std::int64_t ms = 0;
             const QString fault = decimal(ms, v, "lock-wait", "seconds", 3, 0, 3'600'000);
             inv.lockWaitMilliseconds = int(ms);
             return fault;
         }},
        {O::Cells, {"cells"}, "A001..A020",
         "the cells, in order: one prefix, numbers of one width", "",
         [](Invocation &inv, const QString &v) {
             return nonEmpty(inv.cellRange, v, "--cells needs a range like A001..A020");
         }},
        {O::FirstCell, {"first-cell"}, "A001", "name the readings in order from this label on", "",
         [](Invocation &inv, const QString &v) {
             return nonEmpty(inv.firstCell, v, "--first-cell needs a label like A001");
         }},
        {O::At, {"at"}, "TIME",
         "when the readings were taken (ISO 8601, local time unless it says\n"
         "otherwise; default: now), for readings from old files",
         "", applyAt},
        {O::RestStart, {"rest-start"}, "",
         "the cells were freshly charged: these measurements start a rest\n"
         "period, against which later ones give the self-discharge",
         "", setFlag<&Invocation::restStart>},
        {O::SkipUnknown, {"skip-unknown"}, "", "import the known cells and list the others", "",
         setFlag<&Invocation::skipUnknown>},
        {O::Only, {"only"}, "pass|fail", "only the cells of that verdict", "pass fail",
         [](Invocation &inv, const QString &v) {
             inv.onlyPassing = v == u"pass";
             return oneOf(v, "only", "pass fail");
         }},
        {O::SavePack, {"save-pack"}, "NAME", "store the arrangement as pack NAME", "",
         [](Invocation &inv, const QString &v) {
             return nonEmpty(inv.savePack, v, "--save-pack needs a name");
         }},
        {O::Pack, {"pack"}, "NAME", "a saved pack: its layout in the report, its cells as labels", "",
         [](Invocation &inv, const QString &v) {
             return nonEmpty(inv.pack, v, "--pack needs a pack's name");
         }},
        {O::Apply, {"apply"}, "", "record the swap", "", setFlag<&Invocation::apply>},
        {O::Language, {"language"}, "L", "captions in English (en, default) or Chinese (zh)",
         "en zh",
         [](Invocation &inv, const QString &v) {
             inv.chinese = v == u"zh";
             return oneOf(v, "language", "en zh");
         }},
        {O::Open, {"open"}, "",
         "show the written page in the desktop's browser; without a display,\nsay where it is",
         "", setFlag<&Invocation::open>},
        {O::Size, {"size"}, "WxHmm", "the label's size, each side from 20 to 150 mm (default 62x29mm)",
         "", applySize},
    };
    return rows;
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
    } catch (const EConvertError &) { }
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
