#include "cli/usage.h"

#include "cli/errors.h"
#include "reading/decimal.h"

#include <QRegularExpression>

#include <algorithm>

namespace cli {

void refuseUsage(const QString &subcommand, const QString &text)
{
    throw EUsageError(
        QStringLiteral("%1: %2\nTry 'battery-analyzer-cli %1 --help'.").arg(subcommand, text));
}

std::optional<std::int64_t> decimalUnits(const QString &text, int places)
{
    std::int64_t units = 0;
    int decimals = -1;
    int digits = 0;
    for (QChar c : text) {
        if (c == u'.' && decimals < 0) {
            decimals = 0;
        } else if (c >= u'0' && c <= u'9') {
            // Beyond 18 digits in all, 10^-places units would overflow; no option takes such.
            if (++digits + std::max(places - std::max(decimals, 0), 0) > 18)
                return std::nullopt;
            units = units * 10 + (c.unicode() - '0');
            if (decimals >= 0 && ++decimals > places)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    return reading::Decimal{units, std::max(decimals, 0)}.at(places);
}

// The parser reports its faults as sentences of its own; the tool's texts name the option.
QString parserFault(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().front();
        return QStringLiteral("unknown option '%1%2'").arg(name.size() == 1 ? "-" : "--", name);
    }
    static const QRegularExpression quoted(QStringLiteral("'([^'=]*)"));
    const QString error = parser.errorText();
    const QString option = quoted.match(error).captured(1);
    if (error.startsWith(u"Missing value"))
        return QStringLiteral("%1 needs a value").arg(option);
    if (error.startsWith(u"Unexpected value"))
        return QStringLiteral("%1 takes no value").arg(option);
    return error;
}

bool asksForHelp(const QStringList &arguments)
{
    for (const QString &a : arguments) {
        if (a == u"--")
            return false;
        if (a == u"--help" || a == u"-h")
            return true;
    }
    return false;
}

} // namespace cli
