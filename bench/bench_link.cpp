// 100,000 records from the simulated analyzer at full speed, through the pseudo-terminal,
// the serial control, the decoder and onto the board; against the line rate and against
// the decoder alone, measured in the same run.
#include "harness.h"

#include "board/data_board.h"
#include "core/error.h"
#include "link/port_path.h"
#include "link/protocol.h"
#include "link/session.h"
#include "link/tmscomm.h"
#include "linktext/fault_text.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kRecords = 100'000;
constexpr int kCom = 9;

// The decoder on its own over the same kind of records, seconds per record.
double decoderSecondsPerRecord()
{
    std::vector<QByteArray> blocks;
    for (int i = 0; i < 4096; ++i) {
        analyzer::AnalyzerRecord r;
        r.group = std::uint8_t(i);
        r.flags = std::uint8_t(i % 8);
        r.resistance = std::uint16_t(i * 7919);
        r.voltage = std::uint16_t(i * 104729);
        blocks.push_back(analyzer::encodeRecord(r));
    }
    const double perBatch = bench::secondsPerCall([&] {
        for (const QByteArray &b : blocks)
            bench::keep(analyzer::decodeRecord(b, true));
    });
    return perBatch / double(blocks.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(ANALYZER_SIM),
              {"--ports", analyzer::portFolder(), "--com", QString::number(kCom), "--generate",
               QString::number(kRecords), "--full-speed"});
    while (!sim.canReadLine() && sim.waitForReadyRead(5000)) { }
    if (sim.readLine().trimmed().isEmpty()) {
        std::fprintf(stderr, "bench_link: analyzer-sim did not start\n");
        return 1;
    }

    TMSComm comm;
    board::DataBoard board;
    analyzer::Session session(comm);
    QObject::connect(
        &session, &analyzer::Session::reading,
        [&](const reading::Reading &, const QByteArray &line) { board.AppendLine(line); });
    QObject::connect(&session, &analyzer::Session::receiveFailed, [](const analyzer::LinkFault &f) {
        std::fprintf(stderr, "bench_link: %s\n", qPrintable(linktext::describe(f)));
    });
    int lines = 0;
    bench::Clock::time_point lastLine;
    double cpuAtLastLine = 0;
    QTimer idle;
    idle.setSingleShot(true);
    QObject::connect(&idle, &QTimer::timeout, &app, &QCoreApplication::quit);
    QObject::connect(&board, &board::DataBoard::appended, [&] {
        ++lines;
        lastLine = bench::Clock::now();
        cpuAtLastLine = bench::processCpuSeconds();
        if (lines == kRecords)
            app.quit();
        else
            idle.start(5000);
    });
    try {
        session.open(kCom);
        const auto start = bench::Clock::now();
        const double cpuStart = bench::processCpuSeconds();
        session.download();
        idle.start(5000);
        app.exec();
        sim.terminate();
        sim.waitForFinished(5000);

        const double seconds = std::chrono::duration<double>(lastLine - start).count();
        const double recordsPerSecond = double(lines) / seconds;
        const double cpuPerRecord = (cpuAtLastLine - cpuStart) / double(lines);
        const double decoderPerRecord = decoderSecondsPerRecord();
        const double lineRecordsPerSecond = 2400.0 / 10.0 / analyzer::kRecordSize;

        bench::row("link records end to end", recordsPerSecond, "records/s",
                   recordsPerSecond / lineRecordsPerSecond,
                   "x the 2400-baud line rate (40 records/s)", ">= 1");
        bench::row("link CPU per record", cpuPerRecord * 1e6, "us/record",
                   cpuPerRecord / decoderPerRecord, "x the decoder alone on the same records",
                   "<= 250 us/record (1 % of a record's 25 ms on the line)");
        bench::row("link lines lost", double(kRecords - lines), "lines", double(lines) / kRecords,
                   "of the records sent arrived as lines", "0 lost");
    } catch (const core::Error &e) {
        std::fprintf(stderr, "bench_link: %s\n", qPrintable(e.message()));
        return 1;
    }
    return lines == kRecords ? 0 : 1;
}
