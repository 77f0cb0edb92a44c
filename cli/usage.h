#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What every subcommand's command line shares: its faults' form and its numbers.
namespace cli {

// Raises EUsageError: "NAME: TEXT" and a line pointing at the subcommand's --help.
[[noreturn]] void refuseUsage(const QString &subcommand, const QString &text);

// A non-negative decimal (digits with at most one point, "5", "0.25", ".5") with at most
// `places` decimals, as a whole number of 10^-places; none for any other text.
std::optional<std::int64_t> decimalUnits(const QString &text, int places);

// The parser's fault in the tool's words: "unknown option '--x'", "--output needs a value",
// "--strict takes no value".
QString parserFault(const QCommandLineParser &parser);

// True when --help or -h comes before any "--": help wins over every other fault.
bool asksForHelp(const QStringList &arguments);

} // namespace cli
