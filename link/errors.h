#pragma once

#include "core/error.h"

// Errors raised by the analyzer link.

// The COM-port text is not a whole number.
CORE_DECLARE_ERROR(EConvertError);
// The serial control refused an operation; the message is its own description.
CORE_DECLARE_ERROR(EOleException);
// A received block is too short for the record decoder.
CORE_DECLARE_ERROR(EVariantBadIndexError);
