#pragma once

#include "cellregister/cell_register.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace cellregister {

class RowInsert;

// One reading of one cell, as the register keeps it.
struct Measurement {
    QString label;
    QDateTime at;
    int group = 0;
    std::int64_t microohms = 0; // exact: the analyzer's finest step is 0.001 mΩ
    std::int64_t microvolts = 0;
    // How the board showed the values (reading::textShape). The register keeps the values
    // and this shape; the texts below are rebuilt from them as it reads.
    int shape = 0;
    QString resistanceText; // as on the board: "056.7mΩ", "0.300 Ω"
    QString voltageText; // "4.123V"
    QString model; // "RM-40A"; the run's
    QString source; // "COM 3" or the file's path
    int sourceLine = 0; // the line in that file; 0 for a download
    bool restStart = false; // the cell was freshly charged and starts a rest period
};

// The shape a measurement is stored in: its own when its values fit it, else the one its
// texts show when they show exactly its values; 0 when neither.
int storedShape(const Measurement &m);
// The texts of values stored in a shape, as the board showed them; empty for a shape the
// values do not fit.
void showTexts(std::int64_t microohms, std::int64_t microvolts, int shape, QString &resistance,
               QString &voltage);

// The migration's part that SQL cannot do: each measurement's text shape from the texts an
// earlier version kept beside its values. Raises ERegisterFault, and the caller's transaction
// stores nothing, when a text would not come back exactly from its values or a measurement's
// model is not its run's: a reading is never altered to fit.
void fillTextShapes(CellRegister &r);

// One record run stored as its readings come, in one transaction: all of them or none, and
// in memory only a chunk of readings. Cells are created for new labels. The run has one
// model and one source; a reading from another file than the run's source keeps its file.
class RunWriter {
public:
    // The run's time, model and source as its list shows them; `chunk`: readings stored at
    // once.
    RunWriter(CellRegister &r, const QDateTime &at, const QString &model, const QString &source,
              qsizetype chunk = 4096);
    ~RunWriter();
    RunWriter(const RunWriter &) = delete;
    RunWriter &operator=(const RunWriter &) = delete;

    // Raises ERegisterFault for a measurement whose texts and values disagree.
    void add(Measurement m);
    qsizetype count() const { return count_; }
    // The cells this run made so far, the first kNewLabelsShown of their labels, and whether
    // it measured cells the register held before: new labels among known ones may be typos.
    static constexpr qsizetype kNewLabelsShown = 20;
    qsizetype newCells() const;
    QStringList newLabels() const;
    bool measuredKnownCells() const;
    // Stores what is left and commits; returns the run's id. Without it nothing is stored.
    qint64 commit();

private:
    void store();

    CellRegister &r_;
    CellRegister::Transaction transaction_;
    qint64 fileOf(const QString &source);
    std::vector<qint64> cellIds();

    qint64 run_ = 0;
    QString source_;
    QString lastFile_;
    qint64 lastFileId_ = 0;
    QHash<QString, qint64> files_;
    qsizetype chunk_;
    qsizetype count_ = 0;
    QList<Measurement> pending_;
    std::vector<qint64> pendingFiles_;
    // Kept from chunk to chunk: each statement of 64 rows is prepared once.
    struct Labels;
    std::unique_ptr<Labels> labels_;
    std::unique_ptr<RowInsert> cells_;
    std::unique_ptr<RowInsert> rows_;
};

// Stores the measurements in order as one record run of the first one's time and model
// (see RunWriter); returns its id, 0 for none.
qint64 addMeasurements(CellRegister &r, const QList<Measurement> &measurements);

// Every measurement, by label and then in the order measured; only one cell's with a label.
void forEachMeasurement(CellRegister &r, const QString &label,
                        const std::function<void(const Measurement &)> &f);

// Whether the register holds a cell of this label, in any case.
bool hasCell(CellRegister &r, const QString &label);

} // namespace cellregister
