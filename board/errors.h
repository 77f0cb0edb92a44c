#pragma once

#include "core/error.h"

// Errors raised by the data board's file operations.

// "Cannot create file "<absolute path>". <system text>"
CORE_DECLARE_ERROR(EFCreateError);
// "Cannot open file "<absolute path>". <system text>"
CORE_DECLARE_ERROR(EFOpenError);
// "Stream write error"
CORE_DECLARE_ERROR(EWriteError);
// "Text exceeds memo capacity"
CORE_DECLARE_ERROR(EInvalidOperation);
