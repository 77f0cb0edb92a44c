#pragma once

#include <array>
#include <cstdint>
#include <cstring>

// Digits written two at a time from a table, for the writers of millions of numbers (the
// decimal texts of tables and the fixed-point texts of board lines): a pair costs one
// division where digit by digit costs two.
namespace reading::digits {

inline constexpr auto kPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[std::size_t(2 * i)] = char('0' + i / 10);
        pairs[std::size_t(2 * i + 1)] = char('0' + i % 10);
    }
    return pairs;
}();

inline constexpr std::uint64_t kPowersOfTen[] = {1,
                                                 10,
                                                 100,
                                                 1000,
                                                 10000,
                                                 100000,
                                                 1000000,
                                                 10000000,
                                                 100000000,
                                                 1000000000,
                                                 10000000000,
                                                 100000000000,
                                                 1000000000000,
                                                 10000000000000,
                                                 100000000000000,
                                                 1000000000000000,
                                                 10000000000000000,
                                                 100000000000000000,
                                                 1000000000000000000,
                                                 10000000000000000000u};

// Writes the last n digits of value (with leading zeros) so that they end at end.
template <typename Unsigned>
inline void writeBefore(char *end, Unsigned value, int n)
{
    // Four digits a round: two pairs from one remainder, half the rounds of the loop below.
    for (; n >= 4; n -= 4) {
        const Unsigned rest = value / 10000;
        const auto four = unsigned(value - rest * 10000);
        end -= 4;
        std::memcpy(end, kPairs.data() + 2 * (four / 100), 2);
        std::memcpy(end + 2, kPairs.data() + 2 * (four % 100), 2);
        value = rest;
    }
    for (; n >= 2; n -= 2, value /= 100) {
        end -= 2;
        std::memcpy(end, kPairs.data() + 2 * (value % 100), 2);
    }
    if (n > 0)
        *--end = char('0' + value % 10);
}

} // namespace reading::digits
