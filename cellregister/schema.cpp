#include "cellregister/schema.h"

namespace cellregister {

namespace {

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

} // namespace

QStringList migrationStep(int from, bool postgres)
{
    QStringList statements;
    if (from == 0) {
        for (const char *s : kVersion1) {
            QString sql = QString::fromLatin1(s);
            sql.replace(QStringLiteral("%KEY%"),
                        postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                 : QStringLiteral("INTEGER PRIMARY KEY"));
            statements << sql;
        }
    }
    return statements;
}

} // namespace cellregister
