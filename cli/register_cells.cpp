// cells, cell and export: what the register holds, as tables.
#include "cellregister/errors.h"
#include "cellregister/packs.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/register_subcommands.h"
#include "cli/register_tables.h"

namespace cli {

using tables::Kind;

namespace {

constexpr char kRulesHelp[] =
    R"(  --max-resistance OHM          fail cells whose latest resistance is higher
  --max-self-discharge MV_PER_DAY  fail cells losing more since their latest rest began
                                (and cells whose rest is not yet --min-days long)
  --min-capacity MAH            fail cells of less capacity (and cells of none known)
  --min-days D                  self-discharge is shown after D days at rest (7)
)";

constexpr char kCommon[] =
    R"(  --output FILE                 write to FILE instead of standard output
  --db DB                       the register (see record --help)
  --lock-wait S                 how long to wait for another program writing it (10)
)";

constexpr char kCellsHelp[] =
    R"(Usage: battery-analyzer-cli cells [--format text|csv|json] [RULES] [--only pass|fail]

One row per cell of the register: label, latest resistance and voltage, number of
measurements, first and latest time, self-discharge in mV/day (the voltage at the start of
the latest rest period less the latest voltage, over the days between), capacity, the pack
it is in, and the verdict with its reasons.

  --only pass|fail              only the cells of that verdict
)";

constexpr char kCellHelp[] = R"(Usage: battery-analyzer-cli cell LABEL [--format text|json]

The history of one cell: every measurement, its capacity, the pack it is in and the packs it
was swapped into or out of.
)";

constexpr char kExportHelp[] = R"(Usage: battery-analyzer-cli export [--format csv|json]

Every measurement of the register, one row each, for spreadsheets and scripts.
)";

constexpr char kExits[] = R"(
Exit codes: 0 done, 1 the output cannot be written, 2 bad arguments, 8 the register cannot
be opened or read, 10 no such cell.
)";

// The tables' words for a cell's failures.
QStringList reasonTexts(const std::vector<analysis::Failure> &failures,
                        const analysis::Rules &rules)
{
    const auto exact = [](const analysis::Quantity &q, int decimals) {
        return QString::fromLatin1(exactText(std::get<std::int64_t>(q), decimals));
    };
    QStringList texts;
    for (const analysis::Failure &f : failures) {
        switch (f.rule) {
        case analysis::Rule::Resistance:
            texts << QStringLiteral("resistance %1 mΩ > %2 mΩ")
                         .arg(exact(*f.value, 3), exact(f.limit, 3));
            break;
        case analysis::Rule::SelfDischarge:
            texts << (f.known() ? QStringLiteral("self-discharge %1 mV/day > %2 mV/day")
                                      .arg(QString::number(std::get<double>(*f.value), 'f', 2))
                                      .arg(std::get<double>(f.limit))
                                : QStringLiteral("self-discharge unknown (rested under %1 days)")
                                      .arg(rules.minDays));
            break;
        case analysis::Rule::Capacity:
            texts << (f.known() ? QStringLiteral("capacity %1 mAh < %2 mAh")
                                      .arg(exact(*f.value, 3), exact(f.limit, 3))
                                : QStringLiteral("capacity unknown"));
            break;
        }
    }
    return texts;
}

QString help(const char *text, bool rules)
{
    return QString::fromUtf8(text) + u'\n' + (rules ? QString::fromUtf8(kRulesHelp) : QString())
        + QString::fromUtf8(kCommon) + QString::fromUtf8(kExits);
}

} // namespace

int runCells(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("cells"), help(kCellsHelp, true));
    line.addValue(QStringLiteral("format"), QStringLiteral("F"));
    line.addValue(QStringLiteral("output"), QStringLiteral("FILE"));
    line.addValue(QStringLiteral("only"), QStringLiteral("V"));
    line.addRules();
    if (!line.parse(arguments))
        return kExitOk;
    if (!line.positional().isEmpty())
        line.fail(QStringLiteral("unexpected argument '%1'").arg(line.positional().front()));
    const Format format = line.format({"text", "csv", "json"});
    const analysis::Rules rules = line.rules();
    const QString only = line.value(QStringLiteral("only"));
    if (line.isSet(QStringLiteral("only")) && only != u"pass" && only != u"fail")
        line.fail(QStringLiteral("--only takes pass or fail, not '%1'").arg(only));

    const auto reg = line.openRegister(cellregister::Opening::MustExist);
    CellTable table(format);
    for (const cellregister::CellSummary &c : cellregister::summarizeCells(*reg)) {
        const QStringList reasons = reasonTexts(cellregister::failures(c, rules), rules);
        if (only.isEmpty() || (only == u"pass") == reasons.isEmpty())
            table.add(c, rules, reasons);
    }
    line.writeOutput(table.finish());
    return kExitOk;
}

int runCell(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("cell"), help(kCellHelp, false));
    line.addValue(QStringLiteral("format"), QStringLiteral("F"));
    line.addValue(QStringLiteral("output"), QStringLiteral("FILE"));
    if (!line.parse(arguments))
        return kExitOk;
    if (line.positional().size() != 1)
        line.fail(QStringLiteral("one LABEL is required"));
    const QString label = line.positional().front();
    const Format format = line.format({"text", "json"});

    const auto reg = line.openRegister(cellregister::Opening::MustExist);
    // Its summary, history and swaps all from one moment of the register.
    const cellregister::CellRegister::Snapshot snapshot(*reg);
    const auto cell = cellregister::summarizeCell(*reg, label);
    if (!cell)
        throw EUnknownEntry(QStringLiteral("the register holds no cell '%1'").arg(label));
    MeasurementTable history(Format::Json, tables::Place::Value);
    QByteArray text;
    cellregister::forEachMeasurement(*reg, label, [&](const cellregister::Measurement &m) {
        history.add(m);
        text += cellregister::timeText(m.at).toUtf8() + "  Group " + QByteArray::number(m.group)
            + "  " + m.resistanceText.toUtf8() + "  " + m.voltageText.toUtf8() + "  "
            + m.model.toUtf8() + "  " + m.source.toUtf8()
            + (m.sourceLine ? ':' + QByteArray::number(m.sourceLine) : QByteArray())
            + (m.restStart ? "  rest starts" : "") + '\n';
    });
    const QByteArray capacity =
        cell->capacityMicroampHours ? exactText(*cell->capacityMicroampHours, 3) : QByteArray();
    QByteArray swapsText;
    tables::Writer swapsJson(
        Format::Json,
        {{"pack", Kind::Text}, {"group", Kind::Number}, {"way", Kind::Text}, {"at", Kind::Text}},
        tables::Shape::Table, tables::Place::Value);
    for (const auto &[pack, s] : cellregister::swapsOfCell(*reg, label)) {
        const QByteArray way = s.removed == label ? "out of" : "into";
        swapsText += "swapped " + way + " pack " + pack.toUtf8() + " (group "
            + QByteArray::number(s.group + 1) + ") at " + cellregister::timeText(s.at).toUtf8()
            + '\n';
        swapsJson.text(pack).number(s.group + 1).text(way).text(cellregister::timeText(s.at));
        swapsJson.endRow();
    }
    if (format == Format::Json) {
        tables::Writer object(Format::Json,
                              {{"label", Kind::Text},
                               {"capacity_mah", Kind::Number},
                               {"pack", Kind::Text},
                               {"swaps", Kind::Json},
                               {"measurements", Kind::Json}},
                              tables::Shape::Object);
        object.text(label).number(capacity);
        cell->pack.isEmpty() ? object.none() : object.text(cell->pack);
        object.json(swapsJson.finish()).json(history.finish()).endRow();
        line.writeOutput(object.finish());
    } else {
        line.writeOutput("cell " + label.toUtf8() + "\ncapacity: "
                         + (capacity.isEmpty() ? "unknown" : capacity + " mAh") + "\npack: "
                         + (cell->pack.isEmpty() ? "none" : cell->pack.toUtf8()) + '\n' + swapsText
                         + "measurements: " + QByteArray::number(cell->measurements) + '\n' + text);
    }
    return kExitOk;
}

int runExport(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("export"), help(kExportHelp, false));
    line.addValue(QStringLiteral("format"), QStringLiteral("F"));
    line.addValue(QStringLiteral("output"), QStringLiteral("FILE"));
    if (!line.parse(arguments))
        return kExitOk;
    if (!line.positional().isEmpty())
        line.fail(QStringLiteral("unexpected argument '%1'").arg(line.positional().front()));
    const Format format = line.format({"csv", "json"});
    const auto reg = line.openRegister(cellregister::Opening::MustExist);
    Output out(line.value(QStringLiteral("output")));
    // Large registers go out in pieces rather than all at once.
    MeasurementTable table(format, tables::Place::Document,
                           [&out](QByteArrayView bytes) { out.write(bytes); });
    cellregister::forEachMeasurement(*reg, QString(),
                                     [&](const cellregister::Measurement &m) { table.add(m); });
    table.finish();
    out.finish();
    return kExitOk;
}

} // namespace cli
