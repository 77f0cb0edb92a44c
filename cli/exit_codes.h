#pragma once

namespace cli {

// The tool's exit codes, as its --help texts list them.
enum ExitCode : int {
    kExitOk = 0,
    kExitFileError = 1, // a file cannot be read or written
    kExitUsage = 2, // bad arguments
    kExitNotAReading = 3, // a line is no reading (--strict), or no reading at all
    kExitNoData = 4, // the analyzer holds no readings
    kExitDevice = 5, // a port or device fault, or no answer from the analyzer
    kExitNotEnoughCells = 6, // too few cells within the voltage window
    kExitNotConfirmed = 7, // clearing the memory was not confirmed
    kExitInterrupted = 130, // Ctrl+C (SIGINT) or SIGTERM: what arrived is still written
};

} // namespace cli
