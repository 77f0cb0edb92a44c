#pragma once

#include "core/error.h"

#include <QString>
#include <cstring>

namespace core {

// The operating system's description of an error number, trimmed for use in a message.
inline QString systemErrorText(int errnum)
{
    return trimErrorTail(QString::fromLocal8Bit(std::strerror(errnum)));
}

} // namespace core
