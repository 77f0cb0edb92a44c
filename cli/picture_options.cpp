#include "cli/picture_options.h"

#include "cli/command_line.h"

#include <QRegularExpression>

namespace cli {

namespace {

int wholeNumber(const CommandLine &line, const QString &name)
{
    const auto n = decimalUnits(line.value(name), 0);
    if (!n || *n < 1 || *n > 100'000)
        line.fail(QStringLiteral("--%1 takes a whole number from 1 to 100000, not '%2'")
                      .arg(name, line.value(name)));
    return int(*n);
}

report::LabelSize labelSize(const CommandLine &line)
{
    static const QRegularExpression shape(
        QStringLiteral("^([0-9]{1,3}(?:\\.[0-9])?)x([0-9]{1,3}(?:\\.[0-9])?)mm$"));
    const QString value = line.value(QStringLiteral("size"));
    const QRegularExpressionMatch m = shape.match(value);
    const double w = m.hasMatch() ? m.captured(1).toDouble() : 0;
    const double h = m.hasMatch() ? m.captured(2).toDouble() : 0;
    if (w < 20 || w > 150 || h < 20 || h > 150)
        line.fail(
            QStringLiteral(
                "--size takes WIDTHxHEIGHTmm with each from 20 to 150, like 62x29mm, not '%1'")
                .arg(value));
    return {w, h};
}

// The cell register's side of the command line: which register, its rules, and which cells.
BatchFromRegister registerBatch(const CommandLine &line, const BatchFromFiles &files)
{
    BatchFromRegister r;
    r.db = line.db();
    r.lockWaitMilliseconds = line.lockWaitMilliseconds();
    if (!files.firstCell.isEmpty())
        line.fail(QStringLiteral(
            "--first-cell names readings from files; the register's cells have their labels"));
    if (files.series > 0)
        line.fail(QStringLiteral("--series and --parallel match readings from files; for the "
                                 "register's packs give --pack NAME"));
    r.rules = line.restRules();
    r.rules.maxMicroohms = files.maxMicroohms;
    r.cellRange = files.cellRange;
    r.pack = line.value(QStringLiteral("pack"));
    if (line.isSet(QStringLiteral("pack")) && r.pack.isEmpty())
        line.fail(QStringLiteral("--pack needs a pack's name"));
    if (!r.cellRange.isEmpty() && !r.pack.isEmpty())
        line.fail(QStringLiteral("--cells and --pack exclude each other"));
    return r;
}

// The options of either subcommand, and their values that need no register.
BatchFromFiles filesBatch(const CommandLine &line, bool fromRegister, bool isReport)
{
    BatchFromFiles b;
    b.files = line.positional();
    b.strict = line.isSet(QStringLiteral("strict"));
    b.cellRange = line.value(QStringLiteral("cells"));
    b.firstCell = line.value(QStringLiteral("first-cell"));
    if (line.isSet(QStringLiteral("cells")) && line.isSet(QStringLiteral("first-cell")))
        line.fail(QStringLiteral("--cells and --first-cell exclude each other"));
    if (line.isSet(QStringLiteral("cells")) && b.cellRange.isEmpty())
        line.fail(QStringLiteral("--cells needs a range like A001..A020"));
    if (line.isSet(QStringLiteral("first-cell")) && b.firstCell.isEmpty())
        line.fail(QStringLiteral("--first-cell needs a label like A001"));
    if (!isReport && !fromRegister && b.cellRange.isEmpty() && b.firstCell.isEmpty())
        line.fail(QStringLiteral("--cells A001..A020 or --first-cell A001 is required: a label's "
                                 "code is its cell's name"));
    if (line.isSet(QStringLiteral("max-resistance"))) {
        b.maxMicroohms = decimalUnits(line.value(QStringLiteral("max-resistance")), 6);
        if (!b.maxMicroohms || *b.maxMicroohms > 1'000'000'000)
            line.fail(
                QStringLiteral(
                    "--max-resistance takes ohms from 0 to 1000 with at most 6 decimals, not '%1'")
                    .arg(line.value(QStringLiteral("max-resistance"))));
    }
    if (line.isSet(QStringLiteral("series")) != line.isSet(QStringLiteral("parallel")))
        line.fail(QStringLiteral("--series S and --parallel P go together"));
    if (line.isSet(QStringLiteral("series"))) {
        b.series = wholeNumber(line, QStringLiteral("series"));
        b.parallel = wholeNumber(line, QStringLiteral("parallel"));
        if (qint64(b.series) * b.parallel > 10'000'000)
            line.fail(QStringLiteral("a pack of more than 10000000 cells is not supported"));
    }
    if (line.isSet(QStringLiteral("max-voltage-spread"))) {
        const auto uv = decimalUnits(line.value(QStringLiteral("max-voltage-spread")), 6);
        if (!uv || *uv > 100'000'000)
            line.fail(QStringLiteral("--max-voltage-spread takes volts from 0 to 100, not '%1'")
                          .arg(line.value(QStringLiteral("max-voltage-spread"))));
        b.maxVoltageSpreadMicrovolts = *uv;
    }
    return b;
}

} // namespace

const char *pictureSubcommandName(PictureKind kind)
{
    return kind == PictureKind::Report ? "report" : "labels";
}

PictureInvocation parsePictureArguments(PictureKind kind, const QStringList &arguments)
{
    PictureInvocation inv;
    const bool isReport = kind == PictureKind::Report;
    CommandLine line(QString::fromLatin1(pictureSubcommandName(kind)), QString());
    for (const char *name :
         {"cells", "first-cell", "max-resistance", "series", "parallel", "max-voltage-spread",
          "output", "pack", "max-self-discharge", "min-capacity", "min-days",
          isReport ? "language" : "size", isReport ? "" : "only"})
        if (*name)
            line.addValue(QString::fromLatin1(name), QStringLiteral("VALUE"));
    line.addFlag(QStringLiteral("strict"));
    if (isReport)
        line.addFlag(QStringLiteral("open"));
    if (!line.parse(arguments)) {
        inv.help = true;
        return inv;
    }

    const bool fromRegister = line.isSet(QStringLiteral("db")) || line.positional().isEmpty();
    if (line.isSet(QStringLiteral("db")) && !line.positional().isEmpty())
        line.fail(QStringLiteral("--db and reading files exclude each other"));
    if (!fromRegister) {
        for (const char *name :
             {"lock-wait", "pack", "max-self-discharge", "min-capacity", "min-days"})
            if (line.isSet(QString::fromLatin1(name)))
                line.fail(
                    QStringLiteral("--%1 needs the cell register, not reading files").arg(name));
    }
    inv.batch = filesBatch(line, fromRegister, isReport);
    if (fromRegister)
        inv.fromRegister = registerBatch(line, inv.batch);
    if (!isReport && fromRegister && inv.batch.cellRange.isEmpty()
        && !line.isSet(QStringLiteral("pack")) && !line.isSet(QStringLiteral("only")))
        line.fail(
            QStringLiteral("--cells A001..A020, --pack NAME or --only pass|fail is required"));
    inv.output = line.value(QStringLiteral("output"));
    if (line.isSet(QStringLiteral("output")) && inv.output.isEmpty())
        line.fail(QStringLiteral("--output needs a file name"));

    if (isReport) {
        const QString language = line.value(QStringLiteral("language"));
        if (line.isSet(QStringLiteral("language")) && language != u"en" && language != u"zh")
            line.fail(QStringLiteral("--language takes en or zh, not '%1'").arg(language));
        inv.language = language == u"zh" ? report::Language::Chinese : report::Language::English;
        inv.open = line.isSet(QStringLiteral("open"));
        if (inv.open && inv.output.isEmpty())
            line.fail(QStringLiteral("--open needs --output FILE"));
    } else {
        if (inv.output.isEmpty())
            line.fail(QStringLiteral("--output FILE is required"));
        if (line.isSet(QStringLiteral("size")))
            inv.size = labelSize(line);
        if (line.isSet(QStringLiteral("only"))) {
            const QString only = line.value(QStringLiteral("only"));
            if (only != u"pass" && only != u"fail")
                line.fail(QStringLiteral("--only takes pass or fail, not '%1'").arg(only));
            inv.onlyPassing = only == u"pass";
        }
    }
    return inv;
}

} // namespace cli
