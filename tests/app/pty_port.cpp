#include "pty_port.h"

#include "link/port_path.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

PtyPort::PtyPort(int port)
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    const QDir folder(analyzer::portFolder());
    folder.mkpath(QStringLiteral("."));
    link_ = folder.filePath(QStringLiteral("com%1").arg(port));
    QFile::remove(link_);
    QFile::link(QString::fromLocal8Bit(name), link_);
}

PtyPort::~PtyPort()
{
    if (!link_.isEmpty())
        QFile::remove(link_);
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

const QByteArray &PtyPort::received()
{
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        received_.append(buffer, n);
    }
    return received_;
}

void PtyPort::send(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
}
