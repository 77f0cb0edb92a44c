// analyzer-sim: a battery analyzer on a pseudo-terminal, for tests, the demo and benchmarks.
#include "sim_memory.h"
#include "sim_options.h"
#include "sim_pty.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// 2400 baud with a start bit, eight data bits and a stop bit: ten bit times a byte.
constexpr auto kByteTime = std::chrono::nanoseconds(10 * 1'000'000'000LL / 2400);

volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal)
{
    stopSignal = signal;
}

void log(const char *format, auto... args)
{
    std::fprintf(stderr, "analyzer-sim: ");
    std::fprintf(stderr, format, args...);
    std::fputc('\n', stderr);
}

// The analyzer's side of the protocol: commands in, records out.
class Analyzer {
public:
    explicit Analyzer(sim::Memory memory) : memory_(std::move(memory)) { }

    void receive(const char *bytes, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            const char c = bytes[i];
            if (commandStarted_) {
                commandStarted_ = false;
                command(c);
            } else if (c == 'S') {
                commandStarted_ = true;
            } else {
                log("received a stray byte 0x%02X, not the start of a command", unsigned(c & 0xFF));
            }
        }
    }

    bool hasOutput() const { return sent_ < output_.size(); }
    const char *pending() const { return output_.data() + sent_; }
    std::size_t pendingSize() const { return output_.size() - sent_; }

    void markSent(std::size_t count)
    {
        sent_ += count;
        if (sent_ == output_.size()) {
            output_.clear();
            sent_ = 0;
        }
    }

private:
    void command(char letter)
    {
        switch (letter) {
        case 'K':
            if (memory_.empty()) {
                log("received S K (download): memory empty, sending the no-data reply");
                analyzer::AnalyzerRecord noData;
                noData.flags = analyzer::kNoDataMarker;
                append(noData);
            } else {
                log("received S K (download): sending %zu readings", memory_.size());
                for (const auto &r : memory_)
                    append(r);
            }
            break;
        case 'U':
            log("received S U (clear memory): %zu readings erased", memory_.size());
            memory_.clear();
            break;
        case 'E': log("received S E (connect)"); break;
        case 'T': log("received S T (disconnect)"); break;
        default: log("received S then 0x%02X, which is no command", unsigned(letter & 0xFF)); break;
        }
    }

    void append(const analyzer::AnalyzerRecord &r)
    {
        const QByteArray bytes = analyzer::encodeRecord(r);
        output_.append(bytes.constData(), std::size_t(bytes.size()));
    }

    sim::Memory memory_;
    std::string output_;
    std::size_t sent_ = 0;
    bool commandStarted_ = false;
};

sim::Memory loadMemory(const sim::Options &o)
{
    switch (o.memory) {
    case sim::Options::Memory::File: return sim::readingsFromFile(o.readingsFile);
    case sim::Options::Memory::Generated: return sim::generatedReadings(o.generated);
    case sim::Options::Memory::Empty: return {};
    case sim::Options::Memory::Default: break;
    }
    return sim::typicalReadings();
}

timespec toTimespec(Clock::duration d)
{
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(d, Clock::duration::zero()));
    return timespec{time_t(ns.count() / 1'000'000'000), long(ns.count() % 1'000'000'000)};
}

int serve(const sim::Options &o, Analyzer &analyzer, const sigset_t &waitMask)
{
    sim::RawPty pty;
    sim::PortEntry entry(o.portsFolder, o.com, pty.path());
    std::printf("%s\n", pty.path().c_str());
    std::fflush(stdout);
    log("COM %d is %s -> %s, sending %s", o.com, entry.path().c_str(), pty.path().c_str(),
        o.fullSpeed ? "at full speed" : "at 2400 baud");

    Clock::time_point nextByteDue = Clock::now();
    char buffer[4096];
    while (stopSignal == 0) {
        const Clock::time_point now = Clock::now();
        const bool mayWrite = analyzer.hasOutput() && (o.fullSpeed || now >= nextByteDue);
        pollfd pfd{pty.master(), short(POLLIN | (mayWrite ? POLLOUT : 0)), 0};
        timespec timeout{};
        const timespec *wait = nullptr;
        if (analyzer.hasOutput() && !mayWrite) {
            timeout = toTimespec(nextByteDue - now);
            wait = &timeout;
        }
        if (::ppoll(&pfd, 1, wait, &waitMask) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }

        if (pfd.revents & POLLIN) {
            const ssize_t n = ::read(pty.master(), buffer, sizeof buffer);
            if (n > 0) {
                const bool wasIdle = !analyzer.hasOutput();
                analyzer.receive(buffer, std::size_t(n));
                if (wasIdle)
                    nextByteDue = Clock::now();
            }
        }
        if ((pfd.revents & POLLOUT) && analyzer.hasOutput()) {
            const std::size_t chunk = o.fullSpeed ? analyzer.pendingSize() : 1;
            const ssize_t n = ::write(pty.master(), analyzer.pending(), chunk);
            if (n > 0) {
                analyzer.markSent(std::size_t(n));
                // Keep to the line rate, but do not burst to catch up after a stall.
                nextByteDue = std::max(nextByteDue + kByteTime, Clock::now());
            }
        }
    }
    log("stopped by signal %d; removing %s", int(stopSignal), entry.path().c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    sim::Options options;
    try {
        options = sim::parseOptions(argc, argv);
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr, "analyzer-sim: %s\nTry 'analyzer-sim --help'.\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(sim::helpText().c_str(), stdout);
        return 0;
    }

    // The stop signals stay blocked except inside ppoll, so one that arrives between two
    // waits is not lost; the loop then ends and the destructors remove the port entry.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    try {
        Analyzer analyzer(loadMemory(options));
        return serve(options, analyzer, waitMask);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "analyzer-sim: %s\n", e.what());
        return 1;
    }
}
