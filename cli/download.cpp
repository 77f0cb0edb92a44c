#include "board/data_board.h"
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
#include <QTimer>

#include <exception>

namespace cli {

namespace {

// How a download ended.
enum class End { Quiet, NoData, DeviceLost, Interrupted };

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
        QObject::connect(&session_, &analyzer::Session::reading, [this](const auto &, const QByteArray &line) {
            board_.AppendLine(line);
            ++readings_;
            count_.update(readings_);
            idle_.start(inv_.idleMilliseconds);
        });
        QObject::connect(&session_, &analyzer::Session::noData, [this] { end(End::NoData); });
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
        openPort(session_, inv_);
        session_.download();
        idle_.start(inv_.idleMilliseconds);
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
        if (loop_.isRunning() && !ended_) {
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
        // Every line on the board was appended by this download, so its lines are
        // exactly the readings' lines.
        static const char *const models[] = {"RM-40A", "RM-40B", "RM-40C"};
        ReadingTable table(inv_.format, {false, models[int(inv_.model)], startedAt_}, out);
        const QByteArray &text = board_.text();
        for (qsizetype start = 0; start < text.size();) {
            const qsizetype end = text.indexOf("\r\n", start);
            if (const auto r = analysis::parseReading(QByteArrayView(text).sliced(start, end - start)))
                table.add(*r);
            start = end + 2;
        }
        table.finish();
    }

    const Invocation &inv_;
    TMSComm comm_;
    analyzer::Session session_;
    board::DataBoard board_;
    InterruptNotifier interrupt_;
    LiveCount count_;
    QTimer idle_;
    QEventLoop loop_;
    qsizetype readings_ = 0;
    int receiveFailures_ = 0;
    bool ended_ = false;
    End end_ = End::Quiet;
    QString lostText_;
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
