#include "board/device_write.h"

#include "board/errors.h"
#include "board/file_descriptor.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>

namespace board {

namespace {

// A write to a pipe whose reader has gone raises SIGPIPE, which ends the program unless
// every front end remembers to ignore it. While a guard lives, SIGPIPE is held back for
// this thread only (the write then fails with EPIPE), and one raised meanwhile is taken
// away unseen; one that was already waiting before is left for its owner.
class SigpipeGuard {
public:
    SigpipeGuard()
    {
        sigemptyset(&sigpipe_);
        sigaddset(&sigpipe_, SIGPIPE);
        sigset_t pending;
        waitingBefore_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &sigpipe_, &previous_);
    }
    ~SigpipeGuard()
    {
        const int savedErrno = errno;
        sigset_t pending;
        if (!waitingBefore_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            const timespec noWait{0, 0};
            while (sigtimedwait(&sigpipe_, nullptr, &noWait) < 0 && errno == EINTR) { }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        errno = savedErrno;
    }
    SigpipeGuard(const SigpipeGuard &) = delete;
    SigpipeGuard &operator=(const SigpipeGuard &) = delete;

private:
    sigset_t sigpipe_;
    sigset_t previous_;
    bool waitingBefore_ = false;
};

// Waits until fd takes bytes again or the deadline passes; false on the deadline.
bool waitForRoom(int fd, const QDeadlineTimer &deadline)
{
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return false;
        pollfd entry{fd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, int(left));
        if (ready > 0)
            return true; // room, or a hang-up that the next write reports
        if (ready == 0)
            return false;
        if (errno != EINTR)
            return true; // the next write says what is wrong
    }
}

} // namespace

void writeToDevice(const QByteArray &name, const QString &absolute, QByteArrayView bytes)
{
    // Opened without waiting: a pipe nobody reads would otherwise wait for a reader, and a
    // serial device for its carrier. The descriptor stays non-blocking, so that a write the
    // device cannot take at once returns instead of waiting.
    FileDescriptor fd(::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        struct stat info { };
        if (errno == ENXIO && ::stat(name.constData(), &info) == 0 && S_ISFIFO(info.st_mode))
            throw cannotCreateFile(absolute, noReaderOnThePipe());
        throw cannotCreateFile(absolute, errno);
    }

    const SigpipeGuard guard;
    const QDeadlineTimer deadline(kDeviceWriteMillis);
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd.get(), p, size_t(left));
        if (n > 0) {
            p += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitForRoom(fd.get(), deadline))
                continue;
            // Nothing taken at all counts as a device that cannot be written; part of the
            // bytes taken, as a write that did not complete.
            if (left == bytes.size())
                throw cannotCreateFile(absolute, EAGAIN);
            throw streamWriteError();
        }
        throw streamWriteError(); // EPIPE from a reader that has gone, EIO, ...
    }
    if (!fd.close())
        throw streamWriteError();
}

} // namespace board
