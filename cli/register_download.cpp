// record --com: a download kept in memory until it is known to be whole.
#include "cli/errors.h"
#include "cli/interrupt.h"
#include "cli/live_count.h"
#include "cli/output.h"
#include "cli/register_record.h"
#include "link/error_text.h"
#include "link/errors.h"
#include "link/port_text.h"
#include "link/session.h"
#include "link/tmscomm.h"

#include <QEventLoop>
#include <QTimer>

namespace cli {

int downloadPort(const RegisterCommandLine &line)
{
    const QString text = line.value(QStringLiteral("com"));
    std::int32_t port = -1;
    try {
        port = analyzer::portTextToNumber(text);
    } catch (const EConvertError &) {
    }
    if (port < analyzer::kFirstComPort || port > analyzer::kLastComPort)
        line.fail(QStringLiteral("--com takes a port number from %1 to %2, not '%3'")
                      .arg(analyzer::kFirstComPort)
                      .arg(analyzer::kLastComPort)
                      .arg(text));
    return port;
}

Arrival downloadReadings(const RegisterCommandLine &line, const RecordSource &source)
{
    int idleMs = 2000;
    if (line.isSet(QStringLiteral("idle")))
        idleMs = int(std::max<std::int64_t>(1, line.decimalOption(QStringLiteral("idle"), 3, 3'600'000)));

    TMSComm comm;
    analyzer::Session session(comm);
    session.setModel(source.analyzerModel);
    InterruptNotifier interrupt;
    LiveCount count;
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    Arrival arrival;
    bool noData = false;
    bool over = false;
    const auto finish = [&](Arrival::End end, const QString &why) {
        if (over)
            return;
        over = true;
        arrival.end = end;
        arrival.failure = why;
        idle.stop();
        loop.quit();
    };
    QObject::connect(&idle, &QTimer::timeout, [&] { finish(Arrival::End::Complete, {}); });
    QObject::connect(&interrupt, &InterruptNotifier::interrupted,
                     [&] { finish(Arrival::End::Interrupted, QStringLiteral("interrupted")); });
    QObject::connect(&session, &analyzer::Session::reading, [&](const reading::Reading &r, const QByteArray &l) {
        arrival.measurements << measurementOf(r);
        arrival.lines << l;
        count.update(arrival.lines.size());
        idle.start(idleMs);
    });
    QObject::connect(&session, &analyzer::Session::noData, [&] {
        noData = arrival.lines.isEmpty();
        if (noData)
            finish(Arrival::End::Complete, {});
        else
            finish(Arrival::End::Failed,
                   QStringLiteral("COM %1: the transfer was disturbed (a no-data reply after readings)").arg(source.com));
    });
    // A block that cannot be read is a reading missing: every later label would be wrong.
    QObject::connect(&session, &analyzer::Session::receiveFailed, [&](const QString &message) {
        finish(Arrival::End::Failed, QStringLiteral("COM %1: %2").arg(source.com).arg(message));
    });
    QObject::connect(&session, &analyzer::Session::downloadSent, [&] { idle.start(idleMs); });
    QObject::connect(&session, &analyzer::Session::commandFailed,
                     [&](const QString &message) { finish(Arrival::End::Failed, message); });
    // Readings the line may have shifted would go to the wrong cells.
    QObject::connect(&session, &analyzer::Session::transferDisturbed,
                     [&](const QString &message) { finish(Arrival::End::Failed, message); });
    QObject::connect(&session, &analyzer::Session::deviceLost, [&] {
        finish(Arrival::End::Failed, QStringLiteral("%1 lost its device during the download")
                                         .arg(analyzer::errortext::portAndDevice(source.com, comm.lostDevice())));
    });

    session.open(source.com);
    session.download();
    if (!over)
        loop.exec();
    count.finish(arrival.lines.size());
    if (session.isOpen()) {
        try {
            session.close();
        } catch (const core::Error &e) {
            // The readings are whole; a Disconnect that did not go out changes nothing.
            printMessage(QStringLiteral("battery-analyzer-cli: ") + e.message());
        }
    }
    if (noData)
        throw ENoData(QStringLiteral("COM %1: the analyzer holds no readings").arg(source.com));
    if (arrival.end == Arrival::End::Complete && arrival.lines.isEmpty())
        throw EDeviceFault(QStringLiteral("COM %1: no answer from the analyzer within %2 s").arg(source.com).arg(idleMs / 1000.0));
    return arrival;
}

} // namespace cli
