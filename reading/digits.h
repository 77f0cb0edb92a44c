#pragma once

#include <array>
#include <bit>
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

// The eight digits of value (below 10^8, with leading zeros) as one word: in memory order the
// most significant digit first, each a byte from 0 to 9. A few multiplications in place of
// a division for each pair, and the word shows the leading and trailing zeros of the number
// to a count of its bits, so that a writer needs no loop to find them. Writers use it where
// words are little-endian, and the loops above elsewhere.
inline constexpr bool kEightDigitWords = std::endian::native == std::endian::little;

inline std::uint64_t eightDigits(std::uint32_t value)
{
    // Two halves of four digits, the first in the low half.
    const std::uint64_t halves = (value / 10000) | (std::uint64_t(value % 10000) << 32);
    // Each half into two pairs: x * 10486 >> 20 is x / 100 for any x below 10^4.
    const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007FULL;
    const std::uint64_t pairs = ((halves - hundreds * 100) << 16) | hundreds;
    // Each pair into two digits: x * 103 >> 10 is x / 10 for any x below 100.
    const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
    return ((pairs - tens * 10) << 8) | tens;
}

inline constexpr std::uint64_t kAsciiZeros = 0x3030303030303030ULL;

// The digits of a word from eightDigits that stand before the first one other than zero (8
// for zero), and after the last.
inline int leadingZeroDigits(std::uint64_t digits)
{
    return digits == 0 ? 8 : std::countr_zero(digits) / 8;
}
inline int trailingZeroDigits(std::uint64_t digits)
{
    return digits == 0 ? 8 : std::countl_zero(digits) / 8;
}

// The eight bytes of word at p, which has room for them.
inline void store(char *p, std::uint64_t word)
{
    std::memcpy(p, &word, sizeof word);
}

} // namespace reading::digits
