#pragma once

#include "link/protocol.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class TMSComm;

namespace analyzer {

// One analyzer on one COM port, for any front end: it opens the port, sends the four
// commands and reports what the analyzer sends back as signals. It knows nothing of windows
// or data boards.
//
// Failures of the calls below are raised (EOleException with the control's text); what
// arrives from the line is reported through the signals, since nobody is there to catch.
class Session : public QObject {
    Q_OBJECT
public:
    // Uses comm, which must outlive the session (the window owns its serial control).
    explicit Session(TMSComm &comm, QObject *parent = nullptr);
    ~Session() override;

    TMSComm &comm() { return comm_; }

    // The model that decodes every later record; RM-40A until set.
    void setModel(AnalyzerModel model) { model_ = model; }
    AnalyzerModel model() const { return model_; }

    // Sets the COM number, opens the port unless it is open, and sends Connect. When the
    // command cannot be written, the port is closed again before the error is raised, so no
    // caller is left showing Disconnected over an open port.
    void open(int comPort);
    // The same on a device named by its path (see TMSComm::setPortPath).
    void open(const QString &devicePath);
    // Sends Disconnect and closes the port. The port is closed even when the command
    // cannot go out (a pulled cable); that failure is raised afterwards.
    void close();
    bool isOpen() const;

    // Asks for the stored readings. Bytes waiting that do not form a whole record are
    // discarded first, so the analyzer's answer starts a fresh record.
    void download();
    void clearMemory();
    // Writes the command's two bytes, 'S' first, as two one-character writes.
    void send(Command command);

signals:
    // One decoded record and its data-board line (GBK, no line break).
    void reading(const analyzer::AnalyzerRecord &record, const QByteArray &line);
    // The analyzer answered that its memory is empty.
    void noData();
    // A received block could not be decoded; message is the error's text.
    void receiveFailed(const QString &message);
    // The port's device went away and the port was closed; message says which COM port
    // lost which device and that Connect works again once it is back.
    void deviceLost(const QString &message);

private:
    void connectPort();
    void onComm();

    TMSComm &comm_;
    AnalyzerModel model_ = AnalyzerModel::RM40A;
};

} // namespace analyzer
