#pragma once

#include "link/protocol.h"

#include <string>
#include <vector>

// The readings a simulated analyzer holds in its memory.
namespace sim {

using Memory = std::vector<analyzer::AnalyzerRecord>;

// Twenty readings as a user might have stored them: lead-acid, lithium, nickel and coin
// cells, over both voltage scales and several range codes.
Memory typicalReadings();

// `count` readings that walk through every range code, both voltage scales, every group
// number and a wide spread of values. The same count always gives the same readings.
Memory generatedReadings(long count);

// One record per line, six bytes in hexadecimal with or without blanks; "#" starts a
// comment and blank lines are skipped. Throws std::runtime_error naming file and line.
Memory readingsFromFile(const std::string &path);

} // namespace sim
