#include "reading/reading.h"

namespace reading {

Decimal Reading::ohms() const
{
    Decimal value = resistance;
    if (unit == ResistanceUnit::Milliohm)
        value.decimals += 3;
    return value;
}

} // namespace reading
