#include "labview/access.h"
#include "labview/request_scan.h"

#include <QHostAddress>

#include <cctype>
#include <cmath>

namespace labview {

std::optional<ListenAddress> parseListenAddress(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':'))
        return std::nullopt;
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    if (!ok || port < 0 || port > 65535 || host.isEmpty())
        return std::nullopt;
    if (host != u"localhost" && QHostAddress(host).isNull())
        return std::nullopt;
    return ListenAddress{host, port};
}

bool isLoopback(const QString &host)
{
    return host == u"localhost" || QHostAddress(host).isLoopback();
}

std::string_view presentedToken(const Credentials &c)
{
    constexpr std::string_view bearer = "Bearer ";
    if (c.authorization.substr(0, bearer.size()) == bearer)
        return withoutBlanks(c.authorization.substr(bearer.size()));
    std::string_view rest = c.cookie;
    while (!rest.empty()) {
        const std::size_t semi = rest.find(';');
        const std::string_view pair = withoutBlanks(rest.substr(0, semi));
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == c.cookieName)
            return pair.substr(eq + 1);
    }
    return {};
}

std::string tokenCookieName(int port)
{
    return "lab_token_" + std::to_string(port);
}

double tokenBits(std::string_view token)
{
    int counts[256] = {};
    for (char ch : token) {
        const auto u = static_cast<unsigned char>(ch);
        // Only what a cookie and a header carry as it is.
        if (!(std::isalnum(u) || u == '-' || u == '_' || u == '.' || u == '~'))
            return 0;
        ++counts[u];
    }
    double perChar = 0;
    for (int n : counts)
        if (n > 0) {
            const double p = double(n) / double(token.size());
            perChar -= p * std::log2(p);
        }
    return perChar * double(token.size());
}

bool sameToken(std::string_view a, std::string_view b)
{
    if (a.size() != b.size() || a.empty())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool sameOrigin(const Credentials &c)
{
    if (!c.fetchSite.empty() && c.fetchSite != "same-origin")
        return false;
    if (c.contentType.substr(0, 16) != "application/json")
        return false;
    // A browser names the origin of every POST; only a page of this host may act.
    if (c.origin.empty() || c.host.empty())
        return false;
    for (std::string_view scheme : {"http://", "https://"})
        if (c.origin.substr(0, scheme.size()) == scheme && c.origin.substr(scheme.size()) == c.host)
            return true;
    return false;
}

bool hostAllowed(std::string_view host, const QString &listenHost, int port)
{
    const std::string portText = ":" + std::to_string(port);
    const std::string listening =
        listenHost.contains(u':') ? "[" + listenHost.toStdString() + "]" : listenHost.toStdString();
    for (std::string_view name : {std::string_view("127.0.0.1"), std::string_view("localhost"),
                                  std::string_view("[::1]"), std::string_view(listening)}) {
        if (host == name)
            return true;
        if (host.substr(0, name.size()) == name && host.substr(name.size()) == portText)
            return true;
    }
    return false;
}

} // namespace labview
