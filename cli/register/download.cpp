// record --com / --port: a download kept in memory until it is known to be whole.
#include "cli/common/errors.h"
#include "cli/common/output.h"
#include "cli/line/transfer.h"
#include "cli/register/record.h"
#include "core/error.h"
#include "link/port_text.h"

#include <exception>

namespace cli {

QString RecordSource::portName() const
{
    return portPath.isEmpty() ? QStringLiteral("COM %1").arg(com) : portPath;
}

Arrival downloadReadings(const Invocation &inv, const RecordSource &source)
{
    const TransferRequest request{source.com, source.portPath, source.analyzerModel,
                                  inv.idleMilliseconds, true};
    // A block that cannot be read is a reading missing: every later label would be wrong.
    const Transfer t = runTransfer(request);
    if (t.closeFailure) {
        // The readings are whole; a Disconnect that did not go out changes nothing.
        try {
            std::rethrow_exception(t.closeFailure);
        } catch (const core::Error &e) {
            printMessage(QStringLiteral("battery-analyzer-cli: ") + e.message());
        }
    }

    Arrival arrival;
    for (std::size_t i = 0; i < t.values.size(); ++i) {
        arrival.measurements << measurementOf(t.values[i]);
        arrival.lines << t.lines[qsizetype(i)];
    }
    using End = Transfer::End;
    if (t.end == End::NoData && t.readings() == 0)
        throw ENoData(QStringLiteral("%1: the analyzer holds no readings").arg(source.portName()));
    // Readings the line may have shifted would go to the wrong cells.
    if (!t.disturbed.isEmpty()) {
        arrival.end = Arrival::End::Failed;
        arrival.failure = t.disturbed;
    } else if (t.end == End::Interrupted) {
        arrival.end = Arrival::End::Interrupted;
        arrival.failure = QStringLiteral("interrupted");
    } else if (t.end != End::Quiet) {
        arrival.end = Arrival::End::Failed;
        arrival.failure = t.failure;
    } else if (t.readings() == 0) {
        throw EDeviceFault(
            QStringLiteral("%1: no answer from the analyzer within %2 s")
                .arg(source.portName(), QString::number(request.idleMilliseconds / 1000.0)));
    }
    return arrival;
}

} // namespace cli
