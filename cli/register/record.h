#pragma once

#include "cellregister/cell_register.h"
#include "cellregister/location.h"
#include "cellregister/measurements.h"
#include "cli/options/options.h"
#include "link/protocol.h"
#include "reading/line_format.h"

#include <QByteArrayList>
#include <QDateTime>
#include <QList>
#include <QString>
#include <memory>

// The parts of `record` shared by its file and analyzer sources.
namespace cli {

// How far a given time may lie ahead of the clock (clocks of two machines disagree).
inline constexpr int kAheadOfClockSeconds = 5 * 60;

struct RecordSource {
    QDateTime at;
    bool restStart = false;
    QString model;
    analyzer::AnalyzerModel analyzerModel = analyzer::AnalyzerModel::RM40A;
    int com = 0;
    QString portPath; // --port: the device itself, instead of COM com

    // "COM 3", or the device path.
    QString portName() const;
};

// What arrived: the measurements still without labels, and their board lines.
struct Arrival {
    enum class End { Complete, Interrupted, Failed };
    QList<cellregister::Measurement> measurements;
    QByteArrayList lines;
    End end = End::Complete;
    QString failure; // how it ended when not complete
};

// A reading's values and texts, without label, time or source.
cellregister::Measurement measurementOf(const reading::Reading &r);
// Writes the lines as the window's Save does, beside the register, into a file of its own
// that did not exist before; returns the path. Raises EFCreateError or EWriteError.
QString saveUnstored(const cellregister::Location &where, const QByteArrayList &lines);
// The end of the message of a record that stored nothing: where its readings are now. The
// lines are written as saveUnstored writes them; a failure to do so is told, not raised.
QString nothingStored(const cellregister::Location &where, bool fromAnalyzer,
                      const QByteArrayList &lines);

// Downloads from the source's port until the line goes quiet, Ctrl+C or the device goes.
// Raises ENoData for an empty analyzer and EDeviceFault when nothing answers.
Arrival downloadReadings(const Invocation &inv, const RecordSource &source);

// The register --db and --lock-wait name; only a command that stores readings makes one
// where there is none.
std::unique_ptr<cellregister::CellRegister> openRegister(const Invocation &inv,
                                                         cellregister::Opening opening);

} // namespace cli
