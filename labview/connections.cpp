#include "labview/connections.h"

#include "labview/client_stream.h"

#include <arpa/inet.h>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace labview {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A worker that waits this long for a client to take a large answer gives the client up.
constexpr int kWriteWaitMs = 5'000;
// What a worker keeps of an answer the client has not taken before it waits for it.
constexpr std::size_t kUnsentMax = 8 * 1024 * 1024;

std::string addressOf(const sockaddr_storage &a)
{
    if (a.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(a);
        return std::string(reinterpret_cast<const char *>(&in.sin_addr), sizeof in.sin_addr);
    }
    if (a.ss_family == AF_INET6) {
        const auto &in = reinterpret_cast<const sockaddr_in6 &>(a);
        return std::string(reinterpret_cast<const char *>(&in.sin6_addr), sizeof in.sin6_addr);
    }
    return {};
}

void ipAndPort(const sockaddr_storage &a, std::string &ip, int &port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(a);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        port = ntohs(in.sin_port);
    } else if (a.ss_family == AF_INET6) {
        const auto &in = reinterpret_cast<const sockaddr_in6 &>(a);
        inet_ntop(AF_INET6, &in.sin6_addr, text, sizeof text);
        port = ntohs(in.sin6_port);
    }
    ip = text;
}

// A fixed number of threads, and a queue of fixed length in front of them.
class Lanes {
public:
    Lanes(std::size_t threads, std::size_t queued) : queued_(queued)
    {
        for (std::size_t i = 0; i < threads; ++i)
            threads_.emplace_back([this] { work(); });
        idle_ = threads;
    }
    ~Lanes()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        ready_.notify_all();
        for (std::thread &t : threads_)
            t.join();
    }
    // False when every worker is busy and the queue full.
    bool offer(std::function<void()> job)
    {
        {
            std::lock_guard lock(mutex_);
            if (jobs_.size() >= queued_ + idle_)
                return false;
            jobs_.push_back(std::move(job));
        }
        ready_.notify_one();
        return true;
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                --idle_;
            }
            job();
            std::lock_guard lock(mutex_);
            ++idle_;
        }
    }

    std::size_t queued_, idle_ = 0;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    bool stop_ = false;
};

} // namespace

bool ClientStream::is_writable() const
{
    pollfd p{fd_, POLLOUT | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) < 0)
        return false;
    return !(p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

ssize_t ClientStream::read(char *ptr, size_t size)
{
    const std::size_t n = std::min(size, in_.size() - at_);
    std::memcpy(ptr, in_.data() + at_, n);
    at_ += n;
    return ssize_t(n);
}

ssize_t ClientStream::write(const char *ptr, size_t size)
{
    if (failed_)
        return -1;
    if (sent_ == out_.size()) {
        out_.clear();
        sent_ = 0;
    }
    out_.append(ptr, size);
    if (!flush(out_.size() - sent_ > kUnsentMax ? kWriteWaitMs : 0))
        return -1;
    return ssize_t(size);
}

bool ClientStream::flush(int waitMs)
{
    const auto until = Clock::now() + std::chrono::milliseconds(waitMs);
    while (sent_ < out_.size()) {
        const ssize_t n =
            ::send(fd_, out_.data() + sent_, out_.size() - sent_, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent_ += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            failed_ = true;
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (out_.size() - sent_ <= kUnsentMax && waitMs == 0)
            return true; // the reader's thread sends the rest
        if (left <= 0ms) {
            failed_ = true;
            return false;
        }
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, int(left.count()));
    }
    return true;
}

void ClientStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (::getpeername(fd_, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        ipAndPort(a, ip, port);
}

void ClientStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        ipAndPort(a, ip, port);
}

class Connections::Impl {
public:
    struct Conn {
        std::string address;
        std::string in; // what the client sent and no worker has had yet
        std::string out; // what the client has not taken yet
        std::size_t sent = 0;
        Clock::time_point deadline;
        bool started = false; // a request under way: its time runs
        bool busy = false; // a worker has it
        bool closeAfter = false; // once out is sent
        bool eof = false; // the client sent all it will
        bool refused = false; // answered without a worker: what the client still sends is dropped
        std::size_t drained = 0;
    };
    struct Done {
        int fd;
        std::string unsent;
        bool keep;
    };

    Impl(int listenFd, const ConnectionLimits &limits, LaneSize pages, LaneSize heavy,
         LaneSize streams, Handlers handlers)
        : listen_(listenFd),
          limits_(limits),
          handlers_(std::move(handlers)),
          pages_(std::make_unique<Lanes>(pages.workers, pages.queued)),
          heavy_(std::make_unique<Lanes>(heavy.workers, heavy.queued)),
          streams_(std::make_unique<Lanes>(streams.workers, streams.queued))
    {
        // Accepted until none is left, never waited for; a crowd waits in the kernel's queue
        // for its turn to be refused, rather than its connections being dropped unseen.
        ::fcntl(listen_, F_SETFL, ::fcntl(listen_, F_GETFL) | O_NONBLOCK);
        ::listen(listen_, SOMAXCONN);
        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = listen_;
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, listen_, &e);
        e.data.fd = wake_;
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &e);
        thread_ = std::thread([this] { loop(); });
    }

    ~Impl()
    {
        stop_ = true;
        wake();
        thread_.join();
        // The workers end first (a live stream within a second), then the sockets go.
        pages_.reset();
        heavy_.reset();
        streams_.reset();
        for (auto &[fd, c] : conns_)
            ::close(fd);
        ::close(epoll_);
        ::close(wake_);
    }

    void wake()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    }

    void watch(int fd, std::uint32_t events, int op)
    {
        epoll_event e{};
        e.events = events;
        e.data.fd = fd;
        ::epoll_ctl(epoll_, op, fd, &e);
    }

    void drop(int fd)
    {
        const auto it = conns_.find(fd);
        if (it == conns_.end())
            return;
        if (const auto a = perAddress_.find(it->second.address); a != perAddress_.end())
            if (--a->second == 0)
                perAddress_.erase(a);
        if (!it->second.busy)
            ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        conns_.erase(it);
    }

    // Answers without a worker, and closes once the answer is out (or its time is up).
    void refuse(int fd, Conn &c, int status, std::string_view reason)
    {
        c.out = handlers_.refusal(status, reason);
        c.sent = 0;
        c.in.clear();
        c.closeAfter = true;
        c.refused = true;
        c.deadline = Clock::now() + 2s;
        watch(fd, EPOLLOUT, EPOLL_CTL_MOD);
        send(fd, c);
    }

    void accept()
    {
        for (;;) {
            sockaddr_storage a{};
            socklen_t len = sizeof a;
            const int fd = ::accept4(listen_, reinterpret_cast<sockaddr *>(&a), &len,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                // Out of descriptors: the listening socket would stay readable and the loop
                // spin; it is left alone until the next look at the deadlines.
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, listen_, nullptr);
                    acceptPaused_ = true;
                }
                return;
            }
            std::string address = addressOf(a);
            const std::size_t mine = perAddress_[address];
            if (conns_.size() >= limits_.total || mine >= limits_.perAddress) {
                // Told at once, if the socket takes it; nothing is kept for it.
                const std::string text =
                    handlers_.refusal(503, "too many connections from this address");
                [[maybe_unused]] const ssize_t n =
                    ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                ::close(fd);
                if (mine == 0)
                    perAddress_.erase(address);
                continue;
            }
            ++perAddress_[address];
            const int yes = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            Conn &c = conns_[fd];
            c.address = std::move(address);
            c.deadline = Clock::now() + limits_.idle;
            watch(fd, EPOLLIN | EPOLLRDHUP, EPOLL_CTL_ADD);
        }
    }

    void receive(int fd, Conn &c)
    {
        const std::size_t room = limits_.request.head + limits_.request.body + 4096;
        char buffer[16 * 1024];
        bool newLine = false;
        for (;;) {
            const std::size_t want = std::min(sizeof buffer, room + 1 - c.in.size());
            const ssize_t n = ::recv(fd, buffer, want, MSG_DONTWAIT);
            if (n == 0 && !c.in.empty()) {
                // Sent a request and then closed its side: answered, then closed.
                c.eof = true;
                watch(fd, 0, EPOLL_CTL_MOD);
                newLine = true;
                break;
            }
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                drop(fd);
                return;
            }
            if (n < 0)
                break;
            if (!c.started) {
                c.started = true;
                c.deadline = Clock::now() + limits_.requestTime;
            }
            newLine = newLine || std::memchr(buffer, '\n', std::size_t(n)) != nullptr;
            c.in.append(buffer, std::size_t(n));
            if (c.in.size() > room)
                break;
        }
        // Looked at again only when a line has ended or a bound may be passed: a client that
        // sends a byte at a time costs no scan of everything it sent before for each byte.
        if (newLine || c.in.size() > limits_.request.line
            || c.in.find("\r\n\r\n") != std::string::npos)
            look(fd, c);
    }

    void look(int fd, Conn &c)
    {
        const RequestScan s = scanRequest(c.in, limits_.request);
        if (s.outcome == RequestScan::Outcome::Refused) {
            refuse(fd, c, s.status, s.reason);
            return;
        }
        if (s.outcome != RequestScan::Outcome::Whole) {
            if (c.eof)
                drop(fd);
            else if (c.in.size() > limits_.request.head + limits_.request.body + 4096)
                refuse(fd, c, 413, "a request larger than this server takes");
            return;
        }
        std::string request = c.in.substr(0, s.length);
        c.in.erase(0, s.length);
        const std::string_view line = std::string_view(request).substr(0, request.find("\r\n"));
        const Lane lane = handlers_.lane(line);
        Lanes &lanes = lane == Lane::Heavy ? *heavy_ : lane == Lane::Stream ? *streams_ : *pages_;
        c.busy = true;
        c.started = false;
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        const bool closing = lane == Lane::Stream || stop_ || c.eof;
        const bool taken = lanes.offer([this, fd, closing, request = std::move(request)]() mutable {
            ClientStream stream(fd, std::move(request));
            const bool keep = handlers_.serve(stream, closing) && !stream.failed() && !closing;
            {
                std::lock_guard lock(doneMutex_);
                done_.push_back({fd, stream.unsent(), keep});
            }
            wake();
        });
        if (!taken) {
            c.busy = false;
            watch(fd, EPOLLIN | EPOLLRDHUP, EPOLL_CTL_ADD);
            refuse(fd, c, 503, lane == Lane::Heavy ? "busy drawing other downloads" : "busy");
        }
    }

    void send(int fd, Conn &c)
    {
        while (c.sent < c.out.size()) {
            const ssize_t n = ::send(fd, c.out.data() + c.sent, c.out.size() - c.sent,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                c.sent += std::size_t(n);
                c.deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return; // on the next EPOLLOUT
            if (n < 0 && errno == EINTR)
                continue;
            drop(fd);
            return;
        }
        c.out.clear();
        c.sent = 0;
        if (c.closeAfter && c.refused && !c.eof) {
            // Closing with the client's bytes unread would reset the connection, and the
            // client could lose the answer: what it still sends is read and dropped, for a
            // short while and up to a bound.
            ::shutdown(fd, SHUT_WR);
            c.deadline = Clock::now() + 1s;
            watch(fd, EPOLLIN | EPOLLRDHUP, EPOLL_CTL_MOD);
            return;
        }
        if (c.closeAfter) {
            drop(fd);
            return;
        }
        if (c.eof) {
            drop(fd);
            return;
        }
        // Kept alive: waits for the next request, which may be here already.
        c.deadline = Clock::now() + limits_.idle;
        watch(fd, EPOLLIN | EPOLLRDHUP, EPOLL_CTL_MOD);
        if (!c.in.empty()) {
            c.started = true;
            c.deadline = Clock::now() + limits_.requestTime;
            look(fd, c);
        }
    }

    void drain(int fd, Conn &c)
    {
        char buffer[16 * 1024];
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (n <= 0 || (c.drained += std::size_t(n)) > 1024 * 1024) {
                drop(fd);
                return;
            }
        }
    }

    void finished()
    {
        std::uint64_t n = 0;
        [[maybe_unused]] const ssize_t r = ::read(wake_, &n, sizeof n);
        std::vector<Done> done;
        {
            std::lock_guard lock(doneMutex_);
            done.swap(done_);
        }
        for (Done &d : done) {
            const auto it = conns_.find(d.fd);
            if (it == conns_.end())
                continue;
            Conn &c = it->second;
            c.busy = false;
            c.out = std::move(d.unsent);
            c.sent = 0;
            c.closeAfter = !d.keep || stop_;
            c.deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
            watch(d.fd, c.out.empty() ? EPOLLIN | EPOLLRDHUP : EPOLLOUT, EPOLL_CTL_ADD);
            send(d.fd, c);
        }
    }

    void expire()
    {
        const auto now = Clock::now();
        std::vector<int> late;
        for (auto &[fd, c] : conns_)
            if (!c.busy && now >= c.deadline)
                late.push_back(fd);
        for (int fd : late) {
            Conn &c = conns_.at(fd);
            if (c.started && !c.closeAfter && c.out.empty())
                refuse(fd, c, 408, "the request took too long");
            else
                drop(fd);
        }
    }

    void loop()
    {
        epoll_event events[256];
        auto nextExpiry = Clock::now();
        while (!stop_) {
            const int n = ::epoll_wait(epoll_, events, 256, 100);
            for (int i = 0; i < n; ++i) {
                const int fd = events[i].data.fd;
                if (fd == listen_) {
                    accept();
                    continue;
                }
                if (fd == wake_) {
                    finished();
                    continue;
                }
                const auto it = conns_.find(fd);
                if (it == conns_.end() || it->second.busy)
                    continue;
                Conn &c = it->second;
                if (events[i].events & EPOLLERR) {
                    drop(fd);
                } else if (!c.out.empty()) {
                    if (events[i].events & (EPOLLOUT | EPOLLHUP))
                        send(fd, c);
                } else if (c.refused) {
                    drain(fd, c);
                } else if (events[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP)) {
                    receive(fd, c);
                }
            }
            if (Clock::now() >= nextExpiry) {
                if (acceptPaused_) {
                    acceptPaused_ = false;
                    watch(listen_, EPOLLIN, EPOLL_CTL_ADD);
                }
                expire();
                nextExpiry = Clock::now() + 100ms;
            }
        }
    }

    int listen_;
    int epoll_ = -1, wake_ = -1;
    ConnectionLimits limits_;
    Handlers handlers_;
    std::unordered_map<int, Conn> conns_;
    std::unordered_map<std::string, std::size_t> perAddress_;
    std::mutex doneMutex_;
    std::vector<Done> done_;
    std::atomic<bool> stop_{false};
    bool acceptPaused_ = false;
    std::thread thread_;
    std::unique_ptr<Lanes> pages_, heavy_, streams_;
};

Connections::Connections(int listenFd, const ConnectionLimits &limits, LaneSize pages,
                         LaneSize heavy, LaneSize streams, Handlers handlers)
    : impl_(std::make_unique<Impl>(listenFd, limits, pages, heavy, streams, std::move(handlers)))
{ }

Connections::~Connections() = default;

} // namespace labview
