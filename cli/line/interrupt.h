#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace cli {

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop, so that an
// interrupted download can still send Disconnect, write what arrived and close the port.
// The signal handler only writes the signal's number to a pipe; the earlier handlers come
// back when this object goes.
class InterruptNotifier : public QObject {
    Q_OBJECT
public:
    explicit InterruptNotifier(QObject *parent = nullptr);
    ~InterruptNotifier() override;

signals:
    void interrupted(int signal);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace cli
