#include "link/session.h"

#include "core/error.h"
#include "link/error_text.h"
#include "link/tmscomm.h"

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
    std::exception_ptr commandFailure;
    try {
        send(Command::Disconnect);
    } catch (const core::Error &) {
        commandFailure = std::current_exception();
    }
    if (comm_.PortOpen())
        comm_.setPortOpen(false);
    if (commandFailure)
        std::rethrow_exception(commandFailure);
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
