#pragma once

#include <QStringList>

namespace cellregister {

// The schema version this program writes. A register of a later version is refused.
inline constexpr int kSchemaVersion = 2;

// The statements that take a register from version `from` to `from + 1`, for SQLite or
// PostgreSQL (whose key columns are spelt differently).
QStringList migrationStep(int from, bool postgres);

} // namespace cellregister
