#pragma once

#include "link/protocol.h"
#include "reading/line_format.h"

#include <QByteArrayList>
#include <QString>

#include <exception>
#include <vector>

// One download from the analyzer, driven to its end: what both `download` and `record`
// need from the link, with what they make of it left to each.
namespace cli {

struct TransferRequest {
    int com = 0;
    QString portPath; // the device itself; empty: COM com
    analyzer::AnalyzerModel model = analyzer::AnalyzerModel::RM40A;
    int idleMilliseconds = 2000;
    // A block that cannot be read ends the transfer, rather than being reported and passed.
    bool stopAtReceiveFailure = false;

    // "COM 3", or the device path: how messages name the port.
    QString portName() const;
};

struct Transfer {
    enum class End { Quiet, NoData, DeviceLost, Interrupted, NotSent, ReceiveFailed };
    End end = End::Quiet;
    std::vector<reading::Reading> values;
    QByteArrayList lines; // each reading's board line, as the window shows it
    int receiveFailures = 0;
    QString failure; // what ended it: the device lost, the command not sent, the block not read
    QString disturbed; // set when the link reports readings it may have shifted
    std::exception_ptr closeFailure; // Disconnect did not go out after the transfer

    qsizetype readings() const { return qsizetype(values.size()); }
    // "1 reading", "3 readings"
    QString readingsText() const;
};

// Opens the port, sends Download and collects readings until the line has been quiet for
// the idle time, the analyzer says it holds none, Ctrl+C, or a fault; then closes the port.
// Only opening the port raises; everything after is in the result.
Transfer runTransfer(const TransferRequest &request);

} // namespace cli
