// serve: the register as web pages until Ctrl+C or SIGTERM.
#include "labview/serve.h"
#include "cellregister/location.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/register/commands.h"
#include "labview/access.h"

#include <QScopeGuard>

#include <csignal>

namespace cli {

namespace {

volatile std::sig_atomic_t stopAsked = 0;

extern "C" void askToStop(int)
{
    stopAsked = 1;
}

} // namespace

int runServe(const Invocation &inv)
{
    // Serving is polled about ten times a second, so a flag is all Ctrl+C needs to set.
    stopAsked = 0;
    struct sigaction action { };
    action.sa_handler = askToStop;
    sigemptyset(&action.sa_mask);
    struct sigaction previousInt {
    }, previousTerm{};
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    const auto restore = qScopeGuard([&] {
        sigaction(SIGINT, &previousInt, nullptr);
        sigaction(SIGTERM, &previousTerm, nullptr);
    });
    labview::ServeOptions o;
    o.location = cellregister::locate(inv.db);
    if (!inv.listen.isEmpty()) {
        const auto at = labview::parseListenAddress(inv.listen);
        if (!at)
            refuseUsage(QStringLiteral("serve"),
                        QStringLiteral("--listen takes ADDRESS:PORT, like 0.0.0.0:8080 or "
                                       "[::1]:8080, not '%1'")
                            .arg(inv.listen));
        o.host = at->host;
        o.port = at->port;
    }
    o.allowActions = inv.allowActions;
    o.lockWaitMilliseconds = inv.lockWaitMilliseconds;
    o.started = [](const labview::Started &s) {
        printMessage(QStringLiteral("battery-analyzer-cli: serve: %1").arg(s.url));
        if (!s.token.isEmpty())
            printMessage(QStringLiteral("battery-analyzer-cli: serve: a new access token, kept in "
                                        "%1 and not shown again")
                             .arg(s.tokenFile));
    };
    o.stop = [] { return stopAsked != 0; };
    labview::serve(o);
    return kExitOk;
}

} // namespace cli
