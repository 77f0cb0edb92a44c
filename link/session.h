#pragma once

#include "link/fault.h"
#include "link/protocol.h"
#include "link/record_framer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class TMSComm;

namespace analyzer {

// One analyzer on one COM port, for any front end: it opens the port, sends the four
// commands and reports what the analyzer sends back as signals. It knows nothing of windows
// or data boards.
//
// Failures of the calls below are raised (LinkError); what arrives from the line is reported
// through the signals, since nobody is there to catch. Either way the fault is a value that
// the front end words.
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
    // Sends Disconnect and closes the port. When the command cannot be written, the failure
    // is raised and the port stays open for another try, unless its device went away (a
    // pulled cable): then the port is closed first, as the loss of the device would.
    void close();
    bool isOpen() const;

    // Asks for the stored readings, once the line is quiet, so that the answer starts on a
    // record boundary: when nothing has arrived for kQuietBeforeDownloadMs (counted from the
    // opening), the command goes out at once and a failure to write it is raised here.
    // Otherwise the analyzer is still sending (an earlier transfer the program did not see
    // start): everything arriving is dropped until the line has been quiet that long, and
    // then the command goes out (downloadSent) or, after quietLimitMs() without a pause, does
    // not (commandFailed). A Download asked for while one waits is the same Download.
    void download();
    bool downloadWaiting() const;
    // How long download() waits at most for the line to fall quiet.
    void setQuietLimitMs(int ms) { quietLimitMs_ = ms; }
    int quietLimitMs() const { return quietLimitMs_; }
    static constexpr int kQuietBeforeDownloadMs = int(RecordFramer::kStreamQuietMs);
    // Whether the answer to Download waits for the line's quiet to decide something (a reply
    // to release, a piece of a record to judge).
    bool downloadPending() const;
    // The caller stops listening to the answer: what the line's quiet would still decide is
    // decided now. Returns the disturbance when its bytes did not add up to whole records.
    std::optional<LinkFault> endDownload();
    // Refused (LinkError ClearWhileDownloadWaits) while a Download waits for the line to
    // fall quiet.
    void clearMemory();
    // Writes the command's two bytes, 'S' first, as two one-character writes.
    void send(Command command);

signals:
    // One decoded record's reading and its data-board line (GBK, no line break).
    void reading(const reading::Reading &value, const QByteArray &line);
    // The analyzer answered that its memory is empty.
    void noData();
    // A received block could not be decoded (ShortBlock, with the port and its device).
    void receiveFailed(const analyzer::LinkFault &fault);
    // The port's device went away and the port was closed (DeviceLost, with the device).
    void deviceLost(const analyzer::LinkFault &fault);
    // Download went out, after `waitedMs` for the line to fall quiet (0: at once).
    void downloadSent(int waitedMs);
    // A command that went out later than asked failed, or did not go out (LineBusy).
    void commandFailed(const analyzer::LinkFault &fault);
    // The answer to Download lost or gained bytes on the line (TransferDisturbed: how many
    // readings are certain). Once per download.
    void transferDisturbed(const analyzer::LinkFault &fault);

private:
    void connectPort();
    void onComm();
    void sendDownload();
    void checkQuiet();
    // A fault on the port as it is now: its number and the device it is open on.
    LinkFault fault(LinkFault::Kind kind) const;

    TMSComm &comm_;
    AnalyzerModel model_ = AnalyzerModel::RM40A;
    int quietLimitMs_ = 10'000;
    QTimer quietWait_;
    QElapsedTimer waited_;
};

} // namespace analyzer
