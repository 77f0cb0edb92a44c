// The report of 10 000 cells: the time to write it against `stats` over the same file, its
// instructions and the share of them the pack search takes, its size against the reading
// file's, and the time a headless browser takes to draw it against a report of 20 cells, all
// in one run.
#include "callgrind.h"
#include "harness.h"

#include "browser.h"
#include "samples.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>

namespace {

constexpr int kCells = 10'000;
constexpr int kSmallBatch = 20;

QByteArray readingsText(int count)
{
    std::uint32_t state = 2026u;
    const auto next = [&state](std::uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i) {
        reading::Reading r;
        r.group = i % 255 + 1;
        r.resistance = {300 + next(400), 1};
        r.voltage = {3600 + next(600), 3};
        lines << reading::boardLine(r);
    }
    return boardText(lines);
}

double secondsToRun(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    const auto start = bench::Clock::now();
    p.start(program, args);
    p.waitForFinished(300'000);
    const double seconds = bench::secondsSince(start);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
    return seconds;
}

// The best of three, which damps noise from the other programs on the machine.
template <class F>
double best(F &&f)
{
    double b = 1e300;
    for (int i = 0; i < 3; ++i)
        b = std::min(b, f());
    return b;
}

double browserSeconds(const QString &html, const QString &folder)
{
    return best([&] {
        const auto start = bench::Clock::now();
        const BrowserRun run =
            runBrowser(html, {"--window-size=1000,1400", "--screenshot=" + folder + "/shot.png"});
        const double seconds = bench::secondsSince(start);
        if (!run.finished || run.exitCode != 0) {
            std::fprintf(stderr, "chromium failed\n");
            std::exit(1);
        }
        return seconds;
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("cells.txt"));
    const QString small = dir.filePath(QStringLiteral("few.txt"));
    for (const auto &[path, count] : {std::pair{big, kCells}, std::pair{small, kSmallBatch}}) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(readingsText(count)) < 0)
            return 1;
    }
    const QString cli = QStringLiteral(BATTERY_CLI);
    const QString html = dir.filePath(QStringLiteral("report.html"));
    const QString fewHtml = dir.filePath(QStringLiteral("few.html"));
    const QStringList reportArgs{"report",           big,    "--first-cell", "A00001",
                                 "--max-resistance", "0.06", "--series",     "20",
                                 "--parallel",       "10",   "--output",     html};

    const double write = best([&] { return secondsToRun(cli, reportArgs); });
    const double stats = best([&] { return secondsToRun(cli, {"stats", big}); });
    bench::row("report, 10000 cells: write", write, "s", write / stats, "stats of the same file",
               "<= 1 s");

    // Instructions, which the machine's load does not move, and the share the pack search
    // takes: what is left beyond it is the report's own.
    std::vector<std::string> counted{BATTERY_CLI};
    for (const QString &a : reportArgs)
        counted.push_back(a.toStdString());
    const bench::Instructions instructions = bench::countInstructions(counted);
    if (instructions.total > 0)
        bench::row("report, 10000 cells 20S10P: instructions", instructions.total / 1e6, "M",
                   instructions.shareUnder(QRegularExpression(
                       QStringLiteral(R"(:analysis::matchCells\([^()]*\)( \[|$))"))),
                   "of them in the pack search", "follows from match");

    const double bytes = double(QFileInfo(html).size());
    bench::row("report, 10000 cells: size", bytes / 1e6, "MB",
               bytes / double(QFileInfo(big).size()), "the reading file", "<= 5 MB");

    secondsToRun(cli, {"report", small, "--output", fewHtml});
    const double render = browserSeconds(html, dir.path());
    const double renderFew = browserSeconds(fewHtml, dir.path());
    bench::row("report, 10000 cells: browser draws it", render, "s", render / renderFew,
               "a report of 20 cells", "<= 2 s");
    return 0;
}
