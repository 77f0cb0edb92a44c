#pragma once

// The truth about a download and what an unlucky line makes of it: batches of records, the
// faults of a line (bytes lost, or added as zeros or other values) and its pauses, bytes that
// came before Download unasked, an adapter that echoes commands, and the property every
// receiver of a download must keep. Pure, so that the suite runs it over the
// framer exhaustively for short batches, a fuzzer over any batch, fault and timing, and the
// real receivers (session, tool, window) over a pseudo-terminal for a sample.
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace linefault {

// Wait `pauseMs`, then the analyzer's side writes `bytes` in one go.
struct Step {
    int pauseMs = 0;
    QByteArray bytes;
};

// What the line does to the bytes the analyzer sends.
struct Edit {
    enum class Kind { Lose, Add };
    Kind kind = Kind::Lose;
    int at = 0; // offset in the bytes sent; an added run goes before this byte
    int count = 1;
    char value = 0; // the byte added, `count` times
};

// A pause of the line before received byte `at`.
struct Pause {
    int at = 0;
    int ms = 0;
};

struct Delivery {
    QString name;
    QList<QByteArray> truth; // the records the analyzer sent, in order
    QList<Step> steps; // what arrives after Download, and when
    int edits = 0;
    int netBytes = 0; // bytes added less bytes lost
    int longestPauseMs = 0;
    // What arrives after Connect and before Download is asked for, answering nothing: the
    // first pause counts from Connect.
    QList<Step> before;
    // The whole records among them that the analyzer sent on a quiet line.
    QList<QByteArray> beforeTruth;
    // From the last byte before (or from Connect) to the click on Download.
    int askMs = 300;
    // The adapter hands back every command written to it.
    bool echo = false;
};

// What a receiver made of a delivery.
struct Outcome {
    QList<QByteArray> lines; // the board lines given after Download, in the order they came
    std::optional<qsizetype> certain; // the reported disturbance: readings it vouches for
    bool noData = false; // the answer was taken for the no-data reply
    QList<QByteArray> earlier; // the lines given before Download went out
};

// Records of a batch. Small: group numbers 1 to 20, the three flags that occur, high bytes
// of 0 to 3, so that records shifted by any number of bytes look as valid as real ones.
// Wide: any byte anywhere, the no-data marker as flags excepted. Markers: every byte but the
// flags is the no-data marker's, so that the line's faults make replies of readings.
enum class Shape { Small, Wide, Markers };
QList<QByteArray> batch(Shape shape, int count, quint32 seed);

// First readings that a fault in their first bytes turns into something else: into the echo of
// Connect and Download ("S E S K" once a reading in group 83 loses its bytes 1 and 2, "S E S"
// once it loses bytes 1 to 3, "S E" as its first two bytes), or into the no-data reply (group
// 136 behind one added byte, a resistance starting with 136 once the group is lost).
QList<QByteArray> lookAlikes();

// What may come before Download unasked: nothing, pieces of a record, whole records, a stream
// already flowing when the port opened, with the click on Download early or late after them.
// Each is a delivery without an answer; its truth and steps are to be filled in.
QList<Delivery> unasked();

Delivery deliver(const QList<QByteArray> &truth, const QList<Edit> &edits,
                 const QList<Pause> &pauses = {});

// No check can see a fault that leaves whole records (a lost byte made up by an added one,
// six bytes added): the property holds for every other delivery.
bool judgeable(const Delivery &d);

// The property: every line given is the true reading at its place, or the transfer is
// reported disturbed at or before the first line that is not; bytes that do not add up to
// whole records are always reported; a delivery without fault, whatever its pauses up to a
// second, gives every true line and no report. "No readings" is said only of fewer bytes than a
// record and never together with a report (one download, one message); a line given before
// Download is one the analyzer sent whole. Empty when it holds, else what broke.
QString violation(const Delivery &d, const Outcome &o);

// The delivery's steps and the outcome, for a failure's message.
QString described(const Delivery &d, const Outcome &o);

// The pure echo filter, framer and decoder as the serial control and the session drive them:
// Connect, bytes as they arrive, Download once asked and the line quiet, a look at the quiet
// line whenever the framer has something to decide.
Outcome frame(const Delivery &d);

// The readings a disturbance message vouches for ("after reading 7" is 7, "from the first one
// on" is 0); empty when the message says neither.
std::optional<qsizetype> certainIn(const QString &message);

// What a receiver showed: its board's text (lines ending in CR LF), the disturbance it
// reported (empty: none), and whether it said that the analyzer holds no data; `before`, its
// board's text when Download was clicked.
Outcome shown(const QByteArray &boardText, const QString &report, bool noData,
              const QByteArray &before = {});
// How long after the last byte of a delivery a receiver has said all it will say of it.
inline constexpr int kVerdictMs = 1600;

// Reading n (1 to 20) of the demo batch: ordinary flags, values that differ from reading to
// reading.
QByteArray batchRecord(int n);
QByteArray batchRecords(int first, int last);

// Deliveries of twenty readings as a bench's line may bring them, for the real receivers.
QList<Delivery> sample();

} // namespace linefault
