// The lab view's rows, each against its goal: the tool's own `serve` over a SQLite register
// of 100 000 cells, driven by headless Chromium and by fifty plain clients on loopback.
#include "devtools.h"
#include "harness.h"
#include "lab_client.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kCells = 100'000;
constexpr int kClients = 50;
constexpr int kLoadSeconds = 30;

// One GET over a connection of its own, read to the end; true for a whole 200 answer.
bool get(int port, const char *path)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    timeval limit{10, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string got;
    if (::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) {
        const std::string request = std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1:"
            + std::to_string(port) + "\r\nConnection: close\r\n\r\n";
        if (::write(s, request.data(), request.size()) == ssize_t(request.size())) {
            char buffer[65536];
            for (ssize_t n; (n = ::read(s, buffer, sizeof buffer)) > 0;)
                got.append(buffer, std::size_t(n));
        }
    }
    ::close(s);
    return got.starts_with("HTTP/1.1 200") && got.find("\r\n\r\n") + 4 < got.size();
}

// A figure of a process's memory (VmHWM: its peak, VmRSS: now), in MB.
double megabytes(qint64 pid, const QByteArray &field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith(field + ':'))
            return l.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

// Starts the peak over from what the process holds now.
void resetPeak(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// A register of `cells` cells, each measured once, at the start of a rest.
QString makeRegister(const QString &path, int cells)
{
    cellregister::CellRegister r(cellregister::locate(path));
    QStringList labels;
    for (int i = 0; i < cells; ++i)
        labels << QStringLiteral("C%1").arg(i, 6, 10, QLatin1Char('0'));
    record(r, labels, 4'100'000, kLabAt, true);
    return path;
}

// `serve` on a free loopback port; the port, or 0 when it did not start.
int startServer(QProcess &server, const QString &db)
{
    server.setReadChannel(QProcess::StandardError); // where the tool says its address
    server.start(QStringLiteral(BATTERY_CLI), {"serve", "--db", db, "--listen", "127.0.0.1:0"});
    const QRegularExpression address(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)/"));
    for (QByteArray said; server.waitForReadyRead(30'000);) {
        said += server.readAllStandardError();
        if (const auto m = address.match(QString::fromUtf8(said)); m.hasMatch())
            return m.captured(1).toInt();
    }
    return 0;
}

// Fifty clients asking one after another for the run's length; the peak is the run's own,
// above what the server holds of its register when it begins.
void loadRows(const QProcess &server, int port, const char *cells)
{
    const double held = megabytes(server.processId(), "VmRSS");
    resetPeak(server.processId());
    std::atomic<int> answers{0}, errors{0};
    std::vector<std::thread> clients;
    const auto end = bench::Clock::now() + std::chrono::seconds(kLoadSeconds);
    const char *paths[] = {"/",
                           "/api/cells?sort=-voltage",
                           "/api/cell?label=C000007",
                           "/static/lab.js",
                           "/api/packs",
                           "/api/summary"};
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&, c] {
            for (int n = c; bench::Clock::now() < end; ++n)
                ++(get(port, paths[n % 6]) ? answers : errors);
        });
    for (std::thread &t : clients)
        t.join();
    const double peak = megabytes(server.processId(), "VmHWM");
    const std::string over = std::string(" (") + cells + " cells)";
    bench::row("lab view: 50 clients for 30 s, errors" + over, errors, "errors", answers, "answers",
               "0");
    bench::row("lab view: 50 clients for 30 s, the server's peak memory" + over, peak, "MB",
               peak / 64, "x goal", "<= 64 MB");
    bench::row("lab view: the server's memory as the clients begin" + over, held, "MB", held / 64,
               "x goal", "-");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString db = makeRegister(dir.path() + QStringLiteral("/cells.sqlite"), kCells);
    QProcess server;
    const int port = startServer(server, db);
    if (port == 0) {
        std::fprintf(stderr, "bench_lab: the server did not start\n");
        return 1;
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);

    // A page of results once the snapshot is read: the best of several pages.
    get(port, "/api/cells");
    double pageSeconds = 1e9;
    for (int i = 1; i <= 10; ++i) {
        const auto start = bench::Clock::now();
        get(port, qPrintable(QStringLiteral("/api/cells?sort=-resistance&page=%1").arg(i)));
        pageSeconds = std::min(pageSeconds, bench::secondsSince(start));
    }
    bench::row("lab view: a page of 100 000 cells on the server", pageSeconds * 1e3, "ms",
               pageSeconds / 0.05, "x goal", "<= 50 ms");

    {
        DevTools b(dir.path());
        if (!b.error().isEmpty()) {
            std::fprintf(stderr, "bench_lab: %s\n", qPrintable(b.error()));
            return 1;
        }
        b.open(base + u'/');
        b.until("document.querySelectorAll('#cells tbody tr').length === 100", 30'000);
        const double paint =
            b.eval("performance.getEntriesByName('first-contentful-paint')[0].startTime")
                .toDouble();
        bench::row("lab view: cells page over 100 000 cells, first paint in Chromium", paint, "ms",
                   paint / 1000, "x goal", "<= 1 s");

        // A reading recorded by another process, shown in the open page of its cell.
        b.open(base + QStringLiteral("/cell?label=C000042"));
        b.until("document.querySelectorAll('#chart circle.v').length === 1", 30'000);
        const QString reading = dir.path() + QStringLiteral("/reading.txt");
        QFile f(reading);
        if (f.open(QIODevice::WriteOnly))
            f.write(" Group 1       052.5m\xA6\xB8     4.080V\r\n");
        f.close();
        QProcess record;
        record.start(QStringLiteral(BATTERY_CLI),
                     {"record", reading, "--first-cell", "C000042", "--at", "2026-03-10T08:00Z",
                      "--db", db});
        record.waitForFinished(60'000);
        const qint64 shown =
            b.until("document.querySelectorAll('#chart circle.v').length === 2", 10'000);
        bench::row("lab view: a recorded reading shown live after record ends", double(shown), "ms",
                   double(shown) / 2000, "x goal", "<= 2 s (-1: not shown in 10 s)");
    }

    loadRows(server, port, "100 000");
    // The same over a small register: what the connections themselves hold.
    QProcess small;
    const int smallPort =
        startServer(small, makeRegister(dir.path() + QStringLiteral("/small.sqlite"), 1'000));
    get(smallPort, "/api/summary");
    loadRows(small, smallPort, "1 000");
    small.terminate();
    small.waitForFinished(10'000);

    server.terminate();
    server.waitForFinished(10'000);
    return 0;
}
