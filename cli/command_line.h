#pragma once

#include "cellregister/cell_register.h"
#include "cellregister/cell_summary.h"
#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/usage.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace cli {

// Exit codes of the register's subcommands, beyond the tool's own.
enum RegisterExitCode : int {
    kExitRegister = 8, // the register cannot be opened, read or written
    kExitLabelMismatch = 9, // readings and labels differ in number: nothing stored
    kExitUnknownEntry = 10, // an unknown or repeated cell label or pack name
};

// One subcommand's command line read with QCommandLineParser, in the tool's manner: --help
// wins over every fault, and a fault raises EUsageError ending in "Try '... --help'."
class CommandLine {
public:
    // name: "record", "pack replace"; every subcommand takes --db and --lock-wait. An empty
    // help leaves --help to the caller.
    CommandLine(const QString &name, const QString &help);

    void addValue(const QString &name, const QString &valueName);
    void addFlag(const QString &name);
    // The rules of `cells` and `match`: --max-resistance, --max-self-discharge,
    // --min-capacity, --min-days.
    void addRules();

    // False when --help was asked for (and printed, if this line has a help text).
    bool parse(const QStringList &arguments);

    bool isSet(const QString &name) const { return parser_.isSet(name); }
    QString value(const QString &name) const { return parser_.value(name); }
    QStringList positional() const { return parser_.positionalArguments(); }
    [[noreturn]] void fail(const QString &text) const { refuseUsage(name_, text); }
    const QString &name() const { return name_; }

    // The result, whole, to --output or standard output.
    void writeOutput(QByteArrayView bytes) const
    {
        writeWhole(value(QStringLiteral("output")), bytes);
    }
    // A format among those listed (the first is the default).
    Format format(const QStringList &formats) const;
    analysis::Rules rules() const;
    // The rules but --max-resistance, for callers that read that one themselves.
    analysis::Rules restRules() const;
    // A decimal number with at most `places` decimals, in 10^-places units, up to max.
    std::int64_t decimalOption(const QString &name, int places, std::int64_t max) const;
    // --lock-wait in milliseconds (default 10 s).
    int lockWaitMilliseconds() const;
    // --db as given; refuses an empty one.
    QString db() const;
    // Only a command that stores readings makes a register where there is none.
    std::unique_ptr<cellregister::CellRegister> openRegister(cellregister::Opening opening) const;

private:
    QString name_;
    QString help_;
    QCommandLineParser parser_;
};

} // namespace cli
