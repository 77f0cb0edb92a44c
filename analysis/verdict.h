#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace analysis {

// What a cell must meet to pass. An unset limit is not applied.
struct Rules {
    std::optional<std::int64_t> maxMicroohms;
    std::optional<double> maxSelfDischargeMvPerDay;
    std::optional<std::int64_t> minCapacityMicroampHours;
    // The latest voltage, within both; no default, since the analyzer measures every chemistry.
    std::optional<std::int64_t> minMicrovolts;
    std::optional<std::int64_t> maxMicrovolts;
    // A self-discharge is known only once the rest has lasted this long.
    double minDays = 7;
};

// In the order a cell's failures are listed.
enum class Rule { Resistance, SelfDischarge, Capacity, MinVoltage, MaxVoltage };

// What a rule may be set to, as whole 10^-places of its unit: one range for every front end
// that reads a limit, so that none takes a value another refuses.
struct RuleRange {
    int places;
    std::int64_t min;
    std::int64_t max;
};
// Volts, to the microvolt, 0 to 100 V: beyond any one cell the analyzer measures.
inline constexpr RuleRange kVoltageRuleRange{6, 0, 100'000'000};

// Resistance in micro-ohms and capacity in micro-amp-hours, both exact; self-discharge in
// mV/day, a quotient of a voltage and a time.
using Quantity = std::variant<std::int64_t, double>;

// What is known of a cell when it is judged.
struct CellValues {
    std::int64_t microohms = 0;
    std::int64_t microvolts = 0; // the latest
    // None: no rest began, or it has not lasted Rules::minDays.
    std::optional<double> selfDischargeMvPerDay;
    std::optional<std::int64_t> capacityMicroampHours;
    // How long the latest rest has lasted, in calendar days; none: no rest began.
    std::optional<double> restedDays = std::nullopt;
};

struct Failure {
    Rule rule;
    std::optional<Quantity> value; // none: the cell cannot show this rule yet
    Quantity limit;
    // Of a self-discharge not known yet: the rest reached, in calendar days; none when no
    // rest began.
    std::optional<double> restedDays = std::nullopt;

    bool known() const { return value.has_value(); }
    bool operator==(const Failure &) const = default;
};

// The rules a cell fails, in Rule order; none when it passes. A cell passes only what it has
// shown: a limit set for a value it lacks (no capacity, a rest too short) fails it, so that
// a cell is never let through on values nobody measured.
std::vector<Failure> failures(const CellValues &cell, const Rules &rules);

// A rest's length in whole days and hours, rounded down: "6 d 21 h", "0 d 3 h".
std::string restLengthText(double days);

} // namespace analysis
