#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/line/commands.h"
#include "cli/line/ports.h"
#include "link/session.h"
#include "link/tmscomm.h"

#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

// Asks on the terminal; only an answer of y or yes goes ahead.
void confirm(const QString &port)
{
    if (::isatty(STDIN_FILENO) != 1)
        throw ENotConfirmed(
            QStringLiteral("clear-memory: no terminal to ask for confirmation; add --yes to erase "
                           "the analyzer's memory without asking"));
    std::fprintf(stderr,
                 "Erase every reading stored in the analyzer on %s? This cannot be undone. [y/N] ",
                 port.toLocal8Bit().constData());
    std::fflush(stderr);
    char answer[16] = {};
    const bool read = std::fgets(answer, sizeof answer, stdin) != nullptr;
    const QString text = QString::fromLocal8Bit(answer).trimmed().toLower();
    if (!read || (text != u"y" && text != u"yes"))
        throw ENotConfirmed(
            QStringLiteral("clear-memory: not confirmed; the analyzer's memory is unchanged"));
}

} // namespace

int runClearMemory(const Invocation &inv)
{
    if (!inv.yes)
        confirm(portName(inv));
    TMSComm comm;
    analyzer::Session session(comm);
    openPort(session, inv);
    try {
        linkCall([&] { session.clearMemory(); });
    } catch (const core::Error &) {
        // The port must not stay open behind a failed command; that failure is the one to report.
        try {
            session.close();
        } catch (const core::Error &) { }
        throw;
    }
    linkCall([&] { session.close(); });
    return kExitOk;
}

} // namespace cli
