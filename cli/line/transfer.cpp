#include "cli/line/transfer.h"

#include "cli/common/rows.h"

#include "cli/common/output.h"
#include "cli/line/interrupt.h"
#include "cli/line/live_count.h"
#include "cli/line/ports.h"
#include "core/error.h"
#include "link/session.h"
#include "link/tmscomm.h"
#include "linktext/fault_text.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace cli {

namespace {

// A wait for the line to fall quiet longer than this means an earlier transfer was dropped.
constexpr int kReportedWaitMs = 2 * analyzer::Session::kQuietBeforeDownloadMs;
// How often an idle download looks again while the link still decides on what came.
constexpr int kPendingLookMs = 20;

class TransferLoop {
public:
    TransferLoop(const TransferRequest &request) : request_(request), session_(comm_)
    {
        session_.setModel(request.model);
        sent_.start();
        idle_.setSingleShot(true);
        idle_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&idle_, &QTimer::timeout, [this] { checkIdle(); });
        QObject::connect(&interrupt_, &InterruptNotifier::interrupted,
                         [this] { end(Transfer::End::Interrupted); });
        QObject::connect(&session_, &analyzer::Session::reading,
                         [this](const reading::Reading &value, const QByteArray &line) {
                             // A no-data reply followed by readings was readings itself.
                             if (t_.end == Transfer::End::NoData)
                                 disturbed();
                             t_.values.push_back(value);
                             t_.lines << line;
                             count_.update(t_.readings());
                             restartIdle();
                         });
        QObject::connect(&session_, &analyzer::Session::noData, [this] {
            // After readings, a no-data reply can only be a record that lost its place.
            if (t_.readings() > 0)
                disturbed();
            end(Transfer::End::NoData);
        });
        QObject::connect(&session_, &analyzer::Session::downloadSent, [this](int waitedMs) {
            if (waitedMs >= kReportedWaitMs)
                printMessage(
                    QStringLiteral("battery-analyzer-cli: %1: the analyzer was still "
                                   "sending; its bytes were dropped for %2 s until the line "
                                   "fell quiet, then Download went out")
                        .arg(request_.portName(), QString::number(waitedMs / 1000.0)));
            sent_.start();
            restartIdle();
        });
        QObject::connect(&session_, &analyzer::Session::commandFailed,
                         [this](const analyzer::LinkFault &fault) {
                             t_.failure = linktext::describe(fault);
                             end(Transfer::End::NotSent);
                         });
        QObject::connect(&session_, &analyzer::Session::transferDisturbed,
                         [this](const analyzer::LinkFault &fault) {
                             if (t_.disturbed.isEmpty())
                                 t_.disturbed = linktext::describe(fault);
                         });
        QObject::connect(
            &session_, &analyzer::Session::receiveFailed, [this](const analyzer::LinkFault &fault) {
                const QString text =
                    QStringLiteral("%1: %2").arg(request_.portName(), linktext::describe(fault));
                ++t_.receiveFailures;
                if (request_.stopAtReceiveFailure) {
                    t_.failure = text;
                    end(Transfer::End::ReceiveFailed);
                    return;
                }
                printMessage(QStringLiteral("battery-analyzer-cli: ") + text);
                restartIdle();
            });
        QObject::connect(
            &session_, &analyzer::Session::deviceLost, [this](const analyzer::LinkFault &fault) {
                // Named as the user gave it; what happened to the readings is said by the caller.
                t_.failure = QStringLiteral("%1 lost its device during the download")
                                 .arg(request_.portPath.isEmpty()
                                          ? linktext::portAndDevice(fault.port, fault.device)
                                          : request_.portPath);
                end(Transfer::End::DeviceLost);
            });
    }

    Transfer run()
    {
        linkCall([this] {
            if (request_.portPath.isEmpty())
                session_.open(request_.com);
            else
                session_.open(request_.portPath);
            session_.download();
        });
        if (!ended_)
            loop_.exec();
        if (t_.end == Transfer::End::Quiet && t_.disturbed.isEmpty())
            if (const auto disturbed = session_.endDownload())
                t_.disturbed = linktext::describe(*disturbed);
        count_.finish(t_.readings());
        // Disconnect goes out at the end of the transfer whatever the caller does next.
        if (session_.isOpen()) {
            try {
                linkCall([this] { session_.close(); });
            } catch (const core::Error &) {
                t_.closeFailure = std::current_exception();
            }
        }
        return std::move(t_);
    }

private:
    // The transfer lost or gained bytes, as the link would have reported it.
    void disturbed()
    {
        if (t_.disturbed.isEmpty())
            t_.disturbed = linktext::describe({analyzer::LinkFault::Kind::TransferDisturbed,
                                               comm_.CommPort(), comm_.openDevice()});
    }

    void restartIdle()
    {
        if (!ended_)
            idle_.start(request_.idleMilliseconds);
    }

    // The download ends once nothing has arrived for the idle time, counted from the last
    // byte (or from Download, when nothing came after it), and the link has judged what came.
    void checkIdle()
    {
        const qint64 quiet = std::min(comm_.quietMilliseconds(), sent_.elapsed());
        if (quiet < request_.idleMilliseconds)
            idle_.start(int(request_.idleMilliseconds - quiet));
        else if (session_.downloadPending())
            idle_.start(kPendingLookMs);
        else
            end(Transfer::End::Quiet);
    }

    void end(Transfer::End how)
    {
        if (ended_)
            return;
        ended_ = true;
        t_.end = how;
        idle_.stop();
        loop_.quit();
    }

    const TransferRequest &request_;
    TMSComm comm_;
    analyzer::Session session_;
    InterruptNotifier interrupt_;
    LiveCount count_;
    QTimer idle_;
    QElapsedTimer sent_;
    QEventLoop loop_;
    bool ended_ = false;
    Transfer t_;
};

} // namespace

QString TransferRequest::portName() const
{
    return portPath.isEmpty() ? QStringLiteral("COM %1").arg(com) : portPath;
}

QString Transfer::readingsText() const
{
    return cli::readingsText(readings());
}

Transfer runTransfer(const TransferRequest &request)
{
    return TransferLoop(request).run();
}

} // namespace cli
