#pragma once

#include "core/error.h"
#include "core/system_error.h"

#include <QString>

// Errors raised by the data board's file operations.

// "Cannot create file "<absolute path>". <system text>"
CORE_DECLARE_ERROR(EFCreateError);
// "Cannot open file "<absolute path>". <system text>"
CORE_DECLARE_ERROR(EFOpenError);
// "Stream write error"
CORE_DECLARE_ERROR(EWriteError);
// "Text exceeds memo capacity"
CORE_DECLARE_ERROR(EInvalidOperation);

namespace board {

// The errors with their exact texts; absolutePath is the file's path made absolute, errnum
// the error number of the call that failed, reason a short text where no error number says
// it well.
inline EFCreateError cannotCreateFile(const QString &absolutePath, const QString &reason)
{
    return EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(absolutePath, reason));
}

inline EFCreateError cannotCreateFile(const QString &absolutePath, int errnum)
{
    return cannotCreateFile(absolutePath, core::systemErrorText(errnum));
}

inline EFOpenError cannotOpenFile(const QString &absolutePath, const QString &reason)
{
    return EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(absolutePath, reason));
}

inline EFOpenError cannotOpenFile(const QString &absolutePath, int errnum)
{
    return cannotOpenFile(absolutePath, core::systemErrorText(errnum));
}

// The reasons of our own.
inline QString notARegularFile()
{
    return QStringLiteral("Not a regular file");
}

inline QString noReaderOnThePipe()
{
    return QStringLiteral("No program reads from the pipe");
}

inline EWriteError streamWriteError()
{
    return EWriteError(QStringLiteral("Stream write error"));
}

inline EInvalidOperation textExceedsCapacity()
{
    return EInvalidOperation(QStringLiteral("Text exceeds memo capacity"));
}

} // namespace board
