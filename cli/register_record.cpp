// record: readings from the analyzer or from saved files, stored as measurements of
// labelled cells, all in one transaction or not at all.
#include "cli/register_record.h"
#include "board/data_board.h"
#include "board/errors.h"
#include "cellregister/errors.h"
#include "cellregister/measurements.h"
#include "cli/cell_labels.h"
#include "cli/command_line.h"
#include "cli/errors.h"
#include "cli/exit_codes.h"
#include "cli/input_files.h"
#include "cli/output.h"
#include "cli/register_errors.h"
#include "cli/rows.h"
#include "core/system_error.h"
#include "reading/line_format.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <vector>

namespace cli {

namespace {

constexpr char kHelp[] =
    R"(Usage: battery-analyzer-cli record ((--com N | --port PATH) [--model M] | FILE...)
                                   (--cells A001..A020 | --first-cell A001)
                                   [--at TIME] [--rest-start] [--db DB] [--lock-wait S]

Stores readings as measurements of labelled cells, in order, in the cell register: from the
analyzer on COM N or the device PATH (as download does) or from saved reading files. Either
every reading is stored or none.

  --cells A001..A020  the cells measured, in order: one prefix, numbers of one width
  --first-cell A001   number as many cells as readings arrive, from this label on
  --at TIME           when the readings were taken (ISO 8601, local time unless it says
                      otherwise; default: now), for readings from old files
  --rest-start        the cells were freshly charged: these measurements start a rest
                      period, against which later ones give the self-discharge
  --com N             the analyzer's COM port, 1 to 255 (also COM3)
  --port PATH         the analyzer's device instead, e.g. /dev/ttyUSB0
  --model M           the analyzer's model: RM-40A (the default from the analyzer), RM-40B or
                      RM-40C; readings from files keep "unknown" without it
  --idle S            from the analyzer: the download ends after S seconds without a reading (2)
  --strict            a line of a file that is no reading stops the record
  --db DB             the register: a SQLite file or postgresql://USER@HOST[:PORT]/NAME
                      (default: $BATTERY_ANALYZER_DB, else
                      $XDG_DATA_HOME/battery-analyzer/cells.sqlite); any other "scheme:"
                      is refused, so a file name with a colon is written from its folder:
                      ./cells:2026.sqlite
  --lock-wait S       how long to wait for another program writing the register (10; 0: not
                      at all); a PostgreSQL server silent for 5 s more is given up on

When readings and labels differ in number, when Ctrl+C stops a download or the device goes
away, or the register cannot take them (locked too long, its server gone or silent, its disk
full), nothing is stored: the readings that arrived are written beside the register (as the
window's Save writes them) into a new file of their own, and the message names that file.
The analyzer keeps its readings until clear-memory.

Exit codes: 0 stored, 1 a file cannot be read or written, 2 bad arguments, 3 a line is not a
reading (--strict) or no reading at all, 4 the analyzer holds no readings, 5 a port or device
fault, 8 the register cannot be opened or written, 9 readings and labels differ in number,
130 interrupted.
)";

QString countText(qsizetype n, const char *one, const char *many)
{
    return n == 1 ? QStringLiteral("1 %1").arg(QLatin1String(one))
                  : QStringLiteral("%1 %2").arg(n).arg(QLatin1String(many));
}

QDateTime timeOption(const CommandLine &line)
{
    if (!line.isSet(QStringLiteral("at")))
        return QDateTime::currentDateTimeUtc();
    QString text = line.value(QStringLiteral("at"));
    text.replace(u' ', u'T');
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0));
    if (!t.isValid())
        line.fail(QStringLiteral("--at takes a time like 2026-12-01T09:30 or 2026-12-01, not '%1'")
                      .arg(line.value(QStringLiteral("at"))));
    return t.toUTC();
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
    // One buffer for both texts: a record makes them for every reading.
    QByteArray text;
    text.reserve(32);
    reading::appendResistanceText(text, r, reading::kOhmUtf8);
    m.resistanceText = QString::fromUtf8(text);
    text.truncate(0);
    reading::appendVoltageText(text, r);
    m.voltageText = QString::fromLatin1(text);
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

int runRecord(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("record"), QString::fromUtf8(kHelp));
    for (const char *v : {"com", "port", "model", "idle", "cells", "first-cell", "at"})
        line.addValue(QString::fromLatin1(v), QStringLiteral("X"));
    line.addFlag(QStringLiteral("rest-start"));
    line.addFlag(QStringLiteral("strict"));
    if (!line.parse(arguments))
        return kExitOk;

    const QStringList files = line.positional();
    const bool fromAnalyzer =
        line.isSet(QStringLiteral("com")) || line.isSet(QStringLiteral("port"));
    if (fromAnalyzer == !files.isEmpty())
        line.fail(fromAnalyzer
                      ? QStringLiteral("--com or --port and files do not go together")
                      : QStringLiteral("--com N, --port PATH or at least one FILE is required"));
    if (line.isSet(QStringLiteral("cells")) == line.isSet(QStringLiteral("first-cell")))
        line.fail(QStringLiteral("one of --cells A001..A020 and --first-cell A001 is required"));
    QStringList labels;
    if (line.isSet(QStringLiteral("cells")))
        labels = labelRange(line.value(QStringLiteral("cells")), line.name());
    else
        labelsFrom(line.value(QStringLiteral("first-cell")), 1, line.name());

    RecordSource source;
    source.at = timeOption(line);
    source.restStart = line.isSet(QStringLiteral("rest-start"));
    source.model = QStringLiteral("unknown");
    if (line.isSet(QStringLiteral("model"))) {
        const auto model = modelNamed(line.value(QStringLiteral("model")));
        if (!model)
            line.fail(unknownModelText(line.value(QStringLiteral("model"))));
        source.model = QString::fromLatin1(reading::modelName(*model));
        source.analyzerModel = *model;
    }
    if (fromAnalyzer) {
        readPort(line, source);
        source.model = QString::fromLatin1(reading::modelName(source.analyzerModel));
    }

    // A register that cannot be written fails before a long download, not after it.
    const std::unique_ptr<cellregister::CellRegister> reg =
        line.openRegister(cellregister::Opening::MayCreate);

    Arrival arrival = fromAnalyzer ? downloadReadings(line, source) : Arrival{};
    // Readings from files are made board lines only once they are known.
    std::vector<reading::Reading> fileReadings;
    if (!fromAnalyzer) {
        QStringList sources;
        for (const QString &f : files)
            sources << QFileInfo(f).absoluteFilePath();
        forEachReading(
            files, line.isSet(QStringLiteral("strict")),
            [&](int file, int number, const reading::Reading &r) {
                cellregister::Measurement m = measurementOf(r);
                m.source = sources[file];
                m.sourceLine = number;
                arrival.measurements << std::move(m);
                fileReadings.push_back(r);
            },
            printMessage);
        if (arrival.measurements.isEmpty())
            throw ENoReadings(QStringLiteral("record: the files hold no reading"));
    }

    const qsizetype n = arrival.measurements.size();
    // Readings from files become board lines only for the file a failed record writes.
    const auto kept = [&] {
        for (const reading::Reading &r : fileReadings)
            arrival.lines << boardLine(r);
        fileReadings.clear();
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
    if (line.isSet(QStringLiteral("first-cell")))
        labels = labelsFrom(line.value(QStringLiteral("first-cell")), n, line.name());
    // Labels of one width sort and read as the cells lie; A999 is not followed by A1000.
    const bool outgrown = !labels.isEmpty() && labels.back().size() != labels.front().size();
    if (labels.size() != n || outgrown) {
        const QString cells = outgrown
            ? QStringLiteral("%1 labels from %2 outgrow their width")
                  .arg(n)
                  .arg(line.value(QStringLiteral("first-cell")))
            : QStringLiteral("%1 for %2")
                  .arg(countText(labels.size(), "cell label", "cell labels"),
                       countText(n, "reading", "readings"));
        throw ELabelMismatch(QStringLiteral("record: %1; %2").arg(cells, kept()));
    }
    for (qsizetype i = 0; i < n; ++i) {
        cellregister::Measurement &m = arrival.measurements[i];
        m.label = labels[i];
        m.at = source.at;
        m.model = source.model;
        m.restStart = source.restStart;
        if (fromAnalyzer)
            m.source = source.portName();
    }
    try {
        cellregister::addMeasurements(*reg, arrival.measurements);
    } catch (const ERegisterFault &e) {
        // A lock waited for too long, a server gone or stopped, a full disk: the readings
        // are still somewhere, and the message says where.
        throw ERegisterFault(e.message() + QStringLiteral("; ") + kept());
    }
    printMessage(QStringLiteral("battery-analyzer-cli: recorded %1 as %2..%3 in %4")
                     .arg(countText(n, "reading", "readings"), labels.front(), labels.back(),
                          reg->location().shown()));
    return kExitOk;
}

} // namespace cli
