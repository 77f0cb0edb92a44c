#include "sim_options.h"

#include "link/port_text.h"

#include <stdexcept>
#include <string_view>

namespace sim {

namespace {

long wholeNumber(std::string_view option, const char *text, long min, long max)
{
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used, 10);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used == 0 || text[used] != '\0' || value < min || value > max)
        throw std::invalid_argument(std::string(option) + " takes a whole number from " +
                                    std::to_string(min) + " to " + std::to_string(max) +
                                    ", not '" + text + "'");
    return value;
}

} // namespace

Options parseOptions(int argc, char **argv)
{
    Options o;
    int memoryChoices = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc)
                throw std::invalid_argument(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--ports") {
            o.portsFolder = value();
        } else if (arg == "--com") {
            o.com = int(wholeNumber(arg, value(), analyzer::kFirstComPort, analyzer::kLastComPort));
        } else if (arg == "--readings") {
            o.memory = Options::Memory::File;
            o.readingsFile = value();
            ++memoryChoices;
        } else if (arg == "--generate") {
            o.memory = Options::Memory::Generated;
            o.generated = wholeNumber(arg, value(), 0, 100'000'000);
            ++memoryChoices;
        } else if (arg == "--empty") {
            o.memory = Options::Memory::Empty;
            ++memoryChoices;
        } else if (arg == "--full-speed") {
            o.fullSpeed = true;
        } else {
            throw std::invalid_argument("unknown option '" + std::string(arg) + "'");
        }
    }
    if (o.help)
        return o;
    if (o.portsFolder.empty())
        throw std::invalid_argument("--ports FOLDER is required");
    if (o.com == 0)
        throw std::invalid_argument("--com N is required");
    if (memoryChoices > 1)
        throw std::invalid_argument("choose at most one of --readings, --generate and --empty");
    return o;
}

const char *helpText()
{
    return R"(Usage: analyzer-sim --ports FOLDER --com N [--readings FILE | --generate N | --empty]
                    [--full-speed]

A simulated battery analyzer on a pseudo-terminal. It creates the entry comN in FOLDER as a
link to the pseudo-terminal, so that a program that looks up COM N in FOLDER reaches it,
prints the pseudo-terminal's path on standard output, and answers the analyzer's commands
until it receives SIGINT or SIGTERM; it then removes the entry and exits.

  --ports FOLDER   the port folder, e.g. ~/.config/battery-analyzer/ports (created if missing)
  --com N          the COM port number to appear as, 1 to 255
  --readings FILE  the memory holds the records of FILE: one record a line, six bytes in
                   hexadecimal ("07 05 02 37 10 1B"); "#" starts a comment
  --generate N     the memory holds N generated readings, every range code and both
                   voltage scales
  --empty          the memory is empty: a download gets the no-data reply
                   (without any of these three: twenty typical readings)
  --full-speed     send as fast as the reader takes the bytes, instead of at the line rate
                   of 2400 baud (about 4.2 ms a byte)
  --help           show this text

Commands: "S","K" sends one six-byte record per reading, or the no-data reply when the
memory is empty; "S","U" empties the memory; "S","E" and "S","T" are accepted silently.
Every command received is logged to standard error.
)";
}

} // namespace sim
