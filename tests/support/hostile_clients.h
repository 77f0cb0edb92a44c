#pragma once

// Clients that treat a server as an attacker would, for the suites that must show it holds:
// each attack runs on a thread of its own with at most `clients` sockets for at most its
// time, against a port on loopback only, from the loopback address 127.0.0.2 so that the
// test's own requests (from 127.0.0.1) are another client to the server. A client the
// server closes connects again 20 ms later, up to 2 000 connections (or eight a client) in all.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>

enum class Attack {
    HeaderFlood, // header lines of 8 000 bytes, one after another, up to 100 MB a client
    ChunkedFlood, // a POST whose chunked body runs to 200 MB a client
    Drip, // a request line, then a header byte every 1.5 s
    IdleKeepAlive, // a small request each every 1.5 s on a connection kept alive
    Crowd, // connections from one address that send nothing
};

class HostileClients {
public:
    HostileClients(int port, Attack attack, int clients, std::chrono::milliseconds duration);
    ~HostileClients(); // stops at once and closes every socket
    HostileClients(const HostileClients &) = delete;
    HostileClients &operator=(const HostileClients &) = delete;

    std::size_t bytesSent() const { return sent_; }
    int connections() const { return connections_; } // made, reconnections included
    int answers() const { return answers_; } // connections that had any answer

private:
    void run();

    int port_;
    Attack attack_;
    int clients_;
    std::chrono::steady_clock::time_point until_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> sent_{0};
    std::atomic<int> connections_{0}, answers_{0};
    std::thread thread_;
};
