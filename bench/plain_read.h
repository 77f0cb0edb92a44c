#pragma once

// The baseline that file benchmarks are measured against: a file read whole with plain
// read() calls, nothing else.
#include <QByteArray>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

inline QByteArray plainRead(const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    struct stat info { };
    ::fstat(fd, &info);
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype used = 0;
    while (used < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + used, size_t(bytes.size() - used));
        if (n <= 0)
            break;
        used += n;
    }
    ::close(fd);
    return bytes;
}

} // namespace bench
