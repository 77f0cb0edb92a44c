#pragma once

#include "core/error.h"

// Errors raised while drawing reports and labels.

// A label's text does not fit its label even at the smallest readable size.
CORE_DECLARE_ERROR(ELabelDoesNotFit);
// A pack names a cell the batch does not hold.
CORE_DECLARE_ERROR(EUnknownPackCell);
