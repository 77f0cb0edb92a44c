// battery-analyzer-cli measured: convert of a million-line board file against a plain read
// of it and a plain streaming converter in C (instructions and time), its peak memory and
// that of stats from 100 k to 10 M lines, and cell matching against the two naive
// arrangements of the same cells, and cells over a register of a million, all in one run.
#include "callgrind.h"
#include "harness.h"
#include "match_reference.h"
#include "plain_read.h"

#include "analysis/matching.h"
#include "link/protocol.h"
#include "reading/line_format.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr int kConvertLines = 1'000'000;
constexpr int kMatchCells = 10'000;
constexpr int kSeries = 20;
constexpr int kParallel = 10;

// A child process's wall time and peak resident memory.
struct Run {
    double seconds = 0;
    double peakBytes = 0;
    int status = -1;
};

Run spawnAndWait(const std::vector<std::string> &args, const char *stdoutPath)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath,
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Run run;
    const auto start = bench::Clock::now();
    pid_t pid = 0;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!spawned)
        return run;
    rusage usage{};
    int status = 0;
    ::wait4(pid, &status, 0, &usage);
    run.seconds = bench::secondsSince(start);
    run.peakBytes = double(usage.ru_maxrss) * 1024;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A child's peak memory counts the peak of the process it was started from (the kernel
// carries it over at exec), and this benchmark holds the whole file. So the tool is started
// from a fresh, small copy of this program, which reports the figures on its output.
Run runProcess(const std::vector<std::string> &args, const char *stdoutPath)
{
    QTemporaryDir dir;
    const std::string report = dir.filePath("report").toStdString();
    std::vector<std::string> launcher{"/proc/self/exe", "--run", stdoutPath};
    launcher.insert(launcher.end(), args.begin(), args.end());
    launcher[0] = QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toStdString();
    if (spawnAndWait(launcher, report.c_str()).status != 0)
        return {};
    Run run;
    QFile f(QString::fromStdString(report));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = f.readAll().split(' ');
    if (fields.size() != 3)
        return {};
    run.seconds = fields[0].toDouble();
    run.peakBytes = fields[1].toDouble();
    run.status = fields[2].trimmed().toInt();
    return run;
}

// The best of three runs, by time; peak memory is the largest seen.
Run bestOfThree(const std::vector<std::string> &args, const char *stdoutPath)
{
    Run best;
    best.seconds = 1e300;
    for (int i = 0; i < 3; ++i) {
        const Run r = runProcess(args, stdoutPath);
        if (r.status != 0) {
            std::fprintf(stderr, "bench_cli: %s exited with %d\n", args[1].c_str(), r.status);
            std::exit(1);
        }
        best.seconds = std::min(best.seconds, r.seconds);
        best.peakBytes = std::max(best.peakBytes, r.peakBytes);
        best.status = 0;
    }
    return best;
}

// A board line of a cell drawn from a realistic batch: resistance normal around 40 mΩ
// (sigma 5 mΩ) in steps of 1 µΩ, voltage normal around 3.600 V (sigma 0.02 V) in mV.
QByteArray cellLine(std::mt19937 &random, int group)
{
    std::normal_distribution<double> milliohms(40.0, 5.0), volts(3.6, 0.02);
    analyzer::AnalyzerRecord r;
    r.group = std::uint8_t(group);
    r.flags = 4; // range 0 (RM-40B: 0.001 mΩ steps), millivolts
    r.resistance = std::uint16_t(std::clamp(std::lround(milliohms(random) * 1000), 1L, 65535L));
    r.voltage = std::uint16_t(std::clamp(std::lround(volts(random) * 1000), 0L, 65535L));
    return analyzer::decodeRecord(analyzer::encodeRecord(r), false).line;
}

// A board file of `lines` cells of the batch, written in pieces; its size in bytes.
qint64 writeBoardFile(const std::string &path, int lines)
{
    std::mt19937 random(12);
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly))
        std::exit(1);
    QByteArray piece;
    for (int i = 0; i < lines; ++i) {
        piece += cellLine(random, i % 256) + "\r\n";
        if (piece.size() >= (1 << 20) || i + 1 == lines) {
            if (f.write(piece) != piece.size())
                std::exit(1);
            piece.clear();
        }
    }
    return f.size();
}

bool sameBytes(const std::string &a, const std::string &b)
{
    QFile fa(QString::fromStdString(a)), fb(QString::fromStdString(b));
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd())
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    return true;
}

std::string lineCount(int lines)
{
    return lines >= 1'000'000 ? std::to_string(lines / 1'000'000) + "M"
                              : std::to_string(lines / 1000) + "k";
}

void benchConvert(const QTemporaryDir &dir)
{
    const std::string file = dir.filePath("million.txt").toStdString();
    const qint64 bytes = writeBoardFile(file, kConvertLines);
    // The tool's own memory: a file of one reading (one with none is an error).
    const std::string single = dir.filePath("single.txt").toStdString();
    writeBoardFile(single, 1);
    const std::string out = dir.filePath("out.csv").toStdString();

    const double read = bench::secondsPerCall([&] { bench::keep(bench::plainRead(file.c_str())); });
    const Run csv = bestOfThree({BATTERY_CLI, "convert", file, "--format", "csv"}, "/dev/null");
    const Run json = bestOfThree({BATTERY_CLI, "convert", file, "--format", "json"}, "/dev/null");
    const Run plain = bestOfThree({PLAIN_CONVERT, file}, "/dev/null");
    const Run idle = bestOfThree({BATTERY_CLI, "convert", single, "--output", out}, "/dev/null");

    // What every call pays: a one-line convert against a plain Qt Core program that reads
    // and writes the same file, in instructions and in peak memory.
    const std::string copied = dir.filePath("copied.txt").toStdString();
    const Run qtIdle = bestOfThree({PLAIN_QT_COPY, single, copied}, "/dev/null");
    const bench::Instructions oneLine =
        bench::countInstructions({BATTERY_CLI, "convert", single, "--output", out});
    const bench::Instructions qtCopy = bench::countInstructions({PLAIN_QT_COPY, single, copied});
    if (oneLine.total > 0 && qtCopy.total > 0)
        bench::row("cli convert of one line, instructions", oneLine.total / 1e6, "M",
                   oneLine.total / qtCopy.total,
                   "x a plain Qt Core program that reads and writes the file ("
                       + QString::number(qtCopy.total / 1e6, 'f', 1).toStdString() + " M)",
                   "<= 1.5");
    bench::row("cli convert of one line, peak memory", idle.peakBytes / 1e6, "MB",
               (idle.peakBytes - qtIdle.peakBytes) / 1e6,
               "MB above that program (" + std::to_string(int(qtIdle.peakBytes / 1e6)) + " MB)",
               "<= +4");

    bench::row("cli convert 1M lines to CSV", csv.seconds, "s", csv.seconds / read,
               "x a plain read() of the file (" + std::to_string(int(read * 1000)) + " ms)",
               "< 2 s");
    bench::row("cli convert 1M lines to JSON", json.seconds, "s", json.seconds / read,
               "x a plain read() of the file", "< 2 s");
    bench::row("cli convert 1M lines to CSV, time", csv.seconds, "s", csv.seconds / plain.seconds,
               "x a plain streaming C converter", "-");

    // Instructions, which the machine's load does not move, against the C converter that
    // writes the same bytes; and how they grow with the file.
    const std::string small = dir.filePath("small.txt").toStdString();
    writeBoardFile(small, kConvertLines / 10);
    const std::string plainOut = dir.filePath("plain.csv").toStdString();
    for (const std::string &input : {small, file}) {
        spawnAndWait({BATTERY_CLI, "convert", input, "--output", out}, "/dev/null");
        spawnAndWait({PLAIN_CONVERT, input}, plainOut.c_str());
        if (!sameBytes(out, plainOut)) {
            std::fprintf(stderr, "bench_cli: the C converter's bytes differ from the tool's\n");
            std::exit(1);
        }
    }
    const bench::Instructions tool = bench::countInstructions({BATTERY_CLI, "convert", file});
    const bench::Instructions c = bench::countInstructions({PLAIN_CONVERT, file});
    const bench::Instructions toolSmall = bench::countInstructions({BATTERY_CLI, "convert", small});
    if (tool.total > 0 && c.total > 0) {
        bench::row("cli convert 1M lines to CSV, instructions", tool.total / 1e6, "M",
                   tool.total / c.total,
                   "x a plain streaming C converter, same bytes ("
                       + std::to_string(int(c.total / 1e6)) + " M)",
                   "<= 1.5");
        bench::row("cli convert instructions, 100k -> 1M lines", tool.total / toolSmall.total, "x",
                   tool.total / toolSmall.total / 10, "x linear growth (10x the lines)", "~1");
    }

    // Peak memory from 100 k to 10 M lines (the 10 M file is 386 MB, past the window's
    // 64 MiB board): constant means the one-line figure plus a fixed amount.
    const int largest = qEnvironmentVariableIntValue("BENCH_CLI_MAX_LINES") > 0
        ? qEnvironmentVariableIntValue("BENCH_CLI_MAX_LINES")
        : 10'000'000;
    const std::string sized = dir.filePath("sized.txt").toStdString();
    for (int lines = 100'000; lines <= largest; lines *= 10) {
        const qint64 size = lines == kConvertLines ? bytes : writeBoardFile(sized, lines);
        const std::string &input = lines == kConvertLines ? file : sized;
        const Run converted =
            runProcess({BATTERY_CLI, "convert", input, "--output", out}, "/dev/null");
        const Run c = runProcess({PLAIN_CONVERT, input}, "/dev/null");
        const Run stats = runProcess({BATTERY_CLI, "stats", input}, "/dev/null");
        if (converted.status != 0 || stats.status != 0) {
            std::fprintf(stderr, "bench_cli: convert or stats of %d lines failed\n", lines);
            std::exit(1);
        }
        const std::string n = lineCount(lines);
        bench::row("cli convert " + n + " lines --output, peak memory", converted.peakBytes / 1e6,
                   "MB", (converted.peakBytes - idle.peakBytes) / 1e6,
                   "MB above one line (" + std::to_string(int(idle.peakBytes / 1e6))
                       + " MB); C: " + std::to_string(int(c.peakBytes / 1e6)) + " MB; file "
                       + std::to_string(size / 1'000'000) + " MB",
                   "<= 16");
        bench::row("cli convert " + n + " lines --output, time", converted.seconds, "s",
                   converted.seconds / c.seconds, "x the C converter", "-");
        bench::row("cli stats " + n + " lines, peak memory", stats.peakBytes / 1e6, "MB",
                   (stats.peakBytes - idle.peakBytes) / 1e6, "MB above convert of one line",
                   "<= 16");
    }
}

double spreadOf(const std::vector<analysis::Cell> &cells, const std::vector<std::size_t> &order)
{
    std::vector<std::vector<std::size_t>> groups(kSeries);
    for (std::size_t i = 0; i < order.size(); ++i)
        groups[i / kParallel].push_back(order[i]);
    return analysis::spreadOf(analysis::makeGroups(cells, groups)).ohms;
}

void benchMatch(const QTemporaryDir &dir)
{
    std::mt19937 random(40);
    std::vector<QByteArray> lines;
    for (int i = 0; i < kMatchCells; ++i)
        lines.push_back(cellLine(random, i % 256));
    std::vector<analysis::Cell> cells;
    const auto parseStart = bench::Clock::now();
    for (const QByteArray &l : lines) {
        const auto r = reading::parseBoardLine(l);
        cells.push_back({r->microohms(), r->microvolts()});
    }
    const double parse = bench::secondsSince(parseStart);

    const analysis::PackShape shape{kSeries, kParallel, 50'000};
    analysis::PackMatch m;
    const double seconds =
        bench::secondsPerCall([&] { m = analysis::matchCells(cells, shape); }, 0.5, 3);

    // The baselines arrange the same chosen cells: in resistance order into consecutive
    // groups, and at random.
    std::vector<std::size_t> chosen;
    for (const auto &g : m.groups)
        chosen.insert(chosen.end(), g.cells.begin(), g.cells.end());
    std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microohms != cells[b].microohms ? cells[a].microohms < cells[b].microohms
                                                        : a < b;
    });
    const double sortedChunks = spreadOf(cells, chosen);
    std::shuffle(chosen.begin(), chosen.end(), random);
    const double shuffled = spreadOf(cells, chosen);

    const double mean = m.spread.meanOhms;
    bench::row("cli match 20Sx10P of 10000: spread", 100 * m.spread.ohms / mean, "% of mean",
               m.spread.ohms / sortedChunks,
               "x sorted-chunk spread (" + std::to_string(100 * sortedChunks / mean) + " %)",
               "<= 1 %, <= 0.1");
    bench::row("cli match spread vs random", 100 * shuffled / mean, "% of mean",
               m.spread.ohms / shuffled, "x the spread of a random arrangement", "< 1");
    bench::row("cli match 10000 cells, algorithm", seconds, "s", seconds / parse,
               "x parsing the 10000 lines", "< 1 s");

    // The tool from file to printed pack, against converting the same file.
    QByteArray text;
    for (const QByteArray &l : lines)
        text += l + "\r\n";
    const std::string file = dir.filePath("cells.txt").toStdString();
    QFile f(QString::fromStdString(file));
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        std::exit(1);
    f.close();
    const Run tool = bestOfThree({BATTERY_CLI, "match", file, "--series", "20", "--parallel", "10"},
                                 "/dev/null");
    const Run convert = bestOfThree({BATTERY_CLI, "convert", file}, "/dev/null");
    bench::row("cli match 10000 cells, tool", tool.seconds, "s", tool.seconds / convert.seconds,
               "x the tool converting the same file", "< 1 s");

    // The search's work is fixed, so what it costs beyond the search is what can go.
    const bench::Instructions counted = bench::countInstructions(
        {BATTERY_CLI, "match", file, "--series", "20", "--parallel", "10"});
    if (counted.total > 0)
        bench::row("cli match 10000 cells 20S10P, instructions", counted.total / 1e6, "M",
                   counted.allocationShare(), "of them in the allocator", "allocation <= 0.05");
}

// Cells of 18 to 55 mΩ in steps of `step` µΩ, within 0.04 V.
std::vector<analysis::Cell> uniformCells(std::mt19937 &random, int count, std::int64_t step = 100)
{
    std::uniform_int_distribution<std::int64_t> steps(18'000 / step, 55'000 / step),
        millivolts(3580, 3620);
    std::vector<analysis::Cell> cells;
    for (int i = 0; i < count; ++i)
        cells.push_back({steps(random) * step, millivolts(random) * 1000});
    return cells;
}

// Small instances against the optimum, and 2000 cells against the previous algorithm.
void benchMatchQuality()
{
    std::mt19937 random(17);
    const struct {
        int cells;
        analysis::PackShape shape;
    } shapes[] = {{8, {4, 2, 50'000}},  {10, {2, 4, 50'000}}, {12, {4, 3, 50'000}},
                  {12, {3, 3, 50'000}}, {12, {2, 3, 50'000}}, {12, {3, 2, 20'000}}};
    int instances = 0, atOptimum = 0;
    double worstPrevious = 1;
    for (const auto &s : shapes) {
        for (int i = 0; i < 30; ++i) {
            const auto cells = uniformCells(random, s.cells);
            const double optimum = previous_matching::optimumSpread(cells, s.shape);
            if (!std::isfinite(optimum))
                continue; // no window holds enough cells
            ++instances;
            atOptimum +=
                analysis::matchCells(cells, s.shape).spread.ohms <= optimum * (1 + 1e-9) + 1e-15;
            const double previous = previous_matching::spreadOfPrevious(cells, s.shape);
            worstPrevious = std::max(worstPrevious, optimum > 0 ? previous / optimum : 1);
        }
    }
    bench::row("cli match 8-12 cells: share at the optimum", 100.0 * atOptimum / instances, "%",
               double(atOptimum) / instances,
               "of " + std::to_string(instances) + " instances (previous algorithm: up to "
                   + std::to_string(int(worstPrevious)) + "x the optimum)",
               "100 %");

    for (const std::int64_t step : {100, 1}) {
        const auto cells = uniformCells(random, 2000, step);
        const analysis::PackShape shape{20, 10, 50'000};
        const double now = analysis::matchCells(cells, shape).spread.ohms;
        const double previous = previous_matching::spreadOfPrevious(cells, shape);
        bench::row("cli match 2000 cells 20Sx10P, " + std::to_string(step) + " uOhm steps: spread",
                   now * 1e6, "uOhm", now / previous, "x the previous algorithm's spread", "< 1");
    }

    const auto many = uniformCells(random, 10'000);
    const analysis::PackShape wide{14, 100, 50'000};
    analysis::PackMatch m;
    const double seconds =
        bench::secondsPerCall([&] { m = analysis::matchCells(many, wide); }, 0.5, 2);
    bench::row("cli match 10000 cells 14Sx100P, algorithm", seconds, "s",
               m.spread.ohms / previous_matching::spreadOfPrevious(many, wide),
               "x the previous algorithm's spread", "< 1 s");
}

// cells over a register of a million cells, one reading each: its peak memory against the
// same listing of a register of one cell, and the share of its instructions that SQLite's
// own code runs (the rest builds the rows). The register is written by `record`, whose
// figures are bench_register's.
void benchCells(const QTemporaryDir &dir)
{
    const int cells = qEnvironmentVariableIntValue("BENCH_CLI_CELLS") > 0
        ? qEnvironmentVariableIntValue("BENCH_CLI_CELLS")
        : kConvertLines;
    const auto makeRegister = [&](const std::string &name, int count) {
        const std::string readings =
            dir.filePath(QString::fromStdString(name + ".txt")).toStdString();
        const std::string db = dir.filePath(QString::fromStdString(name + ".sqlite")).toStdString();
        writeBoardFile(readings, count);
        const Run r = spawnAndWait({BATTERY_CLI, "record", readings, "--first-cell", "C0000001",
                                    "--at", "2026-01-01T08:00Z", "--db", db},
                                   "/dev/null");
        if (r.status != 0) {
            std::fprintf(stderr, "bench_cli: record of %d readings failed\n", count);
            std::exit(1);
        }
        return db;
    };
    const std::string one = makeRegister("one-cell", 1), many = makeRegister("cells", cells);
    const std::string n = lineCount(cells);
    for (const char *format : {"csv", "text"}) {
        const Run idle =
            runProcess({BATTERY_CLI, "cells", "--format", format, "--db", one}, "/dev/null");
        const Run run =
            runProcess({BATTERY_CLI, "cells", "--format", format, "--db", many}, "/dev/null");
        if (idle.status != 0 || run.status != 0) {
            std::fprintf(stderr, "bench_cli: cells --format %s failed\n", format);
            std::exit(1);
        }
        bench::row("cli cells over " + n + " cells --format " + format + ", peak memory",
                   run.peakBytes / 1e6, "MB", (run.peakBytes - idle.peakBytes) / 1e6,
                   "MB above one cell (" + std::to_string(int(idle.peakBytes / 1e6)) + " MB)",
                   "<= 64");
    }
    // Under callgrind a tenth of the cells: a million take minutes there, and the share
    // changes little with the count (the fixed start weighs more in the smaller run).
    const int counted = std::max(cells / 10, 1);
    const bench::Instructions instructions = bench::countInstructions(
        {BATTERY_CLI, "cells", "--format", "csv", "--db", makeRegister("tenth", counted)});
    if (instructions.total > 0)
        bench::row("cli cells over " + lineCount(counted) + " cells, instructions",
                   instructions.total / 1e6, "M",
                   instructions.shareInObject(QStringLiteral("libsqlite3")),
                   "of them inside SQLite", ">= 0.5");
}

// 100000 records from the simulated analyzer at full speed, through the tool into a file.
void benchDownload(const QTemporaryDir &dir)
{
    constexpr int kRecords = 100'000;
    constexpr double kIdleSeconds = 0.5;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
    const QString ports = dir.filePath("config/battery-analyzer/ports");
    // The sim logs every command on its error stream; it is shown only if the sim fails.
    QProcess sim;
    sim.start(
        QStringLiteral(ANALYZER_SIM),
        {"--ports", ports, "--com", "9", "--generate", QString::number(kRecords), "--full-speed"});
    while (!sim.canReadLine() && sim.waitForReadyRead(5000)) { }
    if (sim.readLine().trimmed().isEmpty()) {
        std::fprintf(stderr, "bench_cli: analyzer-sim did not start: %s\n",
                     sim.readAllStandardError().constData());
        std::exit(1);
    }

    const std::string out = dir.filePath("download.txt").toStdString();
    const Run run = runProcess(
        {BATTERY_CLI, "download", "--com", "9", "--idle", "0.5", "--output", out}, "/dev/null");
    sim.terminate();
    sim.waitForFinished(5000);
    if (run.status != 0) {
        std::fprintf(stderr, "bench_cli: download exited with %d\n", run.status);
        std::exit(1);
    }
    QFile f(QString::fromStdString(out));
    const qsizetype lines = f.open(QIODevice::ReadOnly) ? f.readAll().count("\r\n") : 0;
    // The run ends once the line has been quiet for the idle time; that wait is no transfer.
    const double seconds = run.seconds - kIdleSeconds;
    const double recordsPerSecond = double(lines) / seconds;
    const double lineRate = 2400.0 / 10.0 / 6.0;
    bench::row("cli download 100000 records", recordsPerSecond, "records/s",
               recordsPerSecond / lineRate, "x the 2400-baud line rate (40 records/s)", ">= 1");
    bench::row("cli download records lost", double(kRecords - lines), "records",
               double(lines) / kRecords, "of the records sent were written", "0 lost");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 3 && std::string(argv[1]) == "--run") {
        const Run r = spawnAndWait(std::vector<std::string>(argv + 3, argv + argc), argv[2]);
        std::printf("%.9g %.0f %d\n", r.seconds, r.peakBytes, r.status);
        return 0;
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // Named parts only, when given: convert, match, quality, cells, download.
    const QStringList parts = app.arguments().mid(1);
    const auto wanted = [&](const char *part) {
        return parts.isEmpty() || parts.contains(QLatin1String(part));
    };
    if (wanted("convert"))
        benchConvert(dir);
    if (wanted("match"))
        benchMatch(dir);
    if (wanted("quality"))
        benchMatchQuality();
    if (wanted("cells"))
        benchCells(dir);
    if (wanted("download"))
        benchDownload(dir);
    return 0;
}
