#include "cli/register_commands.h"

#include "cellregister/errors.h"
#include "cli/command_line.h"
#include "cli/register_errors.h"
#include "cli/register_record.h"
#include "cli/register_subcommands.h"

namespace cli {

bool isRegisterCommand(const QStringList &arguments)
{
    static const QStringList names{"record", "capacity", "cells", "cell", "export", "pack"};
    if (arguments.isEmpty())
        return false;
    if (names.contains(arguments.front()))
        return true;
    // match keeps reading files as before; with a register it is the register's.
    if (arguments.front() == u"match") {
        for (const QString &a : arguments) {
            if (a == u"--")
                break;
            if (a == u"--db" || a.startsWith(QStringLiteral("--db=")))
                return true;
        }
    }
    return false;
}

int runRegisterCommand(const QStringList &arguments)
{
    const QString name = arguments.front();
    const QStringList rest = arguments.mid(1);
    if (name == u"record")
        return runRecord(rest);
    if (name == u"capacity")
        return runCapacity(rest);
    if (name == u"cells")
        return runCells(rest);
    if (name == u"cell")
        return runCell(rest);
    if (name == u"export")
        return runExport(rest);
    if (name == u"match")
        return runRegisterMatch(rest);
    return runPack(rest);
}

int registerExitCode(const core::Error &e)
{
    if (dynamic_cast<const ERegisterFault *>(&e))
        return kExitRegister;
    if (dynamic_cast<const ELabelMismatch *>(&e))
        return kExitLabelMismatch;
    if (dynamic_cast<const EUnknownEntry *>(&e) || dynamic_cast<const EDuplicateEntry *>(&e)
        || dynamic_cast<const ECapacityFile *>(&e))
        return kExitUnknownEntry;
    return 0;
}

} // namespace cli
