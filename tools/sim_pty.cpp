#include "sim_pty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

std::runtime_error systemError(const std::string &what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void makeFolders(const std::string &folder)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            throw systemError("cannot create " + part);
        if (slash == std::string::npos)
            return;
    }
}

} // namespace

RawPty::RawPty()
{
    termios raw{};
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B2400);
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw systemError("cannot open a pseudo-terminal");
    path_ = name;
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    // A program started meanwhile must not keep the line open: pulling the cable (close())
    // would not hang up its side.
    for (const int fd : {master_, slave_})
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

RawPty::~RawPty()
{
    close();
}

void RawPty::close()
{
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

PortEntry::PortEntry(const std::string &folder, int com, const std::string &target)
    : target_(target)
{
    makeFolders(folder);
    path_ = folder + "/com" + std::to_string(com);
    struct stat st { };
    if (::lstat(path_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            throw std::runtime_error(path_ + " exists and is not a link; not replacing it");
        ::unlink(path_.c_str());
    }
    if (::symlink(target.c_str(), path_.c_str()) != 0)
        throw systemError("cannot create " + path_);
}

PortEntry::~PortEntry()
{
    // Another simulator started for the same port may have replaced the link meanwhile;
    // that one is not ours to remove.
    char buffer[4096] = {};
    const ssize_t n = ::readlink(path_.c_str(), buffer, sizeof buffer - 1);
    if (n > 0 && target_ == std::string(buffer, std::size_t(n)))
        ::unlink(path_.c_str());
}

} // namespace sim
