#include "cli/register_options.h"

#include "cellregister/location.h"
#include "cli/errors.h"
#include "cli/output.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace cli {

namespace {

constexpr char kProgram[] = "battery-analyzer-cli";

// A non-negative decimal with at most `places` decimals, in 10^-places units.
std::optional<std::int64_t> decimalUnits(const QString &text, int places)
{
    static const QRegularExpression shape(QStringLiteral("^([0-9]{1,12})(?:\\.([0-9]+))?$"));
    const auto m = shape.match(text);
    if (!m.hasMatch() || m.captured(2).size() > places)
        return std::nullopt;
    std::int64_t units = m.captured(1).toLongLong();
    QString fraction = m.captured(2);
    for (int i = 0; i < places; ++i)
        units = units * 10 + (i < fraction.size() ? fraction[i].digitValue() : 0);
    return units;
}

} // namespace

RegisterCommandLine::RegisterCommandLine(const QString &name, const QString &help)
    : name_(name), help_(help)
{
    parser_.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    addValue(QStringLiteral("db"), QStringLiteral("DB"));
    addValue(QStringLiteral("lock-wait"), QStringLiteral("S"));
}

void RegisterCommandLine::addValue(const QString &name, const QString &valueName)
{
    parser_.addOption(QCommandLineOption(name, QString(), valueName));
}

void RegisterCommandLine::addFlag(const QString &name)
{
    parser_.addOption(QCommandLineOption(name));
}

void RegisterCommandLine::addRules()
{
    for (const char *rule : {"max-resistance", "max-self-discharge", "min-capacity", "min-days"})
        addValue(QString::fromLatin1(rule), QStringLiteral("N"));
}

void RegisterCommandLine::fail(const QString &text) const
{
    throw EUsageError(
        QStringLiteral("%1: %2\nTry '%3 %1 --help'.").arg(name_, text, QLatin1String(kProgram)));
}

bool RegisterCommandLine::parse(const QStringList &arguments)
{
    for (const QString &a : arguments) {
        if (a == u"--")
            break;
        if (a == u"--help" || a == u"-h") {
            Output out(QString{});
            out.write(help_.toUtf8());
            out.finish();
            return false;
        }
    }
    if (!parser_.parse(QStringList{QLatin1String(kProgram)} + arguments)) {
        QString text = parser_.errorText();
        if (!text.isEmpty())
            text[0] = text[0].toLower();
        fail(core::trimErrorTail(text));
    }
    return true;
}

Format RegisterCommandLine::format(const QStringList &formats) const
{
    const QString f =
        isSet(QStringLiteral("format")) ? value(QStringLiteral("format")) : formats.front();
    if (!formats.contains(f))
        fail(QStringLiteral("unknown format '%1'; the formats are %2")
                 .arg(f, formats.join(QStringLiteral(", "))));
    return f == u"csv" ? Format::Csv : f == u"json" ? Format::Json : Format::Text;
}

std::int64_t RegisterCommandLine::decimalOption(const QString &name, int places,
                                                std::int64_t max) const
{
    const QString text = value(name);
    const auto units = decimalUnits(text, places);
    if (!units || *units > max)
        fail(QStringLiteral("--%1 takes a number from 0 to %2 with at most %3 decimals, not '%4'")
                 .arg(name)
                 .arg(double(max) / std::pow(10.0, places))
                 .arg(places)
                 .arg(text));
    return *units;
}

cellregister::Rules RegisterCommandLine::rules() const
{
    cellregister::Rules r;
    if (isSet(QStringLiteral("max-resistance")))
        r.maxMicroohms = decimalOption(QStringLiteral("max-resistance"), 6, 100'000'000);
    if (isSet(QStringLiteral("max-self-discharge")))
        r.maxSelfDischargeMillivoltsPerDay =
            double(decimalOption(QStringLiteral("max-self-discharge"), 3, 100'000'000)) / 1000.0;
    if (isSet(QStringLiteral("min-capacity")))
        r.minCapacityMicroampHours =
            decimalOption(QStringLiteral("min-capacity"), 3, 1'000'000'000'000);
    if (isSet(QStringLiteral("min-days")))
        r.minDays = double(decimalOption(QStringLiteral("min-days"), 3, 36'500'000)) / 1000.0;
    return r;
}

std::unique_ptr<cellregister::CellRegister> RegisterCommandLine::openRegister() const
{
    int waitMs = 10'000;
    if (isSet(QStringLiteral("lock-wait")))
        waitMs = int(decimalOption(QStringLiteral("lock-wait"), 3, 3'600'000));
    if (isSet(QStringLiteral("db")) && value(QStringLiteral("db")).isEmpty())
        fail(QStringLiteral("--db needs a file or a postgresql:// address"));
    return std::make_unique<cellregister::CellRegister>(
        cellregister::locate(value(QStringLiteral("db"))), waitMs);
}

namespace {

struct Label {
    QString prefix;
    qint64 number = 0;
    int width = 0;
};

std::optional<Label> splitLabel(const QString &label)
{
    static const QRegularExpression shape(QStringLiteral("^([^0-9]*)([0-9]{1,9})$"));
    const auto m = shape.match(label);
    if (!m.hasMatch())
        return std::nullopt;
    return Label{m.captured(1), m.captured(2).toLongLong(), int(m.captured(2).size())};
}

// Written in place: a record numbers as many labels as it has readings.
QString labelText(const Label &l, qint64 number)
{
    char digits[20]; // the lowest first
    int n = 0;
    do {
        digits[n++] = char('0' + number % 10);
        number /= 10;
    } while (number > 0);
    const int width = std::max(n, l.width);
    QString text(l.prefix.size() + width, Qt::Uninitialized);
    QChar *out = std::copy(l.prefix.cbegin(), l.prefix.cend(), text.data());
    for (int place = width - 1; place >= 0; --place)
        *out++ = QLatin1Char(place < n ? digits[place] : '0');
    return text;
}

constexpr qint64 kMaxCells = 10'000'000;

} // namespace

QStringList labelRange(const RegisterCommandLine &line, const QString &range)
{
    const QStringList ends = range.split(QStringLiteral(".."));
    const auto first = splitLabel(ends.front());
    const auto last = ends.size() == 2 ? splitLabel(ends.back()) : first;
    if (ends.size() > 2 || !first || !last || first->prefix != last->prefix
        || first->width != last->width)
        line.fail(
            QStringLiteral(
                "--cells takes labels like A001..A020 (one prefix, numbers of one width), not '%1'")
                .arg(range));
    if (last->number < first->number)
        line.fail(QStringLiteral("--cells %1 runs backwards").arg(range));
    if (last->number - first->number >= kMaxCells)
        line.fail(QStringLiteral("--cells %1 names more than %2 cells").arg(range).arg(kMaxCells));
    QStringList labels;
    labels.reserve(last->number - first->number + 1);
    for (qint64 n = first->number; n <= last->number; ++n)
        labels << labelText(*first, n);
    return labels;
}

QStringList labelsFrom(const QString &first, qsizetype count)
{
    const auto l = splitLabel(first);
    QStringList labels;
    if (!l)
        return labels;
    labels.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const QString text = labelText(*l, l->number + i);
        if (text.size() != first.size())
            return {};
        labels << text;
    }
    return labels;
}

} // namespace cli
