#pragma once

#include <QByteArray>
#include <QString>

class TMSComm;
namespace board {
class DataBoard;
}

namespace analyzer {

enum class Command;
enum class LinkButton { Connect, Disconnect, Download, ClearMemory };

// What the connection needs from the window: the COM field, the model choice, the four
// buttons and the no-data box. The window implements it; tests implement it without widgets.
class ConnectionView {
public:
    virtual ~ConnectionView() = default;
    virtual QString portText() const = 0;
    virtual bool rm40aSelected() const = 0;
    virtual void setButtonEnabled(LinkButton button, bool enabled) = 0;
    // Shows the modal no-data box and returns when the user closed it.
    virtual void showNoData() = 0;
};

// The handlers behind Connect, Disconnect, Download Data, Clear Memory and the serial
// control's receive event. Each runs its steps in order; the first error is raised to the
// caller, earlier steps stay done, and the buttons change only at the end.
class Connection {
public:
    Connection(TMSComm &comm, board::DataBoard &board, ConnectionView &view);

    void connectClicked();
    void disconnectClicked();
    void downloadClicked();
    void clearMemoryClicked();
    void commEvent();

    // A copy of the bytes of the latest receive event.
    const QByteArray &lastReceivedBlock() const { return lastReceivedBlock_; }

private:
    // Writes the command's two bytes, 'S' first, as two one-character writes.
    void send(Command command);

    TMSComm &comm_;
    board::DataBoard &board_;
    ConnectionView &view_;
    QByteArray lastReceivedBlock_;
};

} // namespace analyzer
