#include "pty_device.h"

#include "link/port_path.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

PtyDevice::PtyDevice()
{
    termios raw{};
    ::cfmakeraw(&raw);
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    path_ = QString::fromLocal8Bit(name);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyDevice::~PtyDevice()
{
    vanish();
}

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
    if (::write(master_, bytes.constData(), size_t(bytes.size())) != bytes.size())
        throw std::runtime_error("write to the pseudo-terminal failed");
}

QByteArray PtyDevice::received(int count, int timeoutMs) const
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, n);
        if (bytes.size() >= count || timer.elapsed() >= timeoutMs)
            return bytes;
        pollfd pfd{master_, POLLIN, 0};
        ::poll(&pfd, 1, 10);
    }
}

bool PtyDevice::lineSettings(termios *settings) const
{
    // On Linux the master side reports the settings of the slave side.
    return ::tcgetattr(master_, settings) == 0;
}

void PtyDevice::vanish()
{
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

QString testPortFolder()
{
    return analyzer::portFolder();
}

void clearTestPortFolder()
{
    QDir(testPortFolder()).removeRecursively();
}
