// The cell register measured: the capacity-first match of 1 200 and 10 000 cells against the
// tolerance, capacity strictly first and a plain resistance match of the same cells, record of 100
// 000 readings into SQLite against convert of the same file, and cells over 100 000 cells with
// history, all in one run.
#include "callgrind.h"
#include "harness.h"
#include "match_reference.h"

#include "analysis/capacity_matching.h"
#include "samples.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kMatchCells = 10'000;
constexpr int kSeries = 20;
constexpr int kParallel = 10;
constexpr int kReadings = 100'000;

struct Timing {
    double seconds = -1; // wall
    double cpuSeconds = -1; // user and system
};

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// The time the tool takes for these arguments; -1 when it fails. The CPU time tells what
// the wall time means on a machine shared with other work.
Timing timeTool(const QStringList &args)
{
    const double cpuBefore = childCpuSeconds();
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(BATTERY_CLI), args);
    if (!p.waitForFinished(600'000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(args.join(u' ')),
                     p.readAllStandardError().constData());
        return {};
    }
    return {double(t.nsecsElapsed()) * 1e-9, childCpuSeconds() - cpuBefore};
}

// The naive resistance match of the chosen cells, capacities ignored: their resistance
// spread.
double plainResistanceSpread(const std::vector<analysis::CapacityCell> &cells,
                             const std::vector<std::vector<std::size_t>> &groups)
{
    std::vector<analysis::Cell> plain;
    std::vector<std::size_t> chosen;
    for (const auto &g : groups)
        for (std::size_t c : g) {
            chosen.push_back(plain.size());
            plain.push_back({cells[c].microohms, cells[c].microvolts});
        }
    const analysis::PackShape shape{int(groups.size()), int(groups.front().size()), 1'000'000};
    auto dealt = previous_matching::deal(plain, chosen, shape);
    previous_matching::improveBySwaps(plain, dealt);
    return analysis::spreadOf(analysis::makeGroups(plain, dealt)).ohms;
}

void matchRows()
{
    const struct {
        int cells, series, parallel;
    } packs[] = {{1200, 13, 4}, {kMatchCells, kSeries, kParallel}};
    for (const auto &p : packs) {
        QRandomGenerator random(19);
        std::vector<analysis::CapacityCell> cells;
        for (int i = 0; i < p.cells; ++i)
            cells.push_back({random.bounded(qint64(30'000), qint64(60'001)),
                             4'100'000 + random.bounded(qint64(40'001)),
                             1000 * random.bounded(qint64(2000), qint64(3001))});
        const analysis::PackShape shape{p.series, p.parallel, 50'000};
        const auto start = bench::Clock::now();
        const analysis::CapacityMatch m = analysis::matchByCapacity(cells, shape);
        const double seconds = bench::secondsSince(start);
        const analysis::CapacityMatch strict = analysis::matchByCapacity(cells, shape, {0});
        const double capacityPercent =
            100.0 * double(m.score.capacitySpread) / m.meanGroupMicroampHours;
        const auto percentOfMean = [](const analysis::CapacityMatch &x) {
            return 100.0 * x.score.resistanceSpread / x.meanGroupOhms;
        };
        const std::string name = "register match " + std::to_string(p.cells) + " cells "
            + std::to_string(p.series) + "S" + std::to_string(p.parallel) + "P: ";
        bench::row(name + "capacity spread", capacityPercent, "% of mean",
                   double(m.score.capacitySpread) / m.toleranceMicroampHours,
                   "spread / the tolerance (0.1 % of the mean group)", "<= 1");
        bench::row(name + "resistance spread", percentOfMean(m), "% of mean",
                   m.score.resistanceSpread / strict.score.resistanceSpread,
                   "x capacity strictly first (" + std::to_string(percentOfMean(strict)) + " %)",
                   "< 1");
        bench::row(name + "resistance against a plain match", percentOfMean(m), "% of mean",
                   m.score.resistanceSpread / plainResistanceSpread(cells, m.groups),
                   "x a plain resistance match of the same cells, capacities ignored", "<= 1");
        bench::row(name + "time", seconds, "s", seconds / 1.0, "time / 1 s", "<1");
    }
}

// Board text of `count` readings; groups cycle through 0 to 255.
QByteArray readingsText(int count, int seed)
{
    QRandomGenerator random{quint32(seed)};
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i) {
        reading::Reading r;
        r.group = i % 256;
        r.resistance = {random.bounded(300, 600), 1};
        r.voltage = {random.bounded(4000, 4200), 3};
        lines << reading::boardLine(r);
    }
    return boardText(lines);
}

void recordRows(const QTemporaryDir &dir)
{
    const QString charged = dir.filePath(QStringLiteral("charged.txt"));
    const QString rested = dir.filePath(QStringLiteral("rested.txt"));
    QFile a(charged), b(rested);
    if (!a.open(QIODevice::WriteOnly) || !b.open(QIODevice::WriteOnly))
        return;
    a.write(readingsText(kReadings, 1));
    b.write(readingsText(kReadings, 2));
    a.close();
    b.close();
    // The fastest of three runs of each, taken in turns: neither a cold start of the tool
    // nor a moment of load from the other core's work decides the ratio. Each record goes
    // into a new register, as the first record of a bench does.
    Timing convert{1e300, 1e300}, record{1e300, 1e300};
    const auto keepFastest = [](Timing &best, const Timing &t) {
        if (t.seconds < 0)
            best = t;
        else if (best.seconds >= 0)
            best = {std::min(best.seconds, t.seconds), std::min(best.cpuSeconds, t.cpuSeconds)};
    };
    for (int run = 0; run < 3; ++run) {
        keepFastest(convert,
                    timeTool({"convert", charged, "--format", "csv", "--output",
                              dir.filePath(QStringLiteral("out%1.csv").arg(run))}));
        keepFastest(record,
                    timeTool({"record", charged, "--first-cell", "C000001", "--rest-start", "--at",
                              "2026-01-01T08:00Z", "--db",
                              dir.filePath(QStringLiteral("cells%1.sqlite").arg(run))}));
    }
    const QString db = dir.filePath(QStringLiteral("cells0.sqlite"));
    bench::row("register record 100000 readings into SQLite", record.seconds, "s",
               record.seconds / convert.seconds, "time / convert --format csv", "<=3");
    bench::row("register record 100000 readings: CPU", record.cpuSeconds, "s",
               record.cpuSeconds / convert.cpuSeconds, "CPU time / convert's", "");
    timeTool(
        {"record", rested, "--first-cell", "C000001", "--at", "2026-01-09T08:00Z", "--db", db});
    const Timing cells =
        timeTool({"cells", "--format", "csv", "--max-self-discharge", "3", "--db", db});
    bench::row("register cells over 100000 cells, 2 each", cells.seconds, "s", cells.seconds,
               "time / 1 s", "<=1");
    bench::row("register cells over 100000 cells: CPU", cells.cpuSeconds, "s", cells.cpuSeconds,
               "CPU time / 1 s", "<=1");
}

// The peak resident memory of the tool for these arguments, in bytes; -1 when it fails.
// GNU time reports it of its own child, which this process's peak does not inflate.
double peakOfTool(const QStringList &args)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(
        QStringLiteral("/usr/bin/time"),
        QStringList{QStringLiteral("-f"), QStringLiteral("peak %M"), QStringLiteral(BATTERY_CLI)}
            + args);
    if (!p.waitForFinished(1'800'000) || p.exitCode() != 0)
        return -1;
    const QByteArray err = p.readAllStandardError();
    const qsizetype at = err.lastIndexOf("peak ");
    return at < 0 ? -1 : err.mid(at + 5).trimmed().toDouble() * 1024;
}

// record streams: its memory stays that of a one-reading run whatever the number of
// readings, and its instructions are those of a plain C program writing the same rows into
// the same schema through SQLite's interface, plus a bounded share. The register file's
// bytes per reading follow from the schema.
void recordSizeRows(const QTemporaryDir &dir)
{
    const auto written = [&](const QString &name, int count) {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        // In parts: this process's own memory stays small.
        for (int done = 0; done < count; done += 10'000)
            f.write(readingsText(std::min(10'000, count - done), done + 1));
        return path;
    };
    const QString one = written(QStringLiteral("one.txt"), 1);
    const QString small = written(QStringLiteral("100k.txt"), kReadings);
    const QString large = written(QStringLiteral("1m.txt"), 10 * kReadings);
    const auto record = [&](const QString &file, const QString &db) {
        return QStringList{"record", file, "--first-cell", "C0000001", "--at", "2026-01-01T08:00Z",
                           "--db",   db};
    };
    const double idle = peakOfTool(record(one, dir.filePath(QStringLiteral("one.sqlite"))));
    for (const auto &[file, count] : {std::pair{small, kReadings}, {large, 10 * kReadings}}) {
        const QString db = dir.filePath(QStringLiteral("peak%1.sqlite").arg(count));
        const double peak = peakOfTool(record(file, db));
        const std::string n = std::to_string(count);
        bench::row("register record " + n + " readings, peak memory", peak / 1e6, "MB",
                   (peak - idle) / 1e6,
                   "MB above a one-reading run (" + std::to_string(int(idle / 1e6)) + " MB)",
                   "<= 64");
        if (count == 10 * kReadings)
            bench::row("register file per reading", double(QFileInfo(db).size()) / count, "bytes",
                       double(QFileInfo(db).size()) / count / 94,
                       "x 94 (the same rows normalised; 194 before)", "<= 1");
    }

    // Both write into copies of one empty register that the tool made: a record of one
    // reading, taken back.
    const QString empty = dir.filePath(QStringLiteral("empty.sqlite"));
    if (timeTool(record(one, empty)).seconds < 0
        || timeTool({"undo", "1", "--db", empty}).seconds < 0)
        return;
    const QString toolDb = dir.filePath(QStringLiteral("tool.sqlite"));
    const QString plainDb = dir.filePath(QStringLiteral("plain.sqlite"));
    QFile::copy(empty, toolDb);
    QFile::copy(empty, plainDb);
    std::vector<std::string> tool{BATTERY_CLI};
    for (const QString &a : record(small, toolDb))
        tool.push_back(a.toStdString());
    const bench::Instructions t = bench::countInstructions(tool);
    const bench::Instructions c =
        bench::countInstructions({PLAIN_SQLITE_WRITER, plainDb.toStdString(), small.toStdString(),
                                  "C", "1", "7", "2026-01-01T08:00:00.000Z"});
    if (t.total > 0 && c.total > 0)
        bench::row("register record 100000 readings, instructions", t.total / 1e6, "M",
                   t.total / c.total,
                   "x a plain C writer through SQLite, 64-row statements, same schema ("
                       + std::to_string(int(c.total / 1e6)) + " M)",
                   "<= 1.3");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // Named parts only, when given: match, record, record-size.
    const QStringList parts = app.arguments().mid(1);
    if (parts.isEmpty() || parts.contains(QLatin1String("match")))
        matchRows();
    if (parts.isEmpty() || parts.contains(QLatin1String("record")))
        recordRows(dir);
    if (parts.isEmpty() || parts.contains(QLatin1String("record-size")))
        recordSizeRows(dir);
    return 0;
}
