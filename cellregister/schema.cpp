#include "cellregister/schema.h"

#include <cstring>
#include <iterator>

namespace cellregister {

namespace {

// Marks a statement that only PostgreSQL runs.
constexpr char kPostgresOnly[] = "%PG%";

// Times are ISO 8601 UTC texts of one width ("2026-12-07T16:35:06.123Z"), which sort as
// they are and read alike in both databases. Resistances and voltages are whole micro-ohms
// and microvolts: every reading the analyzer shows is exact in them. Flags are 0 or 1.
const char *const kVersion1[] = {
    "CREATE TABLE register_schema (version INTEGER NOT NULL)",
    "CREATE TABLE cells ("
    " id %KEY%,"
    " label TEXT NOT NULL UNIQUE,"
    " capacity_uah BIGINT,"
    " capacity_source TEXT,"
    " capacity_at TEXT)",
    "CREATE TABLE measurements ("
    " id %KEY%,"
    " cell_id BIGINT NOT NULL REFERENCES cells(id),"
    " measured_at TEXT NOT NULL,"
    " group_number INTEGER NOT NULL,"
    " microohms BIGINT NOT NULL,"
    " microvolts BIGINT NOT NULL,"
    " resistance_text TEXT NOT NULL,"
    " voltage_text TEXT NOT NULL,"
    " model TEXT NOT NULL,"
    " source TEXT NOT NULL,"
    " source_line INTEGER NOT NULL,"
    " rest_start INTEGER NOT NULL CHECK (rest_start IN (0, 1)))",
    "CREATE INDEX measurements_by_cell ON measurements (cell_id, measured_at, id)",
    "CREATE TABLE packs ("
    " id %KEY%,"
    " name TEXT NOT NULL UNIQUE,"
    " series INTEGER NOT NULL,"
    " parallel INTEGER NOT NULL,"
    " max_voltage_spread_uv BIGINT NOT NULL,"
    " capacity_first INTEGER NOT NULL CHECK (capacity_first IN (0, 1)),"
    " created_at TEXT NOT NULL)",
    // A cell sits in one pack at most.
    "CREATE TABLE pack_cells ("
    " pack_id BIGINT NOT NULL REFERENCES packs(id),"
    " group_index INTEGER NOT NULL,"
    " position INTEGER NOT NULL,"
    " cell_id BIGINT NOT NULL UNIQUE REFERENCES cells(id),"
    " PRIMARY KEY (pack_id, group_index, position))",
    "CREATE TABLE pack_swaps ("
    " id %KEY%,"
    " pack_id BIGINT NOT NULL REFERENCES packs(id),"
    " group_index INTEGER NOT NULL,"
    " position INTEGER NOT NULL,"
    " removed_cell_id BIGINT NOT NULL REFERENCES cells(id),"
    " added_cell_id BIGINT NOT NULL REFERENCES cells(id),"
    " swapped_at TEXT NOT NULL)",
    "INSERT INTO register_schema (version) VALUES (1)",
};

// A cell's life beyond its readings: each record run as one unit that can be undone, every
// capacity measured rather than the latest alone, a cell retired with its reason, and the
// rules a pack was built with. The cells' capacity columns stay the latest capacity, so
// readers of version 1 read it as before.
const char *const kVersion2[] = {
    "CREATE TABLE record_runs ("
    " id %KEY%,"
    " recorded_at TEXT NOT NULL,"
    " measured_at TEXT NOT NULL,"
    " model TEXT NOT NULL,"
    " source TEXT NOT NULL)",
    "ALTER TABLE measurements ADD COLUMN run_id BIGINT REFERENCES record_runs(id)",
    // A register of version 1 kept no runs: one record wrote its readings with one time,
    // model and source, so those three tell its runs apart.
    "INSERT INTO record_runs (recorded_at, measured_at, model, source)"
    " SELECT measured_at, measured_at, model, source FROM measurements"
    " GROUP BY measured_at, model, source ORDER BY MIN(id)",
    "UPDATE measurements SET run_id = (SELECT r.id FROM record_runs r"
    " WHERE r.measured_at = measurements.measured_at AND r.model = measurements.model"
    " AND r.source = measurements.source)",
    "CREATE INDEX measurements_by_run ON measurements (run_id)",
    "CREATE TABLE capacities ("
    " id %KEY%,"
    " cell_id BIGINT NOT NULL REFERENCES cells(id),"
    " capacity_uah BIGINT NOT NULL,"
    " source TEXT NOT NULL,"
    " measured_at TEXT NOT NULL)",
    "INSERT INTO capacities (cell_id, capacity_uah, source, measured_at)"
    " SELECT id, capacity_uah, COALESCE(capacity_source, ''), COALESCE(capacity_at, '')"
    " FROM cells WHERE capacity_uah IS NOT NULL ORDER BY id",
    "CREATE INDEX capacities_by_cell ON capacities (cell_id, measured_at, id)",
    "ALTER TABLE cells ADD COLUMN retired_reason TEXT",
    "ALTER TABLE cells ADD COLUMN retired_at TEXT",
    // A cell a swap took out had failed: it is not offered for a pack again.
    "UPDATE cells SET"
    " retired_reason = (SELECT 'taken out of pack ''' || p.name || '''' FROM pack_swaps s"
    " JOIN packs p ON p.id = s.pack_id WHERE s.removed_cell_id = cells.id"
    " ORDER BY s.id DESC LIMIT 1),"
    " retired_at = (SELECT MAX(s.swapped_at) FROM pack_swaps s"
    " WHERE s.removed_cell_id = cells.id)"
    " WHERE id IN (SELECT removed_cell_id FROM pack_swaps)"
    " AND id NOT IN (SELECT cell_id FROM pack_cells)",
    // NULL: the rule was not set when the pack was built.
    "ALTER TABLE packs ADD COLUMN max_resistance_uohm BIGINT",
    "ALTER TABLE packs ADD COLUMN max_self_discharge_uv_per_day BIGINT",
    "ALTER TABLE packs ADD COLUMN min_capacity_uah BIGINT",
    "ALTER TABLE packs ADD COLUMN min_rest_millidays BIGINT",
    "ALTER TABLE packs ADD COLUMN rules_stored INTEGER NOT NULL DEFAULT 0",
    "UPDATE register_schema SET version = 2",
};

// Values once: a reading's texts are rebuilt from its values and the shape the board showed
// them in, and its model and source are its run's. A run of several files keeps which file
// each reading came from. On PostgreSQL instants become timestamptz; SQLite keeps the UTC
// texts of one width, which sort as instants do and read the same in any tool.
const char *const kVersion3[] = {
    "CREATE TABLE run_files ("
    " id %KEY%,"
    " run_id BIGINT NOT NULL REFERENCES record_runs(id),"
    " path TEXT NOT NULL)",
    "INSERT INTO run_files (run_id, path)"
    " SELECT m.run_id, m.source FROM measurements m JOIN record_runs r ON r.id = m.run_id"
    " WHERE m.source <> r.source GROUP BY m.run_id, m.source ORDER BY MIN(m.id)",
    "ALTER TABLE measurements ADD COLUMN file_id BIGINT REFERENCES run_files(id)",
    "UPDATE measurements SET file_id = (SELECT f.id FROM run_files f"
    " WHERE f.run_id = measurements.run_id AND f.path = measurements.source)",
    "ALTER TABLE measurements ADD COLUMN text_shape INTEGER NOT NULL DEFAULT 0",
    kFillTextShapes,
    "ALTER TABLE measurements DROP COLUMN resistance_text",
    "ALTER TABLE measurements DROP COLUMN voltage_text",
    "ALTER TABLE measurements DROP COLUMN model",
    "ALTER TABLE measurements DROP COLUMN source",
    "%PG%ALTER TABLE measurements ALTER COLUMN measured_at TYPE timestamptz"
    " USING measured_at::timestamptz",
    "%PG%ALTER TABLE cells ALTER COLUMN capacity_at TYPE timestamptz USING "
    "capacity_at::timestamptz,"
    " ALTER COLUMN retired_at TYPE timestamptz USING retired_at::timestamptz",
    "%PG%ALTER TABLE packs ALTER COLUMN created_at TYPE timestamptz USING created_at::timestamptz",
    "%PG%ALTER TABLE pack_swaps ALTER COLUMN swapped_at TYPE timestamptz"
    " USING swapped_at::timestamptz",
    "%PG%ALTER TABLE record_runs ALTER COLUMN recorded_at TYPE timestamptz"
    " USING recorded_at::timestamptz,"
    " ALTER COLUMN measured_at TYPE timestamptz USING measured_at::timestamptz",
    "%PG%ALTER TABLE capacities ALTER COLUMN measured_at TYPE timestamptz"
    " USING measured_at::timestamptz",
    "UPDATE register_schema SET version = 3",
};

// The voltage rules a pack was matched under, in microvolts; NULL: not set (and so in every
// pack saved before them).
const char *const kPackVoltageRules[] = {
    "ALTER TABLE packs ADD COLUMN min_voltage_uv BIGINT",
    "ALTER TABLE packs ADD COLUMN max_voltage_uv BIGINT",
};

// A cell's identity and a run's number for good. A label names one cell in any case: each
// cell keeps its label's case fold as its key, unique, so that a label differing only in
// case finds the cell first written. Cells that an earlier version let in as twins keep no
// key but the first written one's, so that nothing is merged without the user's word. A run
// taken back keeps its row with the time it was taken back, so that its number is never
// given to another.
const char *const kIdentity[] = {
    "ALTER TABLE cells ADD COLUMN label_key TEXT",
    kFillLabelKeys,
    "CREATE UNIQUE INDEX cells_by_key ON cells (label_key)",
    "ALTER TABLE record_runs ADD COLUMN undone_at %TIME%",
};

const char *const kVersion4[] = {
    kPackVoltageRules[0],
    kPackVoltageRules[1],
    kIdentity[0],
    kIdentity[1],
    kIdentity[2],
    kIdentity[3],
    "UPDATE register_schema SET version = 4",
};

const char *const *const kSteps[][2] = {
    {std::begin(kVersion1), std::end(kVersion1)},
    {std::begin(kVersion2), std::end(kVersion2)},
    {std::begin(kVersion3), std::end(kVersion3)},
    {std::begin(kVersion4), std::end(kVersion4)},
};

} // namespace

QStringList migrationStep(int from, bool postgres)
{
    QStringList statements;
    if (from >= 0 && from < int(std::size(kSteps))) {
        for (const char *const *it = kSteps[from][0]; it != kSteps[from][1]; ++it) {
            QString sql = QString::fromLatin1(*it);
            if (sql.startsWith(QLatin1String(kPostgresOnly))) {
                if (!postgres)
                    continue;
                sql.remove(0, qsizetype(std::strlen(kPostgresOnly)));
            }
            sql.replace(QStringLiteral("%KEY%"),
                        postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                 : QStringLiteral("INTEGER PRIMARY KEY"));
            sql.replace(QStringLiteral("%TIME%"),
                        postgres ? QStringLiteral("timestamptz") : QStringLiteral("TEXT"));
            statements << sql;
        }
    }
    return statements;
}

} // namespace cellregister
