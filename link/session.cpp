#include "link/session.h"

#include "core/error.h"
#include "link/error_text.h"
#include "link/port_path.h"
#include "link/tmscomm.h"

#include <QFileInfo>

#include <exception>

namespace analyzer {

Session::Session(TMSComm &comm, QObject *parent) : QObject(parent), comm_(comm)
{
    connect(&comm_, &TMSComm::OnComm, this, &Session::onComm);
}

Session::~Session() = default;

void Session::open(int comPort)
{
    comm_.setCommPort(comPort);
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
        // A device that went away (its entry or node is gone) never takes the command: the
        // port is closed as after any loss. One still there (a stalled line) keeps it open.
        if (comm_.PortOpen() && !QFileInfo::exists(portDevicePath(comm_.CommPort())))
            comm_.setPortOpen(false);
        throw;
    }
    comm_.setPortOpen(false);
}

bool Session::isOpen() const
{
    return comm_.PortOpen();
}

void Session::download()
{
    comm_.discardPartialRecord();
    send(Command::Download);
}

void Session::clearMemory()
{
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
    case TMSComm::kCommEventReceive:
        break;
    case TMSComm::kCommEventLineError:
        emit deviceLost(errortext::deviceLost(comm_.CommPort(), comm_.lostDevice()));
        return;
    default:
        return;
    }

    DecodeResult result;
    try {
        result = decodeRecord(comm_.Input(), model_ == AnalyzerModel::RM40A);
    } catch (const core::Error &error) {
        emit receiveFailed(error.message());
        return;
    }
    if (result.isNoData())
        emit noData();
    else
        emit reading(result.record, result.line);
}

} // namespace analyzer
