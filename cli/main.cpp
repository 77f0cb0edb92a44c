// battery-analyzer-cli: the analyzer and its reading files from the command line.
#include "analysis/errors.h"
#include "cellregister/errors.h"
#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/common/streams.h"
#include "cli/files/commands.h"
#include "cli/line/commands.h"
#include "labview/errors.h"
#include "link/errors.h"
#include "report/errors.h"
#ifndef BATTERY_CLI_LINE_AND_FILES
#include "cli/pictures/commands.h"
#include "cli/register/commands.h"
#endif

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace {

using namespace cli;

template <class... Fault>
bool raisedAs(const core::Error &e)
{
    return (... || (dynamic_cast<const Fault *>(&e) != nullptr));
}

// Each code, the words every help lists it in, and the faults that end with it. A fault no
// row claims is a file's.
struct ExitRow {
    int code;
    const char *meaning;
    bool (*raisedBy)(const core::Error &);
};

const ExitRow kExitRows[] = {
    {kExitOk, "done", nullptr},
    {kExitFileError,
     "a file cannot be read or written, or serve cannot listen on its\n"
     "address or keep its access token",
     raisedAs<EServeFault>},
    {kExitUsage, "bad arguments, or a label that does not fit its label size",
     raisedAs<EUsageError, ELabelDoesNotFit>},
    {kExitNotAReading, "a line is not a reading (--strict), or the files hold no reading",
     raisedAs<ENotAReading, ENoReadings>},
    {kExitNoData, "the analyzer holds no readings (download, record)", raisedAs<ENoData>},
    {kExitDevice,
     "the port cannot be opened or written, its device went away, the analyzer did not\n"
     "answer, a received block could not be read, or bytes were lost or added on the\n"
     "line; what arrived is still written",
     raisedAs<EDeviceFault, analyzer::LinkError>},
    {kExitNotEnoughCells,
     "too few cells lie within the voltage window (match, report, labels), no\n"
     "spare cell fits (pack replace), or cells lack a capacity (match\n"
     "--without-capacity refuse)",
     raisedAs<ENotEnoughCells, EMissingCapacity>},
    {kExitNotConfirmed, "clearing the memory was not confirmed (clear-memory)",
     raisedAs<ENotConfirmed>},
    {kExitRegister, "the cell register cannot be opened, read or written",
     raisedAs<ERegisterFault>},
    {kExitLabelMismatch, "readings and cell labels differ in number; nothing stored (record)",
     raisedAs<ELabelMismatch>},
    {kExitUnknownEntry,
     "an unknown or repeated cell label, pack name or record run (or one taken back\n"
     "already), a retired cell or one in a pack, a label another cell has in any case,\n"
     "or a capacity file that cannot be imported as it is",
     raisedAs<EUnknownEntry, EDuplicateEntry, ECapacityFile>},
    {kExitInterrupted, "interrupted by Ctrl+C; what had arrived is still written", nullptr},
};

int exitCodeFor(const core::Error &e)
{
    for (const ExitRow &row : kExitRows)
        if (row.raisedBy && row.raisedBy(e))
            return row.code;
    return kExitFileError;
}

QString exitCodesText()
{
    QString text = QStringLiteral("\nExit codes:\n");
    for (const ExitRow &row : kExitRows)
        text += QStringLiteral("  ") + QString::number(row.code).leftJustified(5)
            + QString::fromUtf8(row.meaning).replace(u'\n', QStringLiteral("\n       ")) + u'\n';
    return text;
}

// The subcommands of the line and of reading files: Qt Core and Serial Port are all they
// need.
using Runner = int (*)(const Invocation &);
Runner lineOrFiles(const Invocation &inv)
{
    using S = Subcommand;
    switch (inv.subcommand) {
    case S::Download: return runDownload;
    case S::ClearMemory: return runClearMemory;
    case S::Convert: return runConvert;
    case S::Stats: return runStats;
    case S::Match: return inv.fromRegister ? nullptr : runMatch;
    case S::Ports: return runPorts;
    default: return nullptr;
    }
}

#ifdef BATTERY_CLI_LINE_AND_FILES
// The tool a user runs holds the line's and the files' subcommands alone, so that a script
// converting many files, or a completion, does not load the register's, the pictures' and the
// lab view's libraries at every start. For their subcommands it becomes the program that holds
// everything: the same arguments, the same process.
constexpr char kWholeTool[] = "battery-analyzer-cli-register";

[[noreturn]] void becomeTheWholeTool(char *argv[])
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString dir = QFileInfo(self).absolutePath();
    // Beside it in the build; in libexec when installed.
    for (const QString &candidate :
         {dir + u'/' + QLatin1String(kWholeTool),
          dir + QStringLiteral("/../libexec/battery-analyzer/") + QLatin1String(kWholeTool)})
        ::execv(QFile::encodeName(candidate).constData(), argv);
    // A file of the installation that is gone: a file's fault, not the arguments'.
    throw EInputFile(
        QStringLiteral("%1 is missing beside %2: install the tool again").arg(kWholeTool, self));
}

int run(const Invocation &inv)
{
    const Runner runner = lineOrFiles(inv);
    return runner ? runner(inv) : kExitUsage;
}
#else
int run(const Invocation &inv)
{
    if (const Runner runner = lineOrFiles(inv))
        return runner(inv);
    using S = Subcommand;
    switch (inv.subcommand) {
    case S::Match: return runRegisterMatch(inv);
    case S::Record: return runRecord(inv);
    case S::Capacity: return runCapacity(inv);
    case S::Cells: return runCells(inv);
    case S::Cell: return runCell(inv);
    case S::PackList: return runPackList(inv);
    case S::PackShow: return runPackShow(inv);
    case S::PackReplace: return runPackReplace(inv);
    case S::PackDelete: return runPackDelete(inv);
    case S::CellRetire: return runCellRetire(inv);
    case S::CellRestore: return runCellRestore(inv);
    case S::CellRelabel: return runCellRelabel(inv);
    case S::CellMerge: return runCellMerge(inv);
    case S::Runs: return runRuns(inv);
    case S::Undo: return runUndo(inv);
    case S::Serve: return runServe(inv);
    case S::Export: return runExport(inv);
    case S::Report: return runReport(inv);
    case S::Labels: return runLabels(inv);
    default: return kExitUsage; // Pack alone is refused by its check
    }
}
#endif

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

} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<QCoreApplication> app;
    try {
        const QStringList arguments = argumentsOf(argc, argv).mid(1);
        // For the bash completion: the words before the one being completed, and that one.
        if (arguments.value(0) == u"--completion-words" && arguments.size() > 1) {
            const QStringList words =
                completionWords(arguments.mid(1, arguments.size() - 2), arguments.back());
            writeWhole({}, (words.join(u'\n') + u'\n').toUtf8());
            return kExitOk;
        }
        const Invocation inv = parseArguments(arguments);
#ifdef BATTERY_CLI_LINE_AND_FILES
        if (!inv.help && !inv.version && inv.subcommand != Subcommand::None
            && inv.subcommand != Subcommand::Pack && !lineOrFiles(inv))
            becomeTheWholeTool(argv);
        app = std::make_unique<QCoreApplication>(argc, argv);
#else
        app = makeApplication(argc, argv, inv);
#endif
        qtMessages = qInstallMessageHandler(dropSqlDriverNotes);
        if (inv.version) {
            writeWhole({}, "battery-analyzer-cli " + QByteArray(BATTERY_VERSION) + '\n');
            return kExitOk;
        }
        if (inv.help) {
            writeWhole({}, (helpText(inv.subcommand) + exitCodesText()).toUtf8());
            return kExitOk;
        }
        return run(inv);
    } catch (const core::Error &e) {
        printMessage(QStringLiteral("battery-analyzer-cli: ") + e.message());
        return exitCodeFor(e);
    }
}
