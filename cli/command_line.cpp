#include "cli/command_line.h"

#include "cellregister/location.h"
#include "cli/errors.h"
#include "cli/output.h"
#include "reading/decimal.h"

namespace cli {

CommandLine::CommandLine(const QString &name, const QString &help) : name_(name), help_(help)
{
    parser_.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    addValue(QStringLiteral("db"), QStringLiteral("DB"));
    addValue(QStringLiteral("lock-wait"), QStringLiteral("S"));
}

void CommandLine::addValue(const QString &name, const QString &valueName)
{
    parser_.addOption(QCommandLineOption(name, QString(), valueName));
}

void CommandLine::addFlag(const QString &name)
{
    parser_.addOption(QCommandLineOption(name));
}

void CommandLine::addRules()
{
    for (const char *rule : {"max-resistance", "max-self-discharge", "min-capacity", "min-days"})
        addValue(QString::fromLatin1(rule), QStringLiteral("N"));
}

bool CommandLine::parse(const QStringList &arguments)
{
    if (asksForHelp(arguments)) {
        if (!help_.isEmpty())
            writeWhole({}, help_.toUtf8());
        return false;
    }
    if (!parser_.parse(QStringList{name_} + arguments))
        fail(parserFault(parser_));
    return true;
}

Format CommandLine::format(const QStringList &formats) const
{
    const QString f =
        isSet(QStringLiteral("format")) ? value(QStringLiteral("format")) : formats.front();
    if (!formats.contains(f))
        fail(QStringLiteral("unknown format '%1'; the formats are %2")
                 .arg(f, formats.join(QStringLiteral(", "))));
    return f == u"csv" ? Format::Csv : f == u"json" ? Format::Json : Format::Text;
}

std::int64_t CommandLine::decimalOption(const QString &name, int places, std::int64_t max) const
{
    const QString text = value(name);
    const auto units = decimalUnits(text, places);
    if (!units || *units > max)
        fail(QStringLiteral("--%1 takes a number from 0 to %2 with at most %3 decimals, not '%4'")
                 .arg(name, QString::fromLatin1(reading::decimalText({max, places})),
                      QString::number(places), text));
    return *units;
}

analysis::Rules CommandLine::restRules() const
{
    analysis::Rules r;
    if (isSet(QStringLiteral("max-self-discharge")))
        r.maxSelfDischargeMvPerDay =
            double(decimalOption(QStringLiteral("max-self-discharge"), 3, 100'000'000)) / 1000.0;
    if (isSet(QStringLiteral("min-capacity")))
        r.minCapacityMicroampHours =
            decimalOption(QStringLiteral("min-capacity"), 3, 1'000'000'000'000);
    if (isSet(QStringLiteral("min-days")))
        r.minDays = double(decimalOption(QStringLiteral("min-days"), 3, 36'500'000)) / 1000.0;
    return r;
}

analysis::Rules CommandLine::rules() const
{
    analysis::Rules r = restRules();
    if (isSet(QStringLiteral("max-resistance")))
        r.maxMicroohms = decimalOption(QStringLiteral("max-resistance"), 6, 100'000'000);
    return r;
}

int CommandLine::lockWaitMilliseconds() const
{
    return isSet(QStringLiteral("lock-wait"))
        ? int(decimalOption(QStringLiteral("lock-wait"), 3, 3'600'000))
        : 10'000;
}

QString CommandLine::db() const
{
    if (isSet(QStringLiteral("db")) && value(QStringLiteral("db")).isEmpty())
        fail(QStringLiteral("--db needs a file or a postgresql:// address"));
    return value(QStringLiteral("db"));
}

std::unique_ptr<cellregister::CellRegister> CommandLine::openRegister(
    cellregister::Opening opening) const
{
    const int waitMs = lockWaitMilliseconds();
    return std::make_unique<cellregister::CellRegister>(cellregister::locate(db()), waitMs,
                                                        opening);
}

} // namespace cli
