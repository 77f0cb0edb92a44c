// record: readings from the analyzer or from saved files, stored as measurements of
// labelled cells, all in one transaction or not at all.
#include "cli/register/record.h"
#include "board/data_board.h"
#include "board/errors.h"
#include "cellregister/errors.h"
#include "cellregister/local_time.h"
#include "cellregister/location.h"
#include "cellregister/measurements.h"
#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/input_files.h"
#include "cli/common/output.h"
#include "cli/common/rows.h"
#include "cli/register/cell_labels.h"
#include "cli/register/commands.h"
#include "core/system_error.h"
#include "reading/line_format.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace cli {

namespace {

QString countText(qsizetype n, const char *one, const char *many)
{
    return n == 1 ? QStringLiteral("1 %1").arg(QLatin1String(one))
                  : QStringLiteral("%1 %2").arg(n).arg(QLatin1String(many));
}

// Where readings that were not stored go: beside a register file, else in the default
// register's folder.
QString unstoredFolder(const cellregister::Location &where)
{
    return where.postgres ? cellregister::defaultFolder() : QFileInfo(where.path).absolutePath();
}

} // namespace

cellregister::Measurement measurementOf(const reading::Reading &r)
{
    cellregister::Measurement m;
    m.group = r.group;
    m.microohms = r.microohms();
    m.microvolts = r.microvolts();
    // The register rebuilds the texts from the values and this.
    m.shape = reading::textShape(r);
    return m;
}

// Records failing in the same second (a bench of them, a script) each get a file: the name
// is taken by creating the file, never by looking first, and an existing file is never
// written over.
QString saveUnstored(const cellregister::Location &where, const QByteArrayList &lines)
{
    board::DataBoard board;
    for (const QByteArray &l : lines)
        board.AppendLine(l);
    const QString folder = unstoredFolder(where);
    QDir().mkpath(folder);
    const QString stem = folder + QStringLiteral("/unstored-readings-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    constexpr int kTries = 10'000;
    for (int n = 1; n <= kTries; ++n) {
        const QString path =
            n == 1 ? stem + QStringLiteral(".txt") : stem + QStringLiteral("-%1.txt").arg(n);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const int error = errno;
            if (error == EEXIST)
                continue;
            throw EFCreateError(
                QStringLiteral("cannot create %1: %2").arg(path, core::systemErrorText(error)));
        }
        if (file.write(board.text()) != board.text().size() || !file.flush()) {
            const QString why = file.errorString();
            file.remove();
            throw EWriteError(QStringLiteral("cannot write %1: %2").arg(path, why));
        }
        return path;
    }
    throw EFCreateError(QStringLiteral("cannot create %1.txt: %2 files of that name exist already")
                            .arg(stem)
                            .arg(kTries));
}

QString nothingStored(const cellregister::Location &where, bool fromAnalyzer,
                      const QByteArrayList &lines)
{
    const QString held = fromAnalyzer
        ? QStringLiteral("the analyzer still holds its readings (downloaded, not cleared)")
        : QStringLiteral("the files read are left as they were");
    const QString readings = countText(lines.size(), "reading", "readings")
        + (fromAnalyzer ? QStringLiteral(" that arrived") : QStringLiteral(" read"));
    try {
        return QStringLiteral("nothing stored; %1, and the %2 are in %3")
            .arg(held, readings, saveUnstored(where, lines));
    } catch (const core::Error &e) {
        return QStringLiteral("nothing stored; %1; the %2 could not be written beside the "
                              "register either: %3")
            .arg(held, readings, e.message());
    }
}

std::unique_ptr<cellregister::CellRegister> openRegister(const Invocation &inv,
                                                         cellregister::Opening opening)
{
    return std::make_unique<cellregister::CellRegister>(cellregister::locate(inv.db),
                                                        inv.lockWaitMilliseconds, opening);
}

int runRecord(const Invocation &inv)
{
    const QStringList &files = inv.files;
    const bool fromAnalyzer = files.isEmpty();
    const QString name = QStringLiteral("record");
    const RecordLabels labels = inv.namesCells()
        ? RecordLabels(namedCells(inv.cellRange, inv.cellsFrom, name))
        : RecordLabels(inv.firstCell, name);

    RecordSource source;
    source.at = inv.at.value_or(QDateTime::currentDateTimeUtc());
    // A time ahead of the clock would make every rest before it look longer than it was.
    if (source.at > QDateTime::currentDateTimeUtc().addSecs(kAheadOfClockSeconds))
        refuseUsage(QStringLiteral("record"),
                    QStringLiteral("--at %1 is ahead of this computer's clock; readings cannot "
                                   "have been taken then")
                        .arg(cellregister::localTimeText(source.at)));
    source.restStart = inv.restStart;
    source.model = inv.has(Opt::Model) || fromAnalyzer
        ? QString::fromLatin1(reading::modelName(inv.model))
        : QStringLiteral("unknown");
    source.analyzerModel = inv.model;
    source.com = inv.com;
    source.portPath = inv.portPath;

    // A register that cannot be written fails before a long download, not after it.
    const std::unique_ptr<cellregister::CellRegister> reg =
        openRegister(inv, cellregister::Opening::MayCreate);

    Arrival arrival = fromAnalyzer ? downloadReadings(inv, source) : Arrival{};
    QStringList sources;
    for (const QString &f : files)
        sources << QFileInfo(f).absoluteFilePath();
    // Where the readings are when nothing is stored. The files are left as they were, so
    // their readings are read again rather than held all along.
    const auto kept = [&] {
        if (!fromAnalyzer) {
            arrival.lines.clear();
            forEachReading(
                files, inv.strict,
                [&](int, int, const reading::Reading &r) { arrival.lines << boardLine(r); },
                [](const QString &) {});
        }
        return nothingStored(reg->location(), fromAnalyzer, arrival.lines);
    };
    if (arrival.end != Arrival::End::Complete) {
        const QString text = arrival.failure + QStringLiteral("; ") + kept();
        if (arrival.end == Arrival::End::Interrupted) {
            printMessage(QStringLiteral("battery-analyzer-cli: ") + text);
            return kExitInterrupted;
        }
        throw EDeviceFault(text);
    }

    // Each reading is stored as it is read, in the record's one transaction; one that
    // finds no label is counted for the message, and the transaction is left uncommitted.
    qsizetype n = 0;
    // Labels new to the register among cells it knew: a typo shows at once.
    QStringList newLabels;
    qsizetype newCells = 0;
    try {
        cellregister::RunWriter writer(*reg, source.at, source.model,
                                       fromAnalyzer ? source.portName()
                                                    : sources.join(QStringLiteral(", ")));
        const auto store = [&](cellregister::Measurement &&m) {
            const qsizetype i = n++;
            if (labels.count() >= 0 && i >= labels.count())
                return;
            m.label = labels.at(i);
            m.at = source.at;
            m.restStart = source.restStart;
            writer.add(std::move(m));
        };
        if (fromAnalyzer) {
            for (cellregister::Measurement &m : arrival.measurements) {
                m.source = source.portName();
                store(std::move(m));
            }
            arrival.measurements.clear();
        } else {
            forEachReading(
                files, inv.strict,
                [&](int file, int number, const reading::Reading &r) {
                    cellregister::Measurement m = measurementOf(r);
                    m.source = sources[file];
                    m.sourceLine = number;
                    store(std::move(m));
                },
                printMessage);
            if (n == 0)
                throw ENoReadings(QStringLiteral("record: the files hold no reading"));
        }
        if (labels.count() >= 0 && n != labels.count()) {
            const QString cells = QStringLiteral("%1 for %2")
                                      .arg(countText(labels.count(), "cell label", "cell labels"),
                                           countText(n, "reading", "readings"));
            throw ELabelMismatch(QStringLiteral("record: %1; %2").arg(cells, kept()));
        }
        writer.commit();
        if (writer.measuredKnownCells()) {
            newCells = writer.newCells();
            newLabels = writer.newLabels();
        }
    } catch (const ERegisterFault &e) {
        // A lock waited for too long, a server gone or stopped, a full disk: the readings
        // are still somewhere, and the message says where.
        throw ERegisterFault(e.message() + QStringLiteral("; ") + kept());
    }
    // The cells as the user named them: a list read back as a range would name others.
    const QString named = inv.has(Opt::Cells) ? inv.cellRange
        : inv.has(Opt::CellsFrom)             ? QStringLiteral("the labels of ") + inv.cellsFrom
                                  : labels.at(0) + QStringLiteral("..") + labels.at(n - 1);
    printMessage(QStringLiteral("battery-analyzer-cli: recorded %1 as %2 in %3")
                     .arg(countText(n, "reading", "readings"), named, reg->location().shown()));
    if (newCells > 0)
        printMessage(
            QStringLiteral("battery-analyzer-cli: %1 new to the register among cells it held: "
                           "%2%3")
                .arg(countText(newCells, "cell", "cells"), newLabels.join(QStringLiteral(", ")),
                     newCells > newLabels.size()
                         ? QStringLiteral(" and %1 more").arg(newCells - newLabels.size())
                         : QString()));
    return kExitOk;
}

} // namespace cli
