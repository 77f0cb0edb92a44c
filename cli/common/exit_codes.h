#pragma once

namespace cli {

// The tool's exit codes; main's table words them for the help and maps faults to them.
enum ExitCode : int {
    kExitOk = 0,
    kExitFileError = 1,
    kExitUsage = 2,
    kExitNotAReading = 3,
    kExitNoData = 4,
    kExitDevice = 5,
    kExitNotEnoughCells = 6,
    kExitNotConfirmed = 7,
    kExitRegister = 8,
    kExitLabelMismatch = 9,
    kExitUnknownEntry = 10,
    kExitInterrupted = 130, // Ctrl+C (SIGINT) or SIGTERM: what arrived is still written
};

} // namespace cli
