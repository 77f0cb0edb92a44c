#pragma once

#include "cellregister/cell_summary.h"
#include "cellregister/measurements.h"
#include "cli/options/options.h"
#include "cli/tables/table_writer.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>

// The register's tables: their columns and how a cell or a measurement fills a row.
namespace cli {

// An exact decimal of units / 10^decimals, shortest form: 56700 and 6 give "0.0567".
QByteArray exactText(std::int64_t units, int decimals);

// A table of cells, one row per cell, with its status (stock, pack, retired) and verdict
// (pass, fail, or retired: a retired cell is neither); the text form shows milliohms and the
// reasons after the verdict. Handed to `flush` as it grows, or all returned by finish().
class CellTable {
public:
    explicit CellTable(Format format, tables::Writer::Flush flush = {});
    void add(const cellregister::CellSummary &c, const analysis::Rules &rules,
             const QStringList &reasons);
    QByteArray finish() { return table_.finish(); }

private:
    Format format_;
    tables::Writer table_;
    QByteArray time_; // a time's text: one buffer for every row
};

// Measurements, one a row: handed to `flush` as they grow, or all returned by finish().
// With the cell's state, each row also gives the cell's status (stock, pack, retired), its
// latest capacity (value, source, time) and its place in a pack (pack, group, position), as
// `export` writes them.
class MeasurementTable {
public:
    enum class Columns { Measurement, WithCellState };
    explicit MeasurementTable(Format format, tables::Place place = tables::Place::Document,
                              tables::Writer::Flush flush = {},
                              Columns columns = Columns::Measurement);
    // `cell`: the measured cell's state, with Columns::WithCellState; none when unknown.
    void add(const cellregister::Measurement &m, const cellregister::CellSummary *cell = nullptr);
    QByteArray finish() { return table_.finish(); }

private:
    Columns columns_;
    tables::Writer table_;
};

} // namespace cli
