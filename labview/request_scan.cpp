#include "labview/request_scan.h"

#include <charconv>
#include <optional>

namespace labview {

namespace {

RequestScan refused(int status, const char *reason)
{
    RequestScan s;
    s.outcome = RequestScan::Outcome::Refused;
    s.status = status;
    s.reason = reason;
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] + 32) : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] + 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

std::optional<std::size_t> number(std::string_view text, int base)
{
    std::size_t value = 0;
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A chunked body from its start: its length in bytes when whole, 0 while more is to come.
RequestScan scanChunked(std::string_view bytes, std::size_t start, const RequestLimits &limits)
{
    std::size_t at = start, body = 0;
    for (;;) {
        const std::size_t eol = bytes.find("\r\n", at);
        if (eol == std::string_view::npos)
            return bytes.size() - at > 64 ? refused(400, "a chunk size line too long")
                                          : RequestScan{};
        std::string_view sizeText = bytes.substr(at, eol - at);
        sizeText = withoutBlanks(sizeText.substr(0, sizeText.find(';')));
        const auto size = number(sizeText, 16);
        if (!size)
            return refused(400, "a chunk size that cannot be read");
        if (*size > limits.body || (body += *size) > limits.body)
            return refused(413, "a body larger than this server takes");
        at = eol + 2;
        if (*size == 0) {
            // Trailer lines, then an empty line.
            std::size_t lines = 0;
            for (;;) {
                const std::size_t end = bytes.find("\r\n", at);
                if (end == std::string_view::npos)
                    return bytes.size() - at > limits.line ? refused(400, "a trailer too long")
                                                           : RequestScan{};
                if (end == at) {
                    RequestScan s;
                    s.outcome = RequestScan::Outcome::Whole;
                    s.length = end + 2;
                    return s;
                }
                if (++lines > limits.headers)
                    return refused(431, "too many trailer lines");
                at = end + 2;
            }
        }
        if (bytes.size() < at + *size + 2)
            return RequestScan{};
        if (bytes.substr(at + *size, 2) != "\r\n")
            return refused(400, "a chunk without its line end");
        at += *size + 2;
    }
}

} // namespace

RequestScan scanRequest(std::string_view bytes, const RequestLimits &limits)
{
    const std::size_t end = bytes.find("\r\n\r\n");
    const std::string_view head = bytes.substr(0, end);
    // Refused as soon as a bound is passed, whole head or not.
    std::size_t at = 0, lines = 0, hosts = 0;
    std::optional<std::size_t> contentLength;
    bool chunked = false, coded = false;
    for (;;) {
        const std::size_t eol = head.find("\r\n", at);
        const std::string_view line =
            head.substr(at, eol == std::string_view::npos ? std::string_view::npos : eol - at);
        const bool complete = eol != std::string_view::npos || end != std::string_view::npos;
        if (line.size() > limits.line)
            return lines == 0 ? refused(414, "a request line too long")
                              : refused(400, "a header line too long");
        if (lines == 0) {
            if (!line.empty()
                && (line.front() < 'A' || line.front() > 'Z'
                    || line.find_first_of(std::string_view("\0\x7f", 2)) != std::string_view::npos))
                return refused(400, "not a request");
        } else if (complete) {
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos || colon == 0)
                return refused(400, "a header line that cannot be read");
            const std::string_view name = line.substr(0, colon);
            const std::string_view value = withoutBlanks(line.substr(colon + 1));
            if (equalsNoCase(name, "host"))
                ++hosts;
            else if (equalsNoCase(name, "content-length")) {
                const auto n = number(value, 10);
                if (!n || (contentLength && *contentLength != *n))
                    return refused(400, "a body length that cannot be read");
                contentLength = n;
            } else if (equalsNoCase(name, "transfer-encoding")) {
                if (coded || !equalsNoCase(value, "chunked"))
                    return refused(501, "a transfer coding this server does not take");
                coded = chunked = true;
            }
        }
        if (lines > limits.headers)
            return refused(431, "too many header lines");
        if (eol == std::string_view::npos)
            break;
        ++lines;
        at = eol + 2;
    }
    if ((end == std::string_view::npos ? bytes.size() : end + 4) > limits.head)
        return refused(431, "headers larger than this server takes");
    if (end == std::string_view::npos)
        return RequestScan{};
    if (hosts > 1)
        return refused(400, "more than one Host header");
    if (chunked && contentLength)
        return refused(400, "both a body length and a transfer coding");
    const std::size_t bodyStart = end + 4;
    if (chunked)
        return scanChunked(bytes, bodyStart, limits);
    const std::size_t length = contentLength.value_or(0);
    if (length > limits.body)
        return refused(413, "a body larger than this server takes");
    if (bytes.size() < bodyStart + length)
        return RequestScan{};
    RequestScan s;
    s.outcome = RequestScan::Outcome::Whole;
    s.length = bodyStart + length;
    return s;
}

std::string_view withoutBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace labview
