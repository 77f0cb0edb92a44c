#include "link/session.h"

#include "core/error.h"
#include "link/error_text.h"
#include "link/errors.h"
#include "link/port_path.h"
#include "link/tmscomm.h"

#include <QFileInfo>

#include <exception>

namespace analyzer {

namespace {

// How often a waiting Download looks whether the line has fallen quiet.
constexpr int kQuietPollMs = 20;

} // namespace

Session::Session(TMSComm &comm, QObject *parent) : QObject(parent), comm_(comm)
{
    connect(&comm_, &TMSComm::OnComm, this, &Session::onComm);
    quietPoll_.setInterval(kQuietPollMs);
    connect(&quietPoll_, &QTimer::timeout, this, &Session::checkQuiet);
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
    try {
        send(Command::Disconnect);
    } catch (const core::Error &) {
        // A device that went away (its entry or node is gone, or its line hung up) never
        // takes the command: the port is closed here, as after any loss, and the failed
        // write is the one message. One still there (a stalled line) keeps it open.
        if (comm_.PortOpen()
            && (!QFileInfo::exists(portDevicePath(comm_.CommPort())) || comm_.lineDead()))
            comm_.setPortOpen(false);
        throw;
    }
    quietPoll_.stop();
    comm_.setPortOpen(false);
}

bool Session::isOpen() const
{
    return comm_.PortOpen();
}

void Session::download()
{
    if (quietPoll_.isActive())
        return;
    if (comm_.quietMilliseconds() >= kQuietBeforeDownloadMs) {
        sendDownload();
        emit downloadSent(0);
        return;
    }
    comm_.setDiscarding(true);
    waited_.start();
    quietPoll_.start();
}

bool Session::downloadWaiting() const
{
    return quietPoll_.isActive();
}

void Session::checkQuiet()
{
    if (!comm_.PortOpen()) {
        quietPoll_.stop();
        comm_.setDiscarding(false);
        return;
    }
    const int waited = int(waited_.elapsed());
    if (comm_.quietMilliseconds() >= kQuietBeforeDownloadMs) {
        quietPoll_.stop();
        comm_.setDiscarding(false);
        try {
            sendDownload();
        } catch (const core::Error &error) {
            emit commandFailed(error.message());
            return;
        }
        emit downloadSent(waited);
    } else if (waited >= quietLimitMs_) {
        quietPoll_.stop();
        comm_.setDiscarding(false);
        emit commandFailed(
            errortext::lineBusy(comm_.CommPort(), comm_.openDevice(), waited / 1000.0));
    }
}

void Session::sendDownload()
{
    comm_.beginTransfer();
    send(Command::Download);
}

void Session::clearMemory()
{
    // Sent now, it would overtake the Download waiting for the line and erase the readings
    // that Download is for.
    if (downloadWaiting())
        throw EOleException(
            errortext::clearWhileDownloadWaits(comm_.CommPort(), comm_.openDevice()));
    send(Command::ClearMemory);
}

void Session::send(Command command)
{
    const CommandBytes &bytes = commandBytes(command);
    comm_.setOutput(QString(QChar::fromLatin1(bytes.first)));
    comm_.setOutput(QString(QChar::fromLatin1(bytes.second)));
}

void Session::onComm()
{
    switch (comm_.CommEvent()) {
    case TMSComm::kCommEventReceive: break;
    case TMSComm::kCommEventLineError:
        quietPoll_.stop();
        emit deviceLost(errortext::deviceLost(comm_.CommPort(), comm_.lostDevice()));
        return;
    case TMSComm::kCommEventDisturbance:
        emit transferDisturbed(errortext::transferDisturbed(comm_.CommPort(), comm_.openDevice(),
                                                            comm_.disturbedAfter()));
        return;
    default: return;
    }

    DecodeResult result;
    try {
        result = decodeRecord(comm_.Input(), model_);
    } catch (const core::Error &error) {
        emit receiveFailed(error.message());
        return;
    }
    if (result.isNoData())
        emit noData();
    else
        emit reading(result.reading, result.line);
}

} // namespace analyzer
