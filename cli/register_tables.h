#pragma once

#include "cellregister/cell_summary.h"
#include "cellregister/measurements.h"
#include "cli/arguments.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>

// Rows of the register's tables as text, CSV and JSON.
namespace cli {

// An exact decimal of units / 10^decimals, shortest form: 56700 and 6 give "0.0567".
QByteArray exactText(std::int64_t units, int decimals);

// A table of cells: a header (CSV), one row per cell, and the end (JSON's bracket).
class CellTable {
public:
    explicit CellTable(Format format);
    void add(const cellregister::CellSummary &c, const analysis::Rules &rules,
             const QStringList &reasons);
    QByteArray finish();

private:
    Format format_;
    QByteArray out_;
    int rows_ = 0;
};

// Every measurement in CSV (with a header) or JSON.
class MeasurementTable {
public:
    explicit MeasurementTable(Format format);
    void add(const cellregister::Measurement &m);
    QByteArray finish();
    QByteArray &bytes() { return out_; }

private:
    Format format_;
    QByteArray out_;
    int rows_ = 0;
};

} // namespace cli
