#pragma once

#include "core/error.h"

#include <cstddef>

// Errors raised by the analysis of readings.

// There are fewer usable cells within the voltage window than the pack needs.
CORE_DECLARE_ERROR(ENotEnoughCells);

// A capacity-first match was told to refuse cells without a capacity, and some have none.
class EMissingCapacity : public core::Error {
public:
    EMissingCapacity(std::size_t missing, std::size_t cells);

    std::size_t missing; // cells without a capacity
    std::size_t cells; // cells in all
};
