#pragma once

#include "cli/batch_files.h"
#include "cli/batch_register.h"
#include "report/batch.h"
#include "report/labels.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace cli {

enum class PictureKind { Report, Labels };

// The command line of `report` or `labels`.
struct PictureInvocation {
    bool help = false;
    BatchFromFiles batch;
    std::optional<BatchFromRegister> fromRegister; // no FILE, or --db: the cell register
    QString output; // empty: standard output (report only)
    report::Language language = report::Language::English;
    bool open = false;
    report::LabelSize size;
    std::optional<bool> onlyPassing; // --only pass (true) or fail (false)
};

// Reads the arguments after the subcommand's name. A wrong command line raises EUsageError
// whose text names the fault and ends with a line pointing at the subcommand's --help;
// --help anywhere before "--" wins over any fault.
PictureInvocation parsePictureArguments(PictureKind kind, const QStringList &arguments);

const char *pictureSubcommandName(PictureKind kind);
QString pictureHelpText(PictureKind kind);

} // namespace cli
