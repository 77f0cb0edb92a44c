// battery-analyzer-cli: the analyzer and its reading files from the command line.
#include "analysis/errors.h"
#include "cli/arguments.h"
#include "cli/errors.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/picture_commands.h"
#include "cli/register_commands.h"
#include "cli/streams.h"
#include "cli/subcommands.h"
#include "link/errors.h"
#include "report/errors.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

QtMessageHandler qtMessages = nullptr;

// Qt's SQL drivers write notes of their own to standard error about what the register has
// already raised as a fault in the tool's words (a statement not freed on a connection the
// server closed, a query on a connection lost): those notes go nowhere, the rest as before.
void dropSqlDriverNotes(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const bool fromSql = (context.category && qstrncmp(context.category, "qt.sql", 6) == 0)
        || text.startsWith(u"QSql") || text.startsWith(u"QPSQL") || text.startsWith(u"QSQLITE")
        || text.startsWith(u"Unable to free statement");
    if (fromSql && type != QtFatalMsg)
        return;
    if (qtMessages)
        qtMessages(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

int exitCodeFor(const core::Error &e)
{
    if (const int code = cli::registerExitCode(e))
        return code;
    if (dynamic_cast<const EUsageError *>(&e) || dynamic_cast<const ELabelDoesNotFit *>(&e))
        return cli::kExitUsage;
    if (dynamic_cast<const ENotAReading *>(&e) || dynamic_cast<const ENoReadings *>(&e))
        return cli::kExitNotAReading;
    if (dynamic_cast<const ENoData *>(&e))
        return cli::kExitNoData;
    if (dynamic_cast<const EDeviceFault *>(&e) || dynamic_cast<const analyzer::LinkError *>(&e))
        return cli::kExitDevice;
    if (dynamic_cast<const ENotEnoughCells *>(&e))
        return cli::kExitNotEnoughCells;
    if (dynamic_cast<const ENotConfirmed *>(&e))
        return cli::kExitNotConfirmed;
    return cli::kExitFileError;
}

int run(const cli::Invocation &inv)
{
    switch (inv.subcommand) {
    case cli::Subcommand::Download: return cli::runDownload(inv);
    case cli::Subcommand::ClearMemory: return cli::runClearMemory(inv);
    case cli::Subcommand::Convert: return cli::runConvert(inv);
    case cli::Subcommand::Stats: return cli::runStats(inv);
    case cli::Subcommand::Match: return cli::runMatch(inv);
    case cli::Subcommand::Ports: return cli::runPorts(inv);
    case cli::Subcommand::None: break;
    }
    return cli::kExitUsage;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::unique_ptr<QCoreApplication> app = cli::makeApplication(argc, argv);
    qtMessages = qInstallMessageHandler(dropSqlDriverNotes);
    try {
        const QStringList arguments = cli::argumentsOf(argc, argv).mid(1);
        // "help NAME" is "NAME --help" for the subcommands that read their own options.
        if (arguments.size() == 2 && arguments[0] == u"help"
            && cli::isRegisterCommand({arguments[1]}))
            return cli::runRegisterCommand({arguments[1], QStringLiteral("--help")});
        if (cli::isRegisterCommand(arguments))
            return cli::runRegisterCommand(arguments);
        if (cli::isPictureSubcommand(arguments))
            return cli::runPictureSubcommand(arguments);
        const cli::Invocation inv = cli::parseArguments(arguments);
        if (inv.version) {
            cli::writeWhole({}, "battery-analyzer-cli " + QByteArray(BATTERY_VERSION) + '\n');
            return cli::kExitOk;
        }
        if (inv.help) {
            cli::writeWhole({}, cli::helpText(inv.subcommand).toUtf8());
            return cli::kExitOk;
        }
        return run(inv);
    } catch (const core::Error &e) {
        cli::printMessage(QStringLiteral("battery-analyzer-cli: ") + e.message());
        return exitCodeFor(e);
    }
}
