#pragma once

#include "cellregister/cell_register.h"
#include "cellregister/cell_summary.h"
#include "cli/arguments.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
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
class RegisterCommandLine {
public:
    // name: "record", "pack replace"; every subcommand takes --db and --lock-wait.
    RegisterCommandLine(const QString &name, const QString &help);

    void addValue(const QString &name, const QString &valueName);
    void addFlag(const QString &name);
    // The rules of `cells` and `match`: --max-resistance, --max-self-discharge,
    // --min-capacity, --min-days.
    void addRules();

    // False when --help was asked for (and printed).
    bool parse(const QStringList &arguments);

    bool isSet(const QString &name) const { return parser_.isSet(name); }
    QString value(const QString &name) const { return parser_.value(name); }
    QStringList positional() const { return parser_.positionalArguments(); }
    [[noreturn]] void fail(const QString &text) const;

    // A format among those listed (the first is the default).
    Format format(const QStringList &formats) const;
    cellregister::Rules rules() const;
    // A non-negative decimal number with at most `places` decimals, in 10^-places units.
    std::int64_t decimalOption(const QString &name, int places, std::int64_t max) const;
    std::unique_ptr<cellregister::CellRegister> openRegister() const;

private:
    QString name_;
    QString help_;
    QCommandLineParser parser_;
};

// "A001..A020" as its labels; raises EUsageError through the command line when malformed
// or reversed.
QStringList labelRange(const RegisterCommandLine &line, const QString &range);
// `count` labels from `first` on ("A001" and 3: A001, A002, A003); empty when the numbers
// outgrow their width.
QStringList labelsFrom(const QString &first, qsizetype count);

} // namespace cli
