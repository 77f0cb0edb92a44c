#include "cli/pictures/commands.h"
#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/pictures/batch_files.h"
#include "cli/pictures/batch_register.h"
#include "report/html_report.h"
#include "report/labels.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

namespace cli {

namespace {

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

report::Batch batchOf(const Invocation &inv)
{
    const char *name = subcommandName(inv.subcommand);
    if (inv.fromRegister)
        return batchFromRegister({inv.db, inv.lockWaitMilliseconds, inv.rules, givenRules(inv),
                                  inv.cellRange, inv.cellsFrom, inv.pack},
                                 name);
    return batchFromFiles({inv.files, inv.strict, inv.cellRange, inv.cellsFrom, inv.firstCell,
                           inv.rules.maxMicroohms, inv.series, inv.parallel,
                           inv.maxVoltageSpreadMicrovolts},
                          name);
}

} // namespace

int runReport(const Invocation &inv)
{
    writeWhole(
        inv.output,
        report::reportHtml(batchOf(inv),
                           inv.chinese ? report::Language::Chinese : report::Language::English));
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

int runLabels(const Invocation &inv)
{
    // The fields by their names, in the user's order.
    std::vector<report::LabelField> fields = report::kDefaultLabelFields;
    if (!inv.labelFields.isEmpty()) {
        fields.clear();
        for (const QString &name : inv.labelFields) {
            const qsizetype at = report::kLabelFieldNames.indexOf(name);
            if (at < 0)
                refuseUsage(QStringLiteral("labels"),
                            QStringLiteral("--fields takes %1, not '%2'")
                                .arg(report::kLabelFieldNames.join(QStringLiteral(", ")), name));
            fields.push_back(report::LabelField(at));
        }
    }
    const report::Batch batch = batchOf(inv);
    const std::vector<report::LabelText> labels =
        report::batchLabels(batch, fields, inv.onlyPassing);
    if (labels.empty())
        throw ENoReadings(QStringLiteral("labels: no cell to label"));
    report::DroppedFields dropped;
    writeWhole(inv.output,
               report::labelsPdf(labels, {inv.labelWidthMm, inv.labelHeightMm}, &dropped));
    // Fields left out to fit are said, never dropped in silence.
    QStringList lost;
    for (std::size_t f = 0; f < dropped.size(); ++f)
        if (dropped[f] > 0)
            lost << QStringLiteral("%1 on %2 labels")
                        .arg(report::kLabelFieldNames[qsizetype(f)])
                        .arg(dropped[f]);
    if (!lost.isEmpty())
        printMessage(QStringLiteral("battery-analyzer-cli: labels: left out to fit %1x%2 mm: %3")
                         .arg(inv.labelWidthMm)
                         .arg(inv.labelHeightMm)
                         .arg(lost.join(QStringLiteral(", "))));
    return kExitOk;
}

std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, const Invocation &inv)
{
    // serve draws labels for download too.
    if ((inv.subcommand == Subcommand::Labels || inv.subcommand == Subcommand::Serve) && !inv.help
        && !inv.version) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(dropQtNotes);
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    if (inv.subcommand == Subcommand::Report && inv.open && hasDisplay())
        return std::make_unique<QGuiApplication>(argc, argv);
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace cli
