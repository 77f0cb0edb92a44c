#include "pty_device.h"

#include "link/port_path.h"
#include "sim_pty.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

PtyDevice::PtyDevice()
    : pty_(std::make_unique<sim::RawPty>()), path_(QString::fromStdString(pty_->path()))
{
    // A speed the program never uses, so that its own line settings show.
    termios t{};
    ::tcgetattr(pty_->master(), &t);
    ::cfsetspeed(&t, B9600);
    ::tcsetattr(pty_->master(), TCSANOW, &t);
}

PtyDevice::PtyDevice(int com) : PtyDevice()
{
    linkAs(com);
}

PtyDevice::~PtyDevice() = default;

void PtyDevice::linkAs(int com) const
{
    QDir().mkpath(testPortFolder());
    const QString entry = testPortFolder() + QStringLiteral("/com%1").arg(com);
    QFile::remove(entry);
    if (!QFile::link(path_, entry))
        throw std::runtime_error("cannot link the port entry");
}

void PtyDevice::send(const QByteArray &bytes) const
{
    // The master side is non-blocking; a burst larger than the terminal's buffer waits for
    // the program to read.
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(pty_->master(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN)
            throw std::runtime_error("write to the pseudo-terminal failed");
        pollfd pfd{pty_->master(), POLLOUT, 0};
        ::poll(&pfd, 1, 10);
    }
}

QByteArray PtyDevice::received(int count, int timeoutMs)
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pty_->master(), buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, n);
        if (bytes.size() >= count || timer.elapsed() >= timeoutMs)
            break;
        // The program may write only once its event loop runs (a Download that waits for
        // the line to fall quiet, say).
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd pfd{pty_->master(), POLLIN, 0};
        ::poll(&pfd, 1, 5);
    }
    log_ += bytes;
    return bytes;
}

const QByteArray &PtyDevice::receivedSoFar()
{
    received(0, 0);
    return log_;
}

bool PtyDevice::lineSettings(termios *settings) const
{
    // On Linux the master side reports the settings of the slave side.
    return ::tcgetattr(pty_->master(), settings) == 0;
}

void PtyDevice::vanish()
{
    pty_->close();
}

bool PtyDevice::hangUp() const
{
    const int side = ::open(qPrintable(path_), O_RDWR | O_NOCTTY);
    if (side < 0)
        throw std::runtime_error("cannot open the program's side of the pseudo-terminal");
    const bool hungUp = ::ioctl(side, TIOCVHANGUP) == 0;
    ::close(side);
    return hungUp;
}

void PtyDevice::stall()
{
    const int side = ::open(qPrintable(path_), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    if (side < 0)
        throw std::runtime_error("cannot open the program's side of the pseudo-terminal");
    // Large pieces first, then single bytes, so that not even one byte of room is left; a
    // second round after a pause takes what the terminal moved on in the meantime.
    const char filler[4096] = {};
    for (int round = 0; round < 2; ++round) {
        for (const size_t piece : {sizeof filler, size_t(1)}) {
            while (::write(side, filler, piece) > 0) { }
            if (errno != EAGAIN) {
                ::close(side);
                throw std::runtime_error("cannot fill the pseudo-terminal");
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::close(side);
}

void PtyDevice::resume()
{
    // The filler is gone once the line has stayed empty for a moment.
    for (QByteArray bytes; !(bytes = received(1, 100)).isEmpty();) {
        log_.chop(bytes.size());
        log_ += bytes.replace('\0', QByteArray());
    }
}

QString testPortFolder()
{
    return analyzer::portFolder();
}

void clearTestPortFolder()
{
    QDir(testPortFolder()).removeRecursively();
}
