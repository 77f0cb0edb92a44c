#pragma once

#include <QStringList>

namespace cellregister {

// The schema version this program writes. A register of a later version is refused.
inline constexpr int kSchemaVersion = 4;

// Stands in a step for what the program itself does between its statements: derive each
// measurement's text shape from its texts, refusing the step when a text would not come back
// exactly from its values.
inline constexpr char kFillTextShapes[] = "%FILL TEXT SHAPES%";

// Stands in a step for giving each cell its label's key (see labelKey), the first written of
// cells whose labels differ only in case alone.
inline constexpr char kFillLabelKeys[] = "%FILL LABEL KEYS%";

// The statements that take a register from version `from` to `from + 1`, for SQLite or
// PostgreSQL (whose key columns and types are spelt differently).
QStringList migrationStep(int from, bool postgres);

} // namespace cellregister
