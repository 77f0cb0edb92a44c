#include "link/session.h"

#include "core/error.h"
#include "link/errors.h"
#include "link/tmscomm.h"

#include <QFileInfo>

#include <algorithm>

#include <exception>

namespace analyzer {

Session::Session(TMSComm &comm, QObject *parent) : QObject(parent), comm_(comm)
{
    connect(&comm_, &TMSComm::OnComm, this, &Session::onComm);
    // A waiting Download looks again when the line would have been quiet long enough, or
    // when its wait runs out, whichever comes first.
    quietWait_.setSingleShot(true);
    connect(&quietWait_, &QTimer::timeout, this, &Session::checkQuiet);
}

Session::~Session() = default;

void Session::open(int comPort)
{
    comm_.setCommPort(comPort);
    connectPort();
}

void Session::open(const QString &devicePath)
{
    comm_.setPortPath(devicePath);
    connectPort();
}

void Session::connectPort()
{
    if (!comm_.PortOpen())
        comm_.setPortOpen(true);
    try {
        send(Command::Connect);
    } catch (const core::Error &) {
        comm_.setPortOpen(false);
        throw;
    }
}

void Session::close()
{
    send(Command::Disconnect);
    quietWait_.stop();
    comm_.setPortOpen(false);
}

bool Session::isOpen() const
{
    return comm_.PortOpen();
}

void Session::download()
{
    if (quietWait_.isActive())
        return;
    if (comm_.quietMilliseconds() >= kQuietBeforeDownloadMs) {
        sendDownload();
        emit downloadSent(0);
        return;
    }
    comm_.setDiscarding(true);
    waited_.start();
    checkQuiet();
}

bool Session::downloadWaiting() const
{
    return quietWait_.isActive();
}

void Session::checkQuiet()
{
    if (!comm_.PortOpen()) {
        quietWait_.stop();
        comm_.setDiscarding(false);
        return;
    }
    const int waited = int(waited_.elapsed());
    if (comm_.quietMilliseconds() >= kQuietBeforeDownloadMs) {
        quietWait_.stop();
        comm_.setDiscarding(false);
        try {
            sendDownload();
        } catch (const LinkError &error) {
            emit commandFailed(error.fault());
            return;
        }
        emit downloadSent(waited);
    } else if (waited >= quietLimitMs_) {
        quietWait_.stop();
        comm_.setDiscarding(false);
        LinkFault busy = fault(LinkFault::Kind::LineBusy);
        busy.waitedMs = waited;
        emit commandFailed(busy);
    } else {
        const qint64 untilQuiet = kQuietBeforeDownloadMs - comm_.quietMilliseconds();
        quietWait_.start(
            int(std::max<qint64>(1, std::min<qint64>(untilQuiet, quietLimitMs_ - waited))));
    }
}

void Session::sendDownload()
{
    comm_.beginTransfer();
    send(Command::Download);
}

bool Session::downloadPending() const
{
    return comm_.transferPending();
}

std::optional<LinkFault> Session::endDownload()
{
    comm_.endTransfer();
    const auto certain = comm_.transferDisturbance();
    if (!certain)
        return std::nullopt;
    LinkFault disturbed = fault(LinkFault::Kind::TransferDisturbed);
    disturbed.afterReading = *certain;
    return disturbed;
}

LinkFault Session::fault(LinkFault::Kind kind) const
{
    return {kind, comm_.CommPort(), comm_.openDevice()};
}

void Session::clearMemory()
{
    // Sent now, it would overtake the Download waiting for the line and erase the readings
    // that Download is for.
    if (downloadWaiting())
        throw LinkError(fault(LinkFault::Kind::ClearWhileDownloadWaits));
    send(Command::ClearMemory);
}

void Session::send(Command command)
{
    const CommandBytes &bytes = commandBytes(command);
    try {
        comm_.setOutput(QString(QChar::fromLatin1(bytes.first)));
        comm_.setOutput(QString(QChar::fromLatin1(bytes.second)));
    } catch (const core::Error &) {
        // A device that went away (its entry or node is gone, or its line hung up) never
        // takes a command: the port is closed here, as after any loss, and the failed write
        // is the one message. One still there (a stalled line) keeps it open.
        if (comm_.PortOpen() && (!QFileInfo::exists(comm_.openDevice()) || comm_.lineDead()))
            comm_.setPortOpen(false);
        throw;
    }
}

void Session::onComm()
{
    switch (comm_.CommEvent()) {
    case TMSComm::kCommEventReceive: break;
    case TMSComm::kCommEventLineError:
        quietWait_.stop();
        emit deviceLost({LinkFault::Kind::DeviceLost, comm_.CommPort(), comm_.lostDevice()});
        return;
    case TMSComm::kCommEventDisturbance: {
        LinkFault disturbed = fault(LinkFault::Kind::TransferDisturbed);
        disturbed.afterReading = comm_.disturbedAfter();
        emit transferDisturbed(disturbed);
        return;
    }
    default: return;
    }

    DecodeResult result;
    try {
        result = decodeRecord(comm_.Input(), model_);
    } catch (const LinkError &error) {
        LinkFault failed = error.fault();
        failed.port = comm_.CommPort();
        failed.device = comm_.openDevice();
        emit receiveFailed(failed);
        return;
    }
    if (result.isNoData())
        emit noData();
    else
        emit reading(result.reading, result.line);
}

} // namespace analyzer

// Compiled with this file rather than on its own: Qt's headers are read once.
#include "moc_session.cpp"
