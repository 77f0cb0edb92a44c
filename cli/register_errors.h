#pragma once

#include "core/error.h"

// Errors of the register's subcommands; the register's own are in cellregister/errors.h.

// The readings and the cell labels differ in number: nothing was stored.
CORE_DECLARE_ERROR(ELabelMismatch);
// A capacity file that cannot be imported as it is: no such column, a value that is no
// number of mAh, a label named twice.
CORE_DECLARE_ERROR(ECapacityFile);
