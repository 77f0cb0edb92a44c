#pragma once

#include <cstddef>
#include <string_view>

// How much of a request may be held before anything else looks at it, and whether what a
// connection has sent so far is one whole request: a pure function of the bytes, so that
// the connection's reader holds no more than these bounds whatever a client sends.
namespace labview {

struct RequestLimits {
    std::size_t line = 8 * 1024; // the request line, and each header line
    std::size_t head = 16 * 1024; // the request line and every header together
    std::size_t headers = 64; // header lines
    std::size_t body = 16 * 1024; // the body as decoded, whatever its transfer coding
};

struct RequestScan {
    enum class Outcome { NeedMore, Whole, Refused } outcome = Outcome::NeedMore;
    std::size_t length = 0; // Whole: the bytes of this request, its body included
    int status = 0; // Refused: the answer
    const char *reason = ""; // Refused: why, in a few plain words
};

RequestScan scanRequest(std::string_view bytes, const RequestLimits &limits = {});

// A header's value without the blanks (spaces, tabs) HTTP allows around it.
std::string_view withoutBlanks(std::string_view s);

} // namespace labview
