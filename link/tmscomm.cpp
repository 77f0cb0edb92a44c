#include "link/tmscomm.h"

#include "link/errors.h"
#include "link/port_opening.h"
#include "link/port_path.h"
#include "link/receive_chain.h"

#include <QScopeGuard>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

struct TMSComm::Private {
    using Kind = analyzer::LinkFault::Kind;

    explicit Private(TMSComm *owner)
        : q(owner), opening(port), received(owner, port, [this](short event) { raise(event); })
    { }

    TMSComm *q;
    QSerialPort port;
    analyzer::PortOpening opening;
    analyzer::ReceiveChain received;
    short commEvent = 0;
    // Non-zero while the control itself calls into the port: errors there are reported by
    // that call, and only errors that arrive from the event loop mean the device is gone.
    int ownCalls = 0;
    bool closingAfterLoss = false;

    auto ownCall()
    {
        ++ownCalls;
        return qScopeGuard([this] { --ownCalls; });
    }

    void raise(short event)
    {
        const short previous = commEvent;
        commEvent = event;
        auto restore = qScopeGuard([this, previous] { commEvent = previous; });
        emit q->OnComm();
    }

    // On a vanished device the port reports a read error on every pass of the event loop
    // while staying open. The first one closes the port; closing happens in a posted event
    // because the port's notifier is still inside its own handler here, and because the
    // blocks received before the loss are still to be delivered ahead of it.
    void portError(QSerialPort::SerialPortError error)
    {
        if (error == QSerialPort::NoError || ownCalls > 0 || closingAfterLoss || !port.isOpen())
            return;
        closingAfterLoss = true;
        QMetaObject::invokeMethod(
            q, [this, o = received.opening()] { closeAfterLoss(o); }, Qt::QueuedConnection);
    }

    void closeAfterLoss(quint64 postedIn)
    {
        if (postedIn != received.opening())
            return;
        close(true);
        raise(kCommEventLineError);
    }

    void close(bool lost = false)
    {
        auto guard = ownCall();
        if (port.isOpen())
            port.close();
        received.reset();
        closingAfterLoss = false;
        opening.closed(lost);
    }

    void open()
    {
        auto guard = ownCall();
        opening.open();
        received.reset();
        closingAfterLoss = false;
    }

    void write(const QString &text)
    {
        if (!port.isOpen())
            throw opening.fault(Kind::NotOpen, opening.lostDevice());
        const QByteArray bytes = text.toLatin1();
        auto guard = ownCall();
        port.clearError();
        // Handing the bytes to the system at once keeps the failure with the write that
        // caused it, instead of surfacing later from the event loop.
        if (port.write(bytes) != bytes.size() || !port.flush()
            || port.error() != QSerialPort::NoError) {
            const QString reason = port.errorString();
            // A command reported as failed must not go out later, once a stalled line moves
            // again: what is left of it (and anything else not yet sent) is dropped.
            port.clear(QSerialPort::Output);
            throw opening.fault(Kind::CannotWrite, opening.device(), reason);
        }
        received.sent(bytes);
    }

    QByteArray read()
    {
        if (!port.isOpen())
            throw opening.fault(Kind::NotOpen, opening.lostDevice());
        return received.take();
    }
};

TMSComm::TMSComm(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    connect(&d->port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { d->portError(e); });
}

TMSComm::~TMSComm()
{
    d->port.disconnect(this);
    d->close();
}

short TMSComm::CommPort() const
{
    return d->opening.commPort();
}

void TMSComm::setCommPort(int port)
{
    d->opening.setCommPort(port);
}

void TMSComm::setPortPath(const QString &devicePath)
{
    d->opening.setPortPath(devicePath);
}

bool TMSComm::PortOpen() const
{
    return d->port.isOpen();
}

void TMSComm::setPortOpen(bool open)
{
    if (open)
        d->open();
    else
        d->close();
}

void TMSComm::setOutput(const QString &oneCharacter)
{
    d->write(oneCharacter);
}

QByteArray TMSComm::Input()
{
    return d->read();
}

void TMSComm::beginTransfer()
{
    d->received.beginTransfer();
}

void TMSComm::endTransfer()
{
    d->received.endTransfer();
}

bool TMSComm::transferPending() const
{
    return d->received.transferPending();
}

std::optional<qsizetype> TMSComm::transferDisturbance() const
{
    return d->received.transferDisturbance();
}

void TMSComm::setDiscarding(bool discard)
{
    d->received.setDiscarding(discard);
}

qint64 TMSComm::quietMilliseconds() const
{
    return d->received.quietMilliseconds();
}

qsizetype TMSComm::disturbedAfter() const
{
    return d->received.disturbedAfter();
}

QString TMSComm::openDevice() const
{
    return d->opening.device();
}

bool TMSComm::lineDead() const
{
#ifdef Q_OS_UNIX
    if (!d->port.isOpen())
        return false;
    pollfd line{int(d->port.handle()), 0, 0};
    return ::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

QString TMSComm::lostDevice() const
{
    return d->opening.lostDevice();
}

short TMSComm::CommEvent() const
{
    return d->commEvent;
}

// Compiled with this file rather than on its own: Qt's headers are read once.
#include "moc_tmscomm.cpp"
