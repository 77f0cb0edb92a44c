#pragma once

#include "labview/request_scan.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The connections of the lab view: one thread reads every client's request whole, within
// the bounds below, before any worker sees it, so that a slow or hostile client holds a
// socket and a few kilobytes, never a worker; then hands the request to the workers of its
// lane and writes their answer out as the client takes it.
namespace labview {

struct ConnectionLimits {
    RequestLimits request;
    // From a request's first byte to its last, however the bytes are spread.
    std::chrono::milliseconds requestTime{10'000};
    // A connection with no request under way (a new one, or kept alive after an answer).
    std::chrono::milliseconds idle{5'000};
    std::size_t perAddress = 256;
    std::size_t total = 2'000;
};

// Who serves a request: pages and data; the heavy downloads; the live streams, which hold
// their worker for as long as they live.
enum class Lane { Pages, Heavy, Stream };

struct LaneSize {
    std::size_t workers = 1;
    std::size_t queued = 0; // beyond the workers; then 503 with Retry-After
};

// What a worker sees of one connection: the request read before, and the socket to answer on.
class ClientStream;

class Connections {
public:
    struct Handlers {
        // Which lane the request goes to, from its request line.
        std::function<Lane(std::string_view requestLine)> lane;
        // Serves one whole request on a worker. Returns false when the connection must close.
        std::function<bool(ClientStream &stream, bool closeConnection)> serve;
        // A whole answer for a request refused before any worker saw it.
        std::function<std::string(int status, std::string_view reason)> refusal;
    };
    // Serves on listenFd (bound and listening) until destroyed; the socket stays the caller's.
    Connections(int listenFd, const ConnectionLimits &limits, LaneSize pages, LaneSize heavy,
                LaneSize streams, Handlers handlers);
    ~Connections();
    Connections(const Connections &) = delete;
    Connections &operator=(const Connections &) = delete;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace labview
