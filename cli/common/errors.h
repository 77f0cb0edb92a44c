#pragma once

#include "cli/options/options.h"
#include "core/error.h"

// Errors raised by the command-line tool; main() turns each into its exit code.

// A line of an input file is no reading (with --strict).
CORE_DECLARE_ERROR(ENotAReading);
// The files hold no reading at all.
CORE_DECLARE_ERROR(ENoReadings);
// The analyzer answered a download with the no-data reply.
CORE_DECLARE_ERROR(ENoData);
// The analyzer's port went away, or a received block could not be decoded.
CORE_DECLARE_ERROR(EDeviceFault);
// Clearing the analyzer's memory was not confirmed.
CORE_DECLARE_ERROR(ENotConfirmed);
// A file the tool reads as text is none: it holds a zero byte, or more than the tool reads.
CORE_DECLARE_ERROR(EInputFile);
// The readings and the cell labels differ in number: nothing was stored.
CORE_DECLARE_ERROR(ELabelMismatch);
// A capacity file that cannot be imported as it is: no such column, a value that is no
// number of mAh, a label named twice.
CORE_DECLARE_ERROR(ECapacityFile);
