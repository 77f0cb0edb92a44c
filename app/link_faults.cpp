#include "app/link_faults.h"

#include "linktext/fault_text.h"

namespace app {

QString linkFaultText(const analyzer::LinkFault &fault)
{
    const QString text = linktext::describe(fault);
    // The port is closed, so the window's Connect button is what brings it back.
    if (fault.kind == analyzer::LinkFault::Kind::DeviceLost)
        return text + QStringLiteral("; click Connect once the analyzer is back");
    return text;
}

} // namespace app
