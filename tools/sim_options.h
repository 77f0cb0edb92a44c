#pragma once

#include <string>

namespace sim {

// What analyzer-sim was asked to do on its command line.
struct Options {
    enum class Memory { Default, File, Generated, Empty };

    std::string portsFolder;
    int com = 0;
    Memory memory = Memory::Default;
    std::string readingsFile;
    long generated = 0;
    bool fullSpeed = false;
    bool help = false;
};

// Parses argv; throws std::invalid_argument with a message for the user on a bad command line.
Options parseOptions(int argc, char **argv);

std::string helpText();

} // namespace sim
