#include "link/connection.h"

#include "board/data_board.h"
#include "core/error.h"
#include "link/port_text.h"
#include "link/protocol.h"
#include "link/tmscomm.h"

#include <exception>

namespace analyzer {

namespace {

void setButtons(ConnectionView &view, bool connected)
{
    // The order is part of the behaviour the window shows: Connect first, then Disconnect,
    // Clear Memory and Download Data.
    view.setButtonEnabled(LinkButton::Connect, !connected);
    view.setButtonEnabled(LinkButton::Disconnect, connected);
    view.setButtonEnabled(LinkButton::ClearMemory, connected);
    view.setButtonEnabled(LinkButton::Download, connected);
}

} // namespace

Connection::Connection(TMSComm &comm, board::DataBoard &board, ConnectionView &view)
    : comm_(comm), board_(board), view_(view)
{
}

void Connection::connectClicked()
{
    const std::int32_t port = portTextToNumber(view_.portText());
    comm_.setCommPort(port);
    if (!comm_.PortOpen())
        comm_.setPortOpen(true);
    send(Command::Connect);
    setButtons(view_, true);
}

void Connection::disconnectClicked()
{
    // After the cable was pulled the command cannot go out; the port must still be closed
    // and the buttons return to Disconnected, or Connect would stay disabled for good.
    std::exception_ptr commandFailure;
    try {
        send(Command::Disconnect);
    } catch (const core::Error &) {
        commandFailure = std::current_exception();
    }
    if (comm_.PortOpen())
        comm_.setPortOpen(false);
    setButtons(view_, false);
    if (commandFailure)
        std::rethrow_exception(commandFailure);
}

void Connection::downloadClicked()
{
    send(Command::Download);
}

void Connection::clearMemoryClicked()
{
    send(Command::ClearMemory);
}

void Connection::commEvent()
{
    if (comm_.CommEvent() != TMSComm::kCommEventReceive)
        return;
    lastReceivedBlock_ = comm_.Input();
    // The decoder's result is local: a receive event handled inside the no-data box below
    // replaces the last received block and appends its own line without touching this one.
    const DecodeResult result = decodeRecord(lastReceivedBlock_, view_.rm40aSelected());
    if (result.isNoData())
        view_.showNoData();
    else
        board_.AppendLine(result.line);
}

void Connection::send(Command command)
{
    const CommandBytes &bytes = commandBytes(command);
    comm_.setOutput(QString(QChar::fromLatin1(bytes.first)));
    comm_.setOutput(QString(QChar::fromLatin1(bytes.second)));
}

} // namespace analyzer
