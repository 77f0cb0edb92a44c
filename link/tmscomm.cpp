#include "link/tmscomm.h"

#include "link/command_echo.h"
#include "link/errors.h"
#include "link/port_path.h"
#include "link/port_text.h"
#include "link/protocol.h"
#include "link/record_framer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <deque>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>
#endif

struct TMSComm::Private {
    using Kind = analyzer::LinkFault::Kind;

    explicit Private(TMSComm *owner) : q(owner) { }

    TMSComm *q;
    QSerialPort port;
    short commPort = 1;
    QString portPath; // set: the device opened, and commPort is 0
    short commEvent = 0;
    // The device the open port was opened on; kept after a loss for the "not open" text.
    QString device;
    QString lostDevice;
    // Blocks cut from the received bytes and not yet taken by Input, oldest first; each has
    // its own posted receive event.
    std::deque<QByteArray> blocks;
    analyzer::CommandEcho echo;
    analyzer::RecordFramer framer;
    QElapsedTimer clock;
    // When the last byte arrived, or the port was opened, on `clock`.
    qint64 lastActivity = 0;
    bool discarding = false;
    // The framer's transfer whose disturbance was last reported.
    quint64 reportedTransfer = 0;
    qsizetype disturbedAfter = 0;
    // Fires when the framer has something to decide about a line that fell quiet.
    QTimer quietTimer;
    // Changes on every open and close, so that events posted for an earlier opening are
    // dropped rather than delivered against a later one.
    quint64 session = 0;
    // Non-zero while the control itself calls into the port: errors there are reported by
    // that call, and only errors that arrive from the event loop mean the device is gone.
    int ownCalls = 0;
    bool closingAfterLoss = false;

    analyzer::LinkError fault(Kind kind, const QString &on, const QString &systemText = {}) const
    {
        analyzer::LinkFault f{kind, commPort, on};
        f.systemText = systemText;
        return analyzer::LinkError(f);
    }

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

    // Runs from readyRead, which QIODevice does not emit again until its slot returns; a
    // handler that opens a modal box must therefore never run here. Every complete block
    // gets its own posted event, delivered by whichever event loop runs next, a modal box's
    // included.
    void takeReceivedBytes()
    {
        if (!port.isOpen())
            return;
        const QByteArray bytes = port.readAll();
        if (bytes.isEmpty())
            return;
        lastActivity = clock.elapsed();
        // An echo is recognised and removed also while bytes are being discarded, since the
        // echo of a command may arrive then. Bytes not kept still tell the framer that the
        // line was busy.
        const QByteArray kept = echo.received(bytes);
        framer.receive(discarding ? QByteArray() : kept, lastActivity);
        if (discarding)
            return;
        afterFraming();
    }

    // The framer's decision is due. Bytes that came while the program was busy are read
    // first, so that a stall of the program is never taken for a quiet line.
    void lineQuiet()
    {
        takeReceivedBytes();
        if (discarding)
            return;
        framer.idle(clock.elapsed());
        afterFraming();
    }

    void afterFraming()
    {
        postBlocks();
        if (framer.disturbance() && reportedTransfer != framer.transferNumber()) {
            reportedTransfer = framer.transferNumber();
            disturbedAfter = *framer.disturbance();
            // Posted behind the blocks, so that every reading that arrived is delivered
            // first.
            QMetaObject::invokeMethod(
                q, [this, s = session] { deliverDisturbance(s); }, Qt::QueuedConnection);
        }
        if (const auto due = framer.nextDecision())
            quietTimer.start(int(std::clamp<qint64>(*due - clock.elapsed(), 1, 60'000)));
        else
            quietTimer.stop();
    }

    void beginTransfer() { framer.beginTransfer(); }

    void endTransfer()
    {
        if (discarding)
            return;
        takeReceivedBytes();
        framer.endTransfer();
        afterFraming();
    }

    void setDiscarding(bool on)
    {
        discarding = on;
        if (on) {
            framer.abandonTransfer();
            quietTimer.stop();
        }
    }

    void postBlocks()
    {
        while (framer.hasBlock())
            postBlock(framer.takeBlock());
    }

    void postBlock(const QByteArray &block)
    {
        blocks.push_back(block);
        QMetaObject::invokeMethod(
            q, [this, s = session] { deliverReceive(s); }, Qt::QueuedConnection);
    }

    void deliverReceive(quint64 postedIn)
    {
        if (postedIn != session || !port.isOpen() || blocks.empty())
            return;
        raise(kCommEventReceive);
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
            q, [this, s = session] { closeAfterLoss(s); }, Qt::QueuedConnection);
    }

    void closeAfterLoss(quint64 postedIn)
    {
        if (postedIn != session)
            return;
        const QString gone = device;
        close();
        lostDevice = gone;
        raise(kCommEventLineError);
    }

    void deliverDisturbance(quint64 postedIn)
    {
        if (postedIn != session || !port.isOpen())
            return;
        raise(kCommEventDisturbance);
    }

    // Events posted for the blocks dropped here are told apart by the session number.
    void forgetReceived()
    {
        ++session;
        blocks.clear();
        lastActivity = clock.elapsed();
        framer.reset(lastActivity);
        echo.reset();
        discarding = false;
        quietTimer.stop();
    }

    void close()
    {
        auto guard = ownCall();
        if (port.isOpen())
            port.close();
        forgetReceived();
        closingAfterLoss = false;
        device.clear();
    }

    void open()
    {
        if (port.isOpen())
            throw fault(Kind::AlreadyOpen, device);

        const QString canonical =
            existingDevice(portPath.isEmpty() ? analyzer::portDevicePath(commPort) : portPath);

        auto guard = ownCall();
        port.setPortName(canonical);
        if (!port.open(QIODevice::ReadWrite))
            throw openFailure(canonical);

        // DTR up and RTS down, as the instrument's adapter cables expect (some take their
        // power from these lines); Linux raises both on open. Pseudo-terminals have no modem
        // lines, so a refusal here is not an error.
        port.setDataTerminalReady(true);
        port.setRequestToSend(false);
        // Nothing received or queued before this opening belongs to it.
        port.clear(QSerialPort::AllDirections);
        port.clearError();

        forgetReceived();
        closingAfterLoss = false;
        device = canonical;
        lostDevice.clear();
    }

    // The device to open, with links resolved: the lock the serial library takes is named
    // after it, so two links to one adapter still count as one port.
    QString existingDevice(const QString &path) const
    {
#ifdef Q_OS_UNIX
        const QFileInfo info(path);
        if (!info.exists()) {
            const QString entry = info.isSymLink() ? path : QString();
            const QString target = info.isSymLink() ? info.symLinkTarget() : path;
            analyzer::LinkFault missing{Kind::NoSuchDevice, commPort, target};
            missing.entry = entry;
            missing.folder = analyzer::portFolder();
            throw analyzer::LinkError(missing);
        }
        return info.canonicalFilePath();
#else
        return path;
#endif
    }

    // The library reports a refused open and a port locked by another program alike; only
    // the device's permissions tell them apart.
    bool mayOpen(const QString &path) const
    {
#ifdef Q_OS_UNIX
        return ::access(path.toLocal8Bit().constData(), R_OK | W_OK) == 0;
#else
        Q_UNUSED(path);
        return true;
#endif
    }

    analyzer::LinkError openFailure(const QString &path) const
    {
        switch (port.error()) {
        case QSerialPort::DeviceNotFoundError: {
            analyzer::LinkFault missing{Kind::NoSuchDevice, commPort, path};
            missing.folder = analyzer::portFolder();
            return analyzer::LinkError(missing);
        }
        case QSerialPort::PermissionError:
            return fault(mayOpen(path) ? Kind::PortBusy : Kind::PermissionDenied, path);
        case QSerialPort::UnsupportedOperationError:
            return fault(Kind::NotASerialDevice, path, port.errorString());
        default: return fault(Kind::CannotOpen, path, port.errorString());
        }
    }

    void write(const QString &text)
    {
        if (!port.isOpen())
            throw fault(Kind::NotOpen, lostDevice);
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
            throw fault(Kind::CannotWrite, device, reason);
        }
        echo.sent(bytes);
    }

    QByteArray read()
    {
        if (!port.isOpen())
            throw fault(Kind::NotOpen, lostDevice);
        if (blocks.empty())
            return {};
        QByteArray block = std::move(blocks.front());
        blocks.pop_front();
        return block;
    }
};

TMSComm::TMSComm(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    d->port.setBaudRate(QSerialPort::Baud2400);
    d->port.setDataBits(QSerialPort::Data8);
    d->port.setParity(QSerialPort::NoParity);
    d->port.setStopBits(QSerialPort::OneStop);
    d->port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&d->port, &QSerialPort::readyRead, this, [this] { d->takeReceivedBytes(); });
    d->quietTimer.setSingleShot(true);
    d->quietTimer.setTimerType(Qt::PreciseTimer);
    d->clock.start();
    connect(&d->quietTimer, &QTimer::timeout, this, [this] { d->lineQuiet(); });
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
    return d->commPort;
}

void TMSComm::setCommPort(int port)
{
    using Kind = analyzer::LinkFault::Kind;
    if (port < analyzer::kFirstComPort || port > analyzer::kLastComPort)
        throw analyzer::LinkError({Kind::InvalidPortNumber, port});
    if (d->port.isOpen() && port != d->commPort) {
        analyzer::LinkFault taken{Kind::OtherPortOpen, d->commPort, d->device};
        taken.requestedPort = port;
        throw analyzer::LinkError(taken);
    }
    d->commPort = short(port);
    d->portPath.clear();
}

void TMSComm::setPortPath(const QString &devicePath)
{
    if (d->port.isOpen())
        throw d->fault(analyzer::LinkFault::Kind::AlreadyOpen, d->device);
    d->commPort = 0;
    d->portPath = devicePath;
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
    d->beginTransfer();
}

void TMSComm::endTransfer()
{
    d->endTransfer();
}

bool TMSComm::transferPending() const
{
    return d->framer.nextDecision().has_value();
}

std::optional<qsizetype> TMSComm::transferDisturbance() const
{
    return d->framer.disturbance();
}

void TMSComm::setDiscarding(bool discard)
{
    d->setDiscarding(discard);
}

qint64 TMSComm::quietMilliseconds() const
{
    return d->clock.elapsed() - d->lastActivity;
}

qsizetype TMSComm::disturbedAfter() const
{
    return d->disturbedAfter;
}

QString TMSComm::openDevice() const
{
    return d->device;
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
    return d->lostDevice;
}

short TMSComm::CommEvent() const
{
    return d->commEvent;
}
