#include "board/data_board.h"
#include "board/errors.h"
#include "cli/errors.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/live_count.h"
#include "cli/output.h"
#include "cli/ports.h"
#include "cli/rows.h"
#include "cli/subcommands.h"
#include "link/error_text.h"
#include "link/session.h"
#include "link/tmscomm.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <exception>
#include <vector>

namespace cli {

namespace {

// A wait for the line to fall quiet longer than this means an earlier transfer was dropped.
constexpr int kReportedWaitMs = 2 * analyzer::Session::kQuietBeforeDownloadMs;

// How a download ended.
enum class End { Quiet, NoData, DeviceLost, Interrupted, NotSent };

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

// One download: the readings go onto a data board exactly as the window's receive handler
// puts them there, so that the text format is the window's Save byte for byte.
class Download {
public:
    explicit Download(const Invocation &inv) : inv_(inv), session_(comm_)
    {
        session_.setModel(inv.model);
        idle_.setSingleShot(true);
        idle_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&idle_, &QTimer::timeout, [this] { end(End::Quiet); });
        QObject::connect(&interrupt_, &InterruptNotifier::interrupted, [this] { end(End::Interrupted); });
        QObject::connect(&session_, &analyzer::Session::reading, [this](const auto &value, const QByteArray &line) {
            board_.AppendLine(line);
            if (inv_.format != Format::Text)
                values_.push_back(value);
            ++readings_;
            count_.update(readings_);
            idle_.start(inv_.idleMilliseconds);
        });
        QObject::connect(&session_, &analyzer::Session::noData, [this] {
            // After readings, a no-data reply can only be a record that lost its place.
            if (readings_ > 0)
                disturbedText_ = QStringLiteral("%1: the transfer was disturbed: a no-data reply "
                                                "came after %2")
                                     .arg(portName(inv_), readingsText());
            end(End::NoData);
        });
        QObject::connect(&session_, &analyzer::Session::downloadSent, [this](int waitedMs) {
            if (waitedMs >= kReportedWaitMs)
                printMessage(QStringLiteral("battery-analyzer-cli: %1: the analyzer was still "
                                            "sending; its bytes were dropped for %2 s until the line "
                                            "fell quiet, then Download went out")
                                 .arg(portName(inv_))
                                 .arg(waitedMs / 1000.0));
            idle_.start(inv_.idleMilliseconds);
        });
        QObject::connect(&session_, &analyzer::Session::commandFailed, [this](const QString &message) {
            notSentText_ = message;
            end(End::NotSent);
        });
        QObject::connect(&session_, &analyzer::Session::transferDisturbed, [this](const QString &message) {
            if (disturbedText_.isEmpty())
                disturbedText_ = message;
        });
        QObject::connect(&session_, &analyzer::Session::receiveFailed, [this](const QString &message) {
            // The window shows this and carries on; so does the download, and the exit
            // code says that something did not arrive whole.
            printMessage(QStringLiteral("battery-analyzer-cli: %1: %2").arg(portName(inv_), message));
            ++receiveFailures_;
            idle_.start(inv_.idleMilliseconds);
        });
        QObject::connect(&session_, &analyzer::Session::deviceLost, [this] {
            // The session's own text tells a window user to click Connect; here the
            // device and what happened to the readings are what matter.
            lostText_ = QStringLiteral("%1 lost its device during the download")
                            .arg(analyzer::errortext::portAndDevice(inv_.com, comm_.lostDevice()));
            end(End::DeviceLost);
        });
    }

    int run()
    {
        checkOutputPath(inv_.output);
        openPort(session_, inv_);
        session_.download();
        if (!ended_)
            loop_.exec();
        count_.finish(readings_);

        // The port is closed before anything is written, so that Disconnect goes out at the
        // end of the download whatever happens to the output.
        std::exception_ptr closeFailure;
        if (session_.isOpen()) {
            try {
                session_.close();
            } catch (const core::Error &) {
                closeFailure = std::current_exception();
            }
        }

        if (readings_ > 0 || end_ == End::Interrupted || end_ == End::DeviceLost)
            write();
        if (end_ == End::NotSent)
            throw EDeviceFault(notSentText_);
        if (!disturbedText_.isEmpty())
            throw EDeviceFault(QStringLiteral("%1; %2 written").arg(disturbedText_, readingsText()));
        if (end_ == End::NoData)
            throw ENoData(QStringLiteral("%1: the analyzer holds no readings").arg(portName(inv_)));

        if (end_ == End::DeviceLost)
            throw EDeviceFault(QStringLiteral("%1; %2 written").arg(lostText_, readingsText()));
        if (closeFailure)
            std::rethrow_exception(closeFailure);
        if (end_ == End::Interrupted) {
            printMessage(QStringLiteral("battery-analyzer-cli: interrupted; %1 written").arg(readingsText()));
            return kExitInterrupted;
        }
        if (receiveFailures_ > 0)
            throw EDeviceFault(QStringLiteral("%1: %2 received block(s) could not be read; %3 written")
                                   .arg(portName(inv_))
                                   .arg(receiveFailures_)
                                   .arg(readingsText()));
        if (readings_ == 0)
            throw EDeviceFault(QStringLiteral("%1: no answer from the analyzer within %2 s")
                                   .arg(portName(inv_))
                                   .arg(inv_.idleMilliseconds / 1000.0));
        return kExitOk;
    }

private:
    void end(End how)
    {
        if (!ended_) {
            ended_ = true;
            end_ = how;
            idle_.stop();
            loop_.quit();
        }
    }

    QString readingsText() const
    {
        return readings_ == 1 ? QStringLiteral("1 reading") : QStringLiteral("%1 readings").arg(readings_);
    }

    void write()
    {
        Output out(inv_.output);
        if (inv_.format == Format::Text) {
            out.setBoardText();
            out.write(board_.text());
            out.finish();
            return;
        }
        ReadingTable table(inv_.format, {false, reading::modelName(inv_.model), startedAt_}, out);
        for (const reading::Reading &value : values_)
            table.add(value);
        table.finish();
    }

    const Invocation &inv_;
    TMSComm comm_;
    analyzer::Session session_;
    board::DataBoard board_;
    std::vector<reading::Reading> values_; // the readings themselves, for CSV and JSON
    InterruptNotifier interrupt_;
    LiveCount count_;
    QTimer idle_;
    QEventLoop loop_;
    qsizetype readings_ = 0;
    int receiveFailures_ = 0;
    bool ended_ = false;
    End end_ = End::Quiet;
    QString lostText_;
    QString notSentText_;
    QString disturbedText_;
    // When the download began, with the local offset from UTC.
    const QByteArray startedAt_ = QDateTime::currentDateTime().toOffsetFromUtc(
        QDateTime::currentDateTime().offsetFromUtc()).toString(Qt::ISODate).toLatin1();
};

} // namespace

int runDownload(const Invocation &inv)
{
    Download download(inv);
    return download.run();
}

} // namespace cli
