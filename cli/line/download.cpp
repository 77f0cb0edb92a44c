#include "board/data_board.h"
#include "board/errors.h"
#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/common/rows.h"
#include "cli/line/commands.h"
#include "cli/line/transfer.h"

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>
#include <exception>

namespace cli {

namespace {

// A typo in --output fails at once, not after the whole transfer: the folder must exist and
// take a new file, and the name must not be a folder.
void checkOutputPath(const QString &path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    const QString absolute = info.absoluteFilePath();
    if (info.isDir())
        throw board::cannotCreateFile(absolute, EISDIR);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        throw board::cannotCreateFile(absolute, ENOENT);
    if (!folder.isWritable() && !(info.exists() && info.isWritable()))
        throw board::cannotCreateFile(absolute, EACCES);
}

// Writes what arrived: the text format through a data board exactly as the window's receive
// handler fills it, so that it is the window's Save byte for byte.
void write(const Invocation &inv, const Transfer &t, const QByteArray &startedAt)
{
    Output out(inv.output);
    if (inv.format == Format::Text) {
        board::DataBoard board;
        for (const QByteArray &line : t.lines)
            board.AppendLine(line);
        out.setBoardText();
        out.write(board.text());
        out.finish();
        return;
    }
    ReadingTable table(inv.format, {false, reading::modelName(inv.model), startedAt}, out);
    for (const reading::Reading &value : t.values)
        table.add(value);
    table.finish();
}

} // namespace

int runDownload(const Invocation &inv)
{
    checkOutputPath(inv.output);
    // When the download began, with the local offset from UTC.
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray startedAt =
        now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toLatin1();
    const TransferRequest request{inv.com, inv.portPath, inv.model, inv.idleMilliseconds, false};
    const Transfer t = runTransfer(request);
    using End = Transfer::End;

    // Whatever arrived is written, even when the transfer ended badly.
    if (t.readings() > 0 || t.end == End::Interrupted || t.end == End::DeviceLost)
        write(inv, t, startedAt);
    if (t.end == End::NotSent)
        throw EDeviceFault(t.failure);
    if (!t.disturbed.isEmpty())
        throw EDeviceFault(QStringLiteral("%1; %2 written").arg(t.disturbed, t.readingsText()));
    if (t.end == End::NoData)
        throw ENoData(QStringLiteral("%1: the analyzer holds no readings").arg(request.portName()));
    if (t.end == End::DeviceLost)
        throw EDeviceFault(QStringLiteral("%1; %2 written").arg(t.failure, t.readingsText()));
    if (t.closeFailure)
        std::rethrow_exception(t.closeFailure);
    if (t.end == End::Interrupted) {
        printMessage(
            QStringLiteral("battery-analyzer-cli: interrupted; %1 written").arg(t.readingsText()));
        return kExitInterrupted;
    }
    if (t.receiveFailures > 0)
        throw EDeviceFault(
            QStringLiteral("%1: %2 received block(s) could not be read; %3 written")
                .arg(request.portName(), QString::number(t.receiveFailures), t.readingsText()));
    if (t.readings() == 0)
        throw EDeviceFault(
            QStringLiteral("%1: no answer from the analyzer within %2 s")
                .arg(request.portName(), QString::number(inv.idleMilliseconds / 1000.0)));
    return kExitOk;
}

} // namespace cli
