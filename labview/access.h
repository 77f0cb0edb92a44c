#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

// Who may do what, decided from a request's headers alone.
namespace labview {

// An address to listen on, "HOST:PORT" or "[IPv6]:PORT".
struct ListenAddress {
    QString host;
    int port = 0;
    bool operator==(const ListenAddress &) const = default;
};
std::optional<ListenAddress> parseListenAddress(const QString &text);
bool isLoopback(const QString &host);

// What a request shows of itself.
struct Credentials {
    std::string_view cookie; // the Cookie header
    std::string_view authorization; // "Bearer TOKEN"
    std::string_view host; // the Host header
    std::string_view origin;
    std::string_view fetchSite; // Sec-Fetch-Site
    std::string_view contentType;
    std::string_view cookieName = "lab_token"; // tokenCookieName(port)
};

// The token a request carries in its cookie or its Authorization header, if any.
std::string_view presentedToken(const Credentials &c);
// Compares in time independent of where the two differ.
bool sameToken(std::string_view a, std::string_view b);
// Whether a browser sent the request from a page of this server rather than from another
// site: a form elsewhere can post neither a JSON body without asking first nor our Origin.
bool sameOrigin(const Credentials &c);
// On loopback only the names of the loopback host are answered, so that a page elsewhere
// cannot rename its own host to ours and read the register through the browser.
bool hostAllowed(std::string_view host, const QString &listenHost, int port);

// Browsers send a cookie to every port of its host: each server's has its port in its name,
// so that two servers on one host keep their tokens apart.
std::string tokenCookieName(int port);
// How long a browser keeps the token: the README promises it stays.
inline constexpr int kTokenCookieSeconds = 400 * 24 * 3600;

// The bits a token shows by its characters' spread (their Shannon entropy times its
// length): a token file must hold at least kMinTokenBits of random-looking text.
double tokenBits(std::string_view token);
inline constexpr double kMinTokenBits = 128;

} // namespace labview
