// The lab view's routing and parameters on arbitrary request targets: a target names a page
// of the fixed table exactly or nothing, decoded parameters stay within their bounds, and a
// table query either reads or names the parameter it refused. The rest of the input goes
// through the header readers, the listen address parser and the connections' request scan,
// which must hold their own: a whole request is whole again on its own bytes, and a refusal
// is one of the few answers the reader gives.
#include "labview/access.h"
#include "labview/request_scan.h"
#include "labview/routes.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const char *const methods[] = {"GET", "HEAD", "POST", "PUT"};
    const char *method = methods[data[0] % 4];
    std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::size_t newline = rest.find('\n');
    const std::string_view target = rest.substr(0, newline);
    const std::string_view other =
        newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);

    const labview::Target t = labview::route(method, target);
    const std::string_view path = target.substr(0, target.find('?'));
    using labview::Page;
    if (t.page != Page::NotFound) {
        require(path.find("..") == std::string_view::npos
                && path.find('%') == std::string_view::npos);
        require(path.size() >= 1 && path.front() == '/');
    }
    require(int(t.params.size()) <= labview::kMaxParams);
    for (const auto &[key, value] : t.params) {
        require(!key.isEmpty());
        require(value.toUtf8().size() <= labview::kMaxParamBytes);
        for (QChar c : key + value)
            require(c.unicode() >= 0x20 && c.unicode() != 0x7F);
        require(labview::param(t.params, key).isNull() == false);
    }
    const auto query = labview::parseCellQuery(t.params);
    if (const auto *q = std::get_if<labview::CellQuery>(&query)) {
        require(q->page >= 0 && q->pageSize >= 1 && q->pageSize <= labview::kMaxPageSize);
        require(!q->rules.maxMicroohms || *q->rules.maxMicroohms >= 0);
        require(!q->rules.maxSelfDischargeMvPerDay
                || (std::isfinite(*q->rules.maxSelfDischargeMvPerDay)
                    && *q->rules.maxSelfDischargeMvPerDay >= 0));
        require(std::isfinite(q->rules.minDays) && q->rules.minDays >= 0);
    } else {
        const auto &bad = std::get<labview::BadParam>(query);
        require(labview::param(t.params, bad.name) == bad.value);
    }
    labview::language(t.params, other);

    const labview::Credentials c{other, other, "127.0.0.1:80", other, {}, other};
    const std::string_view token = labview::presentedToken(c);
    require(token.empty()
            || (token.data() >= other.data()
                && token.data() + token.size() <= other.data() + other.size()));
    labview::sameOrigin(c);
    labview::hostAllowed(other, QStringLiteral("127.0.0.1"), 80);
    const QString text = QString::fromUtf8(other.data(), qsizetype(other.size()));
    if (const auto a = labview::parseListenAddress(text)) {
        require(a->port >= 0 && a->port <= 65535 && !a->host.isEmpty());
        const QString again = (a->host.contains(u':') ? u'[' + a->host + u']' : a->host) + u':'
            + QString::number(a->port);
        require(labview::parseListenAddress(again) == a);
    }
    const labview::RequestLimits small{64, 256, 8, 64};
    const labview::RequestScan scan = labview::scanRequest(other, small);
    using Outcome = labview::RequestScan::Outcome;
    if (scan.outcome == Outcome::Whole) {
        require(scan.length >= 4 && scan.length <= other.size());
        const labview::RequestScan again =
            labview::scanRequest(other.substr(0, scan.length), small);
        require(again.outcome == Outcome::Whole && again.length == scan.length);
    } else if (scan.outcome == Outcome::Refused) {
        require(scan.status == 400 || scan.status == 413 || scan.status == 414 || scan.status == 431
                || scan.status == 501);
    }
    require(labview::tokenBits(other) >= 0);
    return 0;
}
