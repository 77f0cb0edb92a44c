#include "link/port_text.h"

#include "link/errors.h"

namespace analyzer {

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

std::int32_t portTextToNumber(const QString &text)
{
    auto fail = [&text] {
        LinkFault fault{LinkFault::Kind::NotAnInteger};
        fault.typed = text;
        return LinkError(fault);
    };

    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        throw fail();

    if (hex) {
        if (n - i > 8)
            throw fail();
        std::uint32_t value = 0;
        for (; i < n; ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0)
                throw fail();
            value = value << 4 | std::uint32_t(d);
        }
        // Eight hex digits fill all 32 bits; the sign bit counts as such.
        const std::uint32_t result = negative ? 0u - value : value;
        return static_cast<std::int32_t>(result);
    }

    std::int64_t value = 0;
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            throw fail();
        value = value * 10 + (u - u'0');
        if (value > std::int64_t(INT32_MAX) + 1)
            throw fail();
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        throw fail();
    return static_cast<std::int32_t>(value);
}

} // namespace analyzer
