#include "hostile_clients.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Client {
    int fd = -1;
    std::string pending; // what is still to go out of the current piece
    std::size_t total = 0; // sent on this connection
    Clock::time_point next; // when the next piece may go
    bool answered = false;
};

int connectFrom(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(0x7F000002); // 127.0.0.2
    ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

const std::string kHost = "Host: 127.0.0.1\r\n";

} // namespace

HostileClients::HostileClients(int port, Attack attack, int clients,
                               std::chrono::milliseconds duration)
    : port_(port),
      attack_(attack),
      clients_(std::min(clients, 1'000)),
      until_(Clock::now() + std::min(duration, std::chrono::milliseconds(20'000)))
{
    thread_ = std::thread([this] { run(); });
}

HostileClients::~HostileClients()
{
    stop_ = true;
    thread_.join();
}

void HostileClients::run()
{
    std::vector<Client> clients(static_cast<std::size_t>(clients_));
    const auto opening = [&] {
        switch (attack_) {
        case Attack::HeaderFlood: return "GET /api/cells HTTP/1.1\r\n" + kHost;
        case Attack::ChunkedFlood:
            return "POST /api/retire HTTP/1.1\r\n" + kHost
                + "Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n";
        case Attack::Drip: return "GET / HTTP/1.1\r\n" + kHost;
        case Attack::IdleKeepAlive: return "GET /static/lab.css HTTP/1.1\r\n" + kHost + "\r\n";
        case Attack::Crowd: return std::string();
        }
        return std::string();
    };
    // The next piece a client sends once the last one is out, and when; empty: nothing more.
    const auto nextPiece = [&](Client &c) -> std::string {
        const auto now = Clock::now();
        switch (attack_) {
        case Attack::HeaderFlood:
            if (c.total > 100'000'000)
                return {};
            return "X-Fill-" + std::to_string(c.total) + ": " + std::string(8'000, 'a') + "\r\n";
        case Attack::ChunkedFlood:
            if (c.total > 200'000'000)
                return {};
            return "10000\r\n" + std::string(0x10000, '{') + "\r\n";
        case Attack::Drip: c.next = now + 1500ms; return "X";
        case Attack::IdleKeepAlive:
            // Another small request before any keep-alive time runs out.
            c.next = now + 1500ms;
            return opening();
        case Attack::Crowd: c.next = Clock::time_point::max(); return {};
        }
        return {};
    };
    std::vector<pollfd> polls;
    char sink[64 * 1024];
    while (!stop_ && Clock::now() < until_) {
        const auto now = Clock::now();
        polls.clear();
        for (Client &c : clients) {
            if (c.fd < 0) {
                // Connections again as fast as they are closed, up to a bound: the machine's
                // ports stay for the other tests.
                if (connections_ >= std::max(clients_ * 8, 2'000) || now < c.next)
                    continue;
                c.fd = connectFrom(port_);
                if (c.fd < 0)
                    continue;
                ++connections_;
                c.pending = opening();
                c.total = 0;
                c.next = now;
                c.answered = false;
            }
            if (c.pending.empty() && now >= c.next)
                c.pending = nextPiece(c);
            short events = POLLIN;
            if (!c.pending.empty() && now >= c.next)
                events |= POLLOUT;
            polls.push_back({c.fd, events, 0});
        }
        ::poll(polls.data(), polls.size(), 50);
        std::size_t i = 0;
        for (Client &c : clients) {
            if (c.fd < 0)
                continue;
            const pollfd &p = polls[i++];
            bool closed = false;
            if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(c.fd, sink, sizeof sink, MSG_DONTWAIT);
                if (n > 0 && !c.answered) {
                    c.answered = true;
                    ++answers_;
                }
                closed = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
            }
            if (!closed && (p.revents & POLLOUT) && !c.pending.empty()) {
                const ssize_t n =
                    ::send(c.fd, c.pending.data(), c.pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    c.pending.erase(0, std::size_t(n));
                    c.total += std::size_t(n);
                    sent_ += std::size_t(n);
                } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    closed = true;
                }
            }
            if (closed) {
                ::close(c.fd);
                c.fd = -1; // connects again: the pressure stays
                c.next = Clock::now() + 20ms;
            }
        }
    }
    for (Client &c : clients)
        if (c.fd >= 0)
            ::close(c.fd);
}
