#pragma once

#include "core/error.h"

// Errors raised by the cell register.

// The register cannot be opened, read or written: not a register, a newer schema, a
// locked file, a folder that cannot be written, a server that is down or refuses the user.
CORE_DECLARE_ERROR(ERegisterFault);
// A cell label or pack name the register does not hold.
CORE_DECLARE_ERROR(EUnknownEntry);
// A pack name or cell label that is taken, a cell already built into a pack or named twice,
// or a retired cell put into a pack.
CORE_DECLARE_ERROR(EDuplicateEntry);
