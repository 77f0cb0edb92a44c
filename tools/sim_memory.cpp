#include "sim_memory.h"

#include <cctype>
#include <fstream>
#include <stdexcept>

namespace sim {

namespace {

// Flags byte: range code in bits 0 and 1, bit 2 set when the voltage counts millivolts.
constexpr std::uint8_t kMillivolts = 4;

analyzer::AnalyzerRecord reading(int group, int range, bool millivolts, int resistance, int voltage)
{
    analyzer::AnalyzerRecord r;
    r.group = std::uint8_t(group);
    r.flags = std::uint8_t(range | (millivolts ? kMillivolts : 0));
    r.resistance = std::uint16_t(resistance);
    r.voltage = std::uint16_t(voltage);
    return r;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

Memory typicalReadings()
{
    // Resistance counts as the RM-40A reads them (range 0: 0.01 mΩ, 1: 0.1 mΩ, 2: 1 mΩ,
    // 3: 10 mΩ); voltage in 10 mV, or in mV where the flag is set.
    return {
        reading(1, 0, false, 485, 1271), // 12 V lead-acid, 4.85 mΩ, 12.71 V
        reading(2, 0, false, 512, 1265), // 12 V lead-acid
        reading(3, 0, false, 731, 1238), // 12 V lead-acid, ageing
        reading(4, 1, false, 182, 1302), // 12 V AGM after charge, 18.2 mΩ
        reading(5, 0, false, 298, 2645), // 24 V pack
        reading(6, 0, false, 640, 5280), // 48 V pack
        reading(7, 1, true, 251, 4187), // 18650 lithium cell, 25.1 mΩ, 4.187 V
        reading(8, 1, true, 263, 4162), // 18650
        reading(9, 1, true, 412, 3702), // 18650, half charged
        reading(10, 0, true, 312, 3318), // LiFePO4 cell, 3.12 mΩ
        reading(11, 0, true, 298, 3325), // LiFePO4 cell
        reading(12, 1, true, 452, 1312), // NiMH AA, 45.2 mΩ
        reading(13, 1, true, 487, 1287), // NiMH AA
        reading(14, 2, true, 148, 1561), // alkaline AA, 0.148 Ω
        reading(15, 2, false, 1800, 942), // 9 V alkaline, 1.800 Ω, 9.42 V
        reading(16, 3, true, 1530, 3012), // CR2032 coin cell, 15.30 Ω
        reading(17, 3, true, 1275, 3055), // CR2032
        reading(18, 0, false, 4512, 1198), // 12 V lead-acid, worn out
        reading(19, 1, true, 1325, 3891), // lithium polymer pouch
        reading(20, 2, false, 58, 612), // 6 V lantern battery
    };
}

Memory generatedReadings(long count)
{
    Memory memory;
    memory.reserve(std::size_t(count));
    std::uint32_t state = 0x2545F491u;
    for (long i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        memory.push_back(reading(int(i % 256), int(i % 4), (i / 4) % 2 == 1, int(state >> 16),
                                 int((state >> 4) & 0xFFFF)));
    }
    return memory;
}

Memory readingsFromFile(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + ": cannot be read");
    Memory memory;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::string digits;
        bool bad = false;
        for (char c : line) {
            if (std::isspace(static_cast<unsigned char>(c)))
                continue;
            if (hexValue(c) < 0)
                bad = true;
            digits += c;
        }
        if (digits.empty())
            continue;
        if (bad || digits.size() != 2 * analyzer::kRecordSize)
            throw std::runtime_error(
                path + ":" + std::to_string(number)
                + ": expected six bytes in hexadecimal, like 07 05 02 37 10 1B");
        char bytes[analyzer::kRecordSize];
        for (int k = 0; k < analyzer::kRecordSize; ++k)
            bytes[k] = char(hexValue(digits[2 * k]) * 16 + hexValue(digits[2 * k + 1]));
        memory.push_back(analyzer::recordFromBytes(QByteArrayView(bytes, analyzer::kRecordSize)));
    }
    return memory;
}

} // namespace sim
