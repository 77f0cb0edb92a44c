#pragma once

#include "core/error.h"

// The lab view cannot start: the address cannot be listened on, or the access token's file
// cannot be made or read, or others may read it.
CORE_DECLARE_ERROR(EServeFault);

// A replacement the user confirmed is no longer the one proposed: the register changed
// since the proposal was shown.
CORE_DECLARE_ERROR(EProposalChanged);
