// The COM-port conversion against a plain reference reading of the same rules.
#include "link/errors.h"
#include "link/port_text.h"

#include <cstdlib>
#include <optional>
#include <regex>
#include <string>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

// Leading blanks, an optional sign, then decimal digits within signed 32 bits or one to
// eight hexadecimal digits after one of the prefixes; nothing else.
std::optional<long long> reference(const std::string &text)
{
    static const std::regex hex("^ *([+-]?)(\\$|0[xX]|[xX])([0-9A-Fa-f]{1,8})$");
    static const std::regex dec("^ *([+-]?)([0-9]+)$");
    std::smatch m;
    if (std::regex_match(text, m, hex)) {
        unsigned long long v = std::stoull(m[3].str(), nullptr, 16);
        if (m[1] == "-")
            v = (0x100000000ULL - v) & 0xFFFFFFFFULL;
        return static_cast<long long>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    }
    if (std::regex_match(text, m, dec)) {
        std::string digits = m[2].str();
        const auto first = digits.find_first_not_of('0');
        digits = first == std::string::npos ? "0" : digits.substr(first);
        if (digits.size() > 10)
            return std::nullopt;
        long long v = std::stoll(digits);
        if (m[1] == "-")
            v = -v;
        if (v < INT32_MIN || v > INT32_MAX)
            return std::nullopt;
        return v;
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 40)
        return 0;
    // Latin-1 keeps one character per byte, so the reference sees the same text.
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const QString text = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    const std::optional<long long> expected = reference(bytes);
    try {
        const long long got = analyzer::portTextToNumber(text);
        require(expected.has_value() && *expected == got);
    } catch (const analyzer::LinkError &e) {
        require(!expected.has_value());
        require(e.fault().kind == analyzer::LinkFault::Kind::NotAnInteger);
        require(e.fault().typed == text);
    }
    return 0;
}
