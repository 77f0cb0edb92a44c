#pragma once

#include "core/error.h"

// Errors raised by the analysis of readings.

// There are fewer usable cells within the voltage window than the pack needs.
CORE_DECLARE_ERROR(ENotEnoughCells);
