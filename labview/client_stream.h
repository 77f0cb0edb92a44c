#pragma once

#include <httplib.h>

#include <string>

namespace labview {

// One request already read whole by the connections' reader, and the client's socket to
// answer on: the library reads the request from memory and writes its answer through here.
// Writes go out as far as the socket takes them at once; the rest is kept for the reader's
// thread to send, so that a client slow to read holds a buffer rather than a worker, up to a
// bound beyond which the worker waits a little and then gives the client up.
class ClientStream : public httplib::Stream {
public:
    ClientStream(int fd, std::string request) : fd_(fd), in_(std::move(request)) { }

    bool is_readable() const override { return at_ < in_.size(); }
    // False once the client has gone: a live stream ends then.
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return fd_; }

    // What the socket has not taken yet.
    std::string unsent() const { return out_.substr(sent_); }
    bool failed() const { return failed_; }

private:
    // Sends what it can; waits up to waitMs for the socket to take more when asked to.
    bool flush(int waitMs);

    int fd_;
    std::string in_;
    std::size_t at_ = 0;
    std::string out_;
    std::size_t sent_ = 0;
    bool failed_ = false;
};

} // namespace labview
