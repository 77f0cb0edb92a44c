#include "cli/picture_options.h"

#include "cli/errors.h"
#include "core/error.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace cli {

namespace {

[[noreturn]] void usage(PictureKind kind, const QString &text)
{
    const QString name = QString::fromLatin1(pictureSubcommandName(kind));
    throw EUsageError(
        QStringLiteral("%1: %2\nTry 'battery-analyzer-cli %1 --help'.").arg(name, text));
}

// A decimal of at most `places` decimals, as a whole number of 10^-places; none when the
// text is not one or is larger than `most` units.
std::optional<std::int64_t> decimalUnits(const QString &text, int places, std::int64_t most)
{
    static const QRegularExpression shape(QStringLiteral("^([0-9]{1,9})(?:\\.([0-9]{1,9}))?$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch() || m.captured(2).size() > places)
        return std::nullopt;
    std::int64_t units = m.captured(1).toLongLong();
    const QString decimals = m.captured(2).leftJustified(places, u'0');
    for (QChar d : decimals)
        units = units * 10 + (d.unicode() - '0');
    if (units > most * [&] {
            std::int64_t p = 1;
            for (int i = 0; i < places; ++i)
                p *= 10;
            return p;
        }())
        return std::nullopt;
    return units;
}

struct Options {
    QCommandLineOption cells{QStringLiteral("cells"), QString(), QStringLiteral("RANGE")};
    QCommandLineOption firstCell{QStringLiteral("first-cell"), QString(), QStringLiteral("LABEL")};
    QCommandLineOption maxResistance{QStringLiteral("max-resistance"), QString(),
                                     QStringLiteral("OHM")};
    QCommandLineOption series{QStringLiteral("series"), QString(), QStringLiteral("S")};
    QCommandLineOption parallel{QStringLiteral("parallel"), QString(), QStringLiteral("P")};
    QCommandLineOption voltageSpread{QStringLiteral("max-voltage-spread"), QString(),
                                     QStringLiteral("V")};
    QCommandLineOption strict{QStringLiteral("strict")};
    QCommandLineOption output{QStringLiteral("output"), QString(), QStringLiteral("FILE")};
    QCommandLineOption language{QStringLiteral("language"), QString(), QStringLiteral("LANG")};
    QCommandLineOption open{QStringLiteral("open")};
    QCommandLineOption size{QStringLiteral("size"), QString(), QStringLiteral("SIZE")};
    QCommandLineOption only{QStringLiteral("only"), QString(), QStringLiteral("VERDICT")};
    QCommandLineOption db{QStringLiteral("db"), QString(), QStringLiteral("DB")};
    QCommandLineOption lockWait{QStringLiteral("lock-wait"), QString(), QStringLiteral("S")};
    QCommandLineOption pack{QStringLiteral("pack"), QString(), QStringLiteral("NAME")};
    QCommandLineOption maxSelfDischarge{QStringLiteral("max-self-discharge"), QString(),
                                        QStringLiteral("MV_PER_DAY")};
    QCommandLineOption minCapacity{QStringLiteral("min-capacity"), QString(),
                                   QStringLiteral("MAH")};
    QCommandLineOption minDays{QStringLiteral("min-days"), QString(), QStringLiteral("D")};
};

int wholeNumber(PictureKind kind, const QString &name, const QString &value)
{
    const auto n = decimalUnits(value, 0, 100'000);
    if (!n || *n < 1)
        usage(kind,
              QStringLiteral("--%1 takes a whole number from 1 to 100000, not '%2'")
                  .arg(name, value));
    return int(*n);
}

report::LabelSize labelSize(const QString &value)
{
    static const QRegularExpression shape(
        QStringLiteral("^([0-9]{1,3}(?:\\.[0-9])?)x([0-9]{1,3}(?:\\.[0-9])?)mm$"));
    const QRegularExpressionMatch m = shape.match(value);
    const double w = m.hasMatch() ? m.captured(1).toDouble() : 0;
    const double h = m.hasMatch() ? m.captured(2).toDouble() : 0;
    if (w < 20 || w > 150 || h < 20 || h > 150)
        usage(PictureKind::Labels,
              QStringLiteral(
                  "--size takes WIDTHxHEIGHTmm with each from 20 to 150, like 62x29mm, not '%1'")
                  .arg(value));
    return {w, h};
}

std::int64_t decimalOption(PictureKind kind, const QCommandLineParser &parser,
                           const QCommandLineOption &option, int places, std::int64_t most)
{
    const QString value = parser.value(option);
    const auto units = decimalUnits(value, places, most);
    if (!units)
        usage(kind,
              QStringLiteral("--%1 takes a number from 0 to %2 with at most %3 decimals, not '%4'")
                  .arg(option.names().front())
                  .arg(most)
                  .arg(places)
                  .arg(value));
    return *units;
}

// The cell register's side of the command line: which register, its rules, and which cells.
BatchFromRegister registerBatch(PictureKind kind, const QCommandLineParser &parser,
                                const Options &o, const BatchFromFiles &files)
{
    BatchFromRegister r;
    r.db = parser.value(o.db);
    if (parser.isSet(o.db) && r.db.isEmpty())
        usage(kind, QStringLiteral("--db needs a file or a postgresql:// address"));
    if (parser.isSet(o.lockWait))
        r.lockWaitMilliseconds = int(decimalOption(kind, parser, o.lockWait, 3, 3600));
    if (!files.firstCell.isEmpty())
        usage(
            kind,
            QStringLiteral(
                "--first-cell names readings from files; the register's cells have their labels"));
    if (files.series > 0)
        usage(
            kind,
            QStringLiteral("--series and --parallel match readings from files; for the register's "
                           "packs give --pack NAME"));
    r.rules.maxMicroohms = files.maxMicroohms;
    if (parser.isSet(o.maxSelfDischarge))
        r.rules.maxSelfDischargeMillivoltsPerDay =
            double(decimalOption(kind, parser, o.maxSelfDischarge, 3, 100'000)) / 1000.0;
    if (parser.isSet(o.minCapacity))
        r.rules.minCapacityMicroampHours =
            decimalOption(kind, parser, o.minCapacity, 3, 1'000'000'000);
    if (parser.isSet(o.minDays))
        r.rules.minDays = double(decimalOption(kind, parser, o.minDays, 3, 36'500)) / 1000.0;
    r.cellRange = files.cellRange;
    r.pack = parser.value(o.pack);
    if (parser.isSet(o.pack) && r.pack.isEmpty())
        usage(kind, QStringLiteral("--pack needs a pack's name"));
    if (!r.cellRange.isEmpty() && !r.pack.isEmpty())
        usage(kind, QStringLiteral("--cells and --pack exclude each other"));
    return r;
}

} // namespace

const char *pictureSubcommandName(PictureKind kind)
{
    return kind == PictureKind::Report ? "report" : "labels";
}

PictureInvocation parsePictureArguments(PictureKind kind, const QStringList &arguments)
{
    PictureInvocation inv;
    for (const QString &a : arguments) {
        if (a == u"--")
            break;
        if (a == u"--help" || a == u"-h") {
            inv.help = true;
            return inv;
        }
    }
    const bool isReport = kind == PictureKind::Report;
    Options o;
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOptions({o.cells, o.firstCell, o.maxResistance, o.series, o.parallel, o.voltageSpread,
                       o.strict, o.output, o.db, o.lockWait, o.pack, o.maxSelfDischarge,
                       o.minCapacity, o.minDays});
    if (isReport)
        parser.addOptions({o.language, o.open});
    else
        parser.addOptions({o.size, o.only});
    if (!parser.parse(QStringList{QString::fromLatin1(pictureSubcommandName(kind))} + arguments))
        usage(kind, core::trimErrorTail(parser.errorText()));

    BatchFromFiles &b = inv.batch;
    b.files = parser.positionalArguments();
    const bool fromRegister = parser.isSet(o.db) || b.files.isEmpty();
    if (parser.isSet(o.db) && !b.files.isEmpty())
        usage(kind, QStringLiteral("--db and reading files exclude each other"));
    if (!fromRegister) {
        for (const QCommandLineOption *option :
             {&o.lockWait, &o.pack, &o.maxSelfDischarge, &o.minCapacity, &o.minDays})
            if (parser.isSet(*option))
                usage(kind,
                      QStringLiteral("--%1 needs the cell register, not reading files")
                          .arg(option->names().front()));
    }
    b.strict = parser.isSet(o.strict);
    b.cellRange = parser.value(o.cells);
    b.firstCell = parser.value(o.firstCell);
    if (parser.isSet(o.cells) && parser.isSet(o.firstCell))
        usage(kind, QStringLiteral("--cells and --first-cell exclude each other"));
    if (parser.isSet(o.cells) && b.cellRange.isEmpty())
        usage(kind, QStringLiteral("--cells needs a range like A001..A020"));
    if (parser.isSet(o.firstCell) && b.firstCell.isEmpty())
        usage(kind, QStringLiteral("--first-cell needs a label like A001"));
    if (!isReport && !fromRegister && b.cellRange.isEmpty() && b.firstCell.isEmpty())
        usage(kind,
              QStringLiteral("--cells A001..A020 or --first-cell A001 is required: a label's code "
                             "is its cell's name"));
    if (parser.isSet(o.maxResistance)) {
        b.maxMicroohms = decimalUnits(parser.value(o.maxResistance), 6, 1000);
        if (!b.maxMicroohms)
            usage(
                kind,
                QStringLiteral(
                    "--max-resistance takes ohms from 0 to 1000 with at most 6 decimals, not '%1'")
                    .arg(parser.value(o.maxResistance)));
    }
    if (parser.isSet(o.series) != parser.isSet(o.parallel))
        usage(kind, QStringLiteral("--series S and --parallel P go together"));
    if (parser.isSet(o.series)) {
        b.series = wholeNumber(kind, QStringLiteral("series"), parser.value(o.series));
        b.parallel = wholeNumber(kind, QStringLiteral("parallel"), parser.value(o.parallel));
        if (qint64(b.series) * b.parallel > 10'000'000)
            usage(kind, QStringLiteral("a pack of more than 10000000 cells is not supported"));
    }
    if (parser.isSet(o.voltageSpread)) {
        const auto uv = decimalUnits(parser.value(o.voltageSpread), 6, 100);
        if (!uv)
            usage(kind,
                  QStringLiteral("--max-voltage-spread takes volts from 0 to 100, not '%1'")
                      .arg(parser.value(o.voltageSpread)));
        b.maxVoltageSpreadMicrovolts = *uv;
    }
    if (fromRegister)
        inv.fromRegister = registerBatch(kind, parser, o, b);
    if (!isReport && fromRegister && b.cellRange.isEmpty() && !parser.isSet(o.pack)
        && !parser.isSet(o.only))
        usage(kind,
              QStringLiteral("--cells A001..A020, --pack NAME or --only pass|fail is required"));
    inv.output = parser.value(o.output);
    if (parser.isSet(o.output) && inv.output.isEmpty())
        usage(kind, QStringLiteral("--output needs a file name"));

    if (isReport) {
        const QString language = parser.value(o.language);
        if (parser.isSet(o.language) && language != u"en" && language != u"zh")
            usage(kind, QStringLiteral("--language takes en or zh, not '%1'").arg(language));
        inv.language = language == u"zh" ? report::Language::Chinese : report::Language::English;
        inv.open = parser.isSet(o.open);
        if (inv.open && inv.output.isEmpty())
            usage(kind, QStringLiteral("--open needs --output FILE"));
    } else {
        if (inv.output.isEmpty())
            usage(kind, QStringLiteral("--output FILE is required"));
        if (parser.isSet(o.size))
            inv.size = labelSize(parser.value(o.size));
        if (parser.isSet(o.only)) {
            const QString only = parser.value(o.only);
            if (only != u"pass" && only != u"fail")
                usage(kind, QStringLiteral("--only takes pass or fail, not '%1'").arg(only));
            inv.onlyPassing = only == u"pass";
        }
    }
    return inv;
}

} // namespace cli
