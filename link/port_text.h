#pragma once

#include <QString>
#include <cstdint>

namespace analyzer {

// COM ports are numbered 1 to 255, in the window, the tool and the simulator alike.
inline constexpr int kFirstComPort = 1;
inline constexpr int kLastComPort = 255;

// Reads the COM-port field as a whole number: leading blanks, an optional sign, then
// decimal digits (within signed 32 bits) or up to eight hexadecimal digits after "$", "x",
// "X", "0x" or "0X"; nothing may follow. Anything else raises LinkError
// NotAnInteger with the text as typed.
std::int32_t portTextToNumber(const QString &text);

} // namespace analyzer
