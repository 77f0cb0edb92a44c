#pragma once

#include <string>

namespace sim {

// A pseudo-terminal in raw mode. The simulator talks on the master side; it keeps the
// slave side open as well, so that the master does not see a hang-up each time the program
// under test closes the port.
class RawPty {
public:
    RawPty();
    ~RawPty();
    RawPty(const RawPty &) = delete;
    RawPty &operator=(const RawPty &) = delete;

    int master() const { return master_; }
    const std::string &path() const { return path_; }
    // Closes both sides at once, as a pulled cable leaves the other end hung up.
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// The entry comN in a port folder, a symbolic link to the pseudo-terminal, removed again
// on destruction. An existing link (left by a simulator that was killed) is replaced; any
// other file of that name is left alone and refused.
class PortEntry {
public:
    PortEntry(const std::string &folder, int com, const std::string &target);
    ~PortEntry();
    PortEntry(const PortEntry &) = delete;
    PortEntry &operator=(const PortEntry &) = delete;

    const std::string &path() const { return path_; }

private:
    std::string path_;
    std::string target_;
};

} // namespace sim
