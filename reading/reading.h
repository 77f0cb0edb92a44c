#pragma once

#include "reading/decimal.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace reading {

// The analyzer models. Only the RM-40A counts resistance on a scale of its own; the other
// two read every record alike.
enum class Model { RM40A, RM40B, RM40C };

// Their names as the window's buttons and the tool's --model show them, in Model's order.
inline constexpr std::array<const char *, 3> kModelNames{"RM-40A", "RM-40B", "RM-40C"};

constexpr const char *modelName(Model model)
{
    return kModelNames[std::size_t(model)];
}

enum class ResistanceUnit { Milliohm, Ohm };

// One stored reading: what the analyzer measured, exact, with the places its line shows.
struct Reading {
    int group = 0; // 0 to 255
    Decimal resistance; // in `unit`, with the places shown: 056.7mΩ is {567, 1}
    ResistanceUnit unit = ResistanceUnit::Milliohm;
    Decimal voltage; // in volts, with the places shown: 4.123V is {4123, 3}
    // The model it was read with; a line read back does not tell.
    std::optional<Model> model;

    Decimal ohms() const;
    Decimal volts() const { return voltage; }
    // Micro-units hold every reading exactly: the finest resistance step is 0.001 mΩ and
    // the finest voltage step 1 mV.
    std::int64_t microohms() const { return ohms().at(6); }
    std::int64_t microvolts() const { return voltage.at(6); }

    // Equal only when they would give the same line and came from the same model.
    friend bool operator==(const Reading &a, const Reading &b)
    {
        return a.group == b.group && sameDigits(a.resistance, b.resistance) && a.unit == b.unit
            && sameDigits(a.voltage, b.voltage) && a.model == b.model;
    }
};

} // namespace reading
