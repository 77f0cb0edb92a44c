#include "cli/picture_commands.h"

#include "cli/errors.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/picture_options.h"
#include "report/html_report.h"
#include "report/labels.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QUrl>

namespace cli {

namespace {

std::optional<PictureKind> kindOf(const QString &name)
{
    if (name == u"report")
        return PictureKind::Report;
    if (name == u"labels")
        return PictureKind::Labels;
    return std::nullopt;
}

// Qt's own notes from starting its offscreen platform (no runtime folder, no session bus)
// say nothing about the labels; the tool's messages and errors go to standard error
// without Qt's logging.
void dropQtNotes(QtMsgType, const QMessageLogContext &, const QString &)
{ }

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

report::Batch batchOf(const PictureInvocation &inv, const char *subcommand)
{
    return inv.fromRegister ? batchFromRegister(*inv.fromRegister, subcommand)
                            : batchFromFiles(inv.batch, subcommand);
}

int runReport(const PictureInvocation &inv)
{
    const report::Batch batch = batchOf(inv, "report");
    writeWhole(inv.output, report::reportHtml(batch, inv.language));
    if (!inv.open)
        return kExitOk;
    const QString path = QFileInfo(inv.output).absoluteFilePath();
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        printMessage(QStringLiteral(
                         "battery-analyzer-cli: report: no display to open it on; the report is %1")
                         .arg(path));
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        printMessage(
            QStringLiteral("battery-analyzer-cli: report: no browser took it; the report is %1")
                .arg(path));
    return kExitOk;
}

int runLabels(const PictureInvocation &inv)
{
    const report::Batch batch = batchOf(inv, "labels");
    std::vector<report::LabelText> labels;
    const auto wanted = [&](const report::Cell &cell) {
        return !inv.onlyPassing || cell.pass == *inv.onlyPassing;
    };
    if (batch.pack) {
        QHash<QString, const report::Cell *> byLabel;
        for (const report::Cell &cell : batch.cells)
            byLabel.insert(cell.label, &cell);
        for (std::size_t g = 0; g < batch.pack->groups.size(); ++g)
            for (qsizetype p = 0; p < batch.pack->groups[g].size(); ++p) {
                const report::Cell &cell = *byLabel.value(batch.pack->groups[g][p]);
                if (wanted(cell))
                    labels.push_back(report::labelText(
                        cell, report::PackPlace{batch.pack->name, int(g + 1), int(p + 1)}));
            }
    } else {
        for (const report::Cell &cell : batch.cells)
            if (wanted(cell))
                labels.push_back(report::labelText(cell, std::nullopt));
    }
    if (labels.empty())
        throw ENoReadings(QStringLiteral("labels: no cell to label"));
    writeWhole(inv.output, report::labelsPdf(labels, inv.size));
    return kExitOk;
}

} // namespace

bool isPictureSubcommand(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return false;
    if (arguments[0] == u"help")
        return arguments.size() > 1 && kindOf(arguments[1]);
    return bool(kindOf(arguments[0]));
}

std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv)
{
    const QString first = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    bool open = false;
    for (int i = 2; i < argc; ++i)
        open = open || qstrcmp(argv[i], "--open") == 0;
    if (first == u"labels") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(dropQtNotes);
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    if (first == u"report" && open && hasDisplay())
        return std::make_unique<QGuiApplication>(argc, argv);
    return std::make_unique<QCoreApplication>(argc, argv);
}

int runPictureSubcommand(const QStringList &arguments)
{
    if (arguments[0] == u"help") {
        writeWhole({}, pictureHelpText(*kindOf(arguments[1])).toUtf8());
        return kExitOk;
    }
    const PictureKind kind = *kindOf(arguments[0]);
    const PictureInvocation inv = parsePictureArguments(kind, arguments.mid(1));
    if (inv.help) {
        writeWhole({}, pictureHelpText(kind).toUtf8());
        return kExitOk;
    }
    return kind == PictureKind::Report ? runReport(inv) : runLabels(inv);
}

} // namespace cli
