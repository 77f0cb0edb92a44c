#pragma once

#include "cellregister/cell_register.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace cellregister {

// One reading of one cell, as the register keeps it.
struct Measurement {
    QString label;
    QDateTime at;
    int group = 0;
    std::int64_t microohms = 0; // exact: the analyzer's finest step is 0.001 mΩ
    std::int64_t microvolts = 0;
    QString resistanceText; // as on the board: "056.7mΩ", "0.300 Ω"
    QString voltageText; // "4.123V"
    QString model; // "RM-40A"
    QString source; // "COM 3" or the file's path
    int sourceLine = 0; // the line in that file; 0 for a download
    bool restStart = false; // the cell was freshly charged and starts a rest period
};

// One record run stored as its readings come, in one transaction: all of them or none, and
// in memory only a chunk of readings and the labels met. Cells are created for new labels.
class RunWriter {
public:
    // The run's time, model and source as its list shows them; `chunk`: readings stored at
    // once.
    RunWriter(CellRegister &r, const QDateTime &at, const QString &model, const QString &source,
              qsizetype chunk = 4096);
    ~RunWriter();
    RunWriter(const RunWriter &) = delete;
    RunWriter &operator=(const RunWriter &) = delete;

    void add(Measurement m);
    qsizetype count() const { return count_; }
    // Stores what is left and commits; returns the run's id. Without it nothing is stored.
    qint64 commit();

private:
    void store();

    CellRegister &r_;
    CellRegister::Transaction transaction_;
    qint64 run_ = 0;
    qsizetype chunk_;
    qsizetype count_ = 0;
    QList<Measurement> pending_;
    struct Labels;
    std::unique_ptr<Labels> labels_;
};

// Stores the measurements in order as one record run (see RunWriter); returns its id, 0
// for none.
qint64 addMeasurements(CellRegister &r, const QList<Measurement> &measurements);

// Every measurement, by label and then in the order measured; only one cell's with a label.
void forEachMeasurement(CellRegister &r, const QString &label,
                        const std::function<void(const Measurement &)> &f);

// Whether the register holds a cell of this label.
bool hasCell(CellRegister &r, const QString &label);

} // namespace cellregister
