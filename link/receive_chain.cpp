#include "link/receive_chain.h"

#include "link/tmscomm.h"

#include <QSerialPort>

#include <algorithm>

namespace analyzer {

ReceiveChain::ReceiveChain(QObject *context, QSerialPort &port, std::function<void(short)> raise)
    : context_(context), port_(port), raise_(std::move(raise))
{
    QObject::connect(&port_, &QSerialPort::readyRead, context_, [this] { takeReceivedBytes(); });
    quietTimer_.setSingleShot(true);
    quietTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&quietTimer_, &QTimer::timeout, context_, [this] { lineQuiet(); });
    clock_.start();
}

// Runs from readyRead, which QIODevice does not emit again until its slot returns; a handler
// that opens a modal box must therefore never run here. Every complete block gets its own
// posted event, delivered by whichever event loop runs next, a modal box's included.
void ReceiveChain::takeReceivedBytes()
{
    if (!port_.isOpen())
        return;
    const QByteArray bytes = port_.readAll();
    if (bytes.isEmpty())
        return;
    lastActivity_ = clock_.elapsed();
    // An echo is recognised and removed also while bytes are being discarded, since the echo
    // of a command may arrive then. Bytes not kept still tell the framer that the line was
    // busy.
    const QByteArray kept = echo_.received(bytes);
    framer_.receive(discarding_ ? QByteArray() : kept, lastActivity_);
    if (discarding_)
        return;
    afterFraming();
}

// The framer's decision is due. Bytes that came while the program was busy are read first, so
// that a stall of the program is never taken for a quiet line.
void ReceiveChain::lineQuiet()
{
    takeReceivedBytes();
    if (discarding_)
        return;
    framer_.idle(clock_.elapsed());
    afterFraming();
}

void ReceiveChain::afterFraming()
{
    while (framer_.hasBlock()) {
        blocks_.push_back(framer_.takeBlock());
        post(TMSComm::kCommEventReceive);
    }
    if (framer_.disturbance() && reportedTransfer_ != framer_.transferNumber()) {
        reportedTransfer_ = framer_.transferNumber();
        disturbedAfter_ = *framer_.disturbance();
        // Posted behind the blocks, so that every reading that arrived is delivered first.
        post(TMSComm::kCommEventDisturbance);
    }
    if (const auto due = framer_.nextDecision())
        quietTimer_.start(int(std::clamp<qint64>(*due - clock_.elapsed(), 1, 60'000)));
    else
        quietTimer_.stop();
}

void ReceiveChain::post(short event)
{
    QMetaObject::invokeMethod(
        context_,
        [this, event, postedIn = opening_] {
            if (postedIn != opening_ || !port_.isOpen())
                return;
            if (event == TMSComm::kCommEventReceive && blocks_.empty())
                return;
            raise_(event);
        },
        Qt::QueuedConnection);
}

void ReceiveChain::beginTransfer()
{
    echo_.decideBeforeAnswer();
    framer_.beginTransfer();
    // A no-data reply of the transfer before, given now, comes ahead of the answer.
    afterFraming();
}

void ReceiveChain::endTransfer()
{
    if (discarding_)
        return;
    takeReceivedBytes();
    framer_.endTransfer();
    afterFraming();
}

void ReceiveChain::setDiscarding(bool on)
{
    discarding_ = on;
    if (on) {
        framer_.abandonTransfer();
        quietTimer_.stop();
    }
}

// Events posted for the blocks dropped here are told apart by the opening number.
void ReceiveChain::reset()
{
    ++opening_;
    blocks_.clear();
    lastActivity_ = clock_.elapsed();
    framer_.reset(lastActivity_);
    echo_.reset();
    discarding_ = false;
    quietTimer_.stop();
}

QByteArray ReceiveChain::take()
{
    if (blocks_.empty())
        return {};
    QByteArray block = std::move(blocks_.front());
    blocks_.pop_front();
    return block;
}

} // namespace analyzer
