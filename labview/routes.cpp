#include "labview/routes.h"

#include "reading/decimal.h"

#include <QByteArray>
#include <cmath>

namespace labview {

namespace {

struct Entry {
    std::string_view path;
    Page page;
    bool post;
};

constexpr Entry kEntries[] = {
    {"/", Page::Cells, false},
    {"/cell", Page::Cell, false},
    {"/packs", Page::Packs, false},
    {"/static/lab.css", Page::Style, false},
    {"/static/lab.js", Page::Script, false},
    {"/static/icon.svg", Page::Icon, false},
    {"/api/cells", Page::CellsData, false},
    {"/api/cell", Page::CellData, false},
    {"/api/packs", Page::PacksData, false},
    {"/events", Page::Events, false},
    {"/api/summary", Page::SummaryData, false},
    {"/api/proposal", Page::ProposalData, false},
    {"/download/report", Page::ReportFile, false},
    {"/download/labels", Page::LabelsFile, false},
    {"/api/retire", Page::Retire, true},
    {"/api/restore", Page::Restore, true},
    {"/api/replace", Page::Replace, true},
};

// A query component decoded, or nullopt when it is not UTF-8 or too long.
std::optional<QString> decoded(std::string_view raw)
{
    QByteArray bytes(raw.data(), qsizetype(raw.size()));
    bytes.replace('+', ' ');
    bytes = QByteArray::fromPercentEncoding(bytes);
    if (bytes.size() > kMaxParamBytes)
        return std::nullopt;
    QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes)
        return std::nullopt;
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return std::nullopt;
    return text;
}

std::optional<Params> parseQuery(std::string_view query)
{
    Params params;
    int fields = 0;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view field = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (field.empty())
            continue;
        if (++fields > kMaxParams)
            return std::nullopt;
        const std::size_t eq = field.find('=');
        const auto key = decoded(field.substr(0, eq));
        const auto value =
            decoded(eq == std::string_view::npos ? std::string_view() : field.substr(eq + 1));
        if (!key || !value || key->isEmpty())
            return std::nullopt;
        if (param(params, *key).isNull())
            params.emplace_back(*key, *value);
    }
    return params;
}

// A decimal a person typed, within [0, max]; empty is "no limit".
std::optional<std::optional<double>> limit(const QString &text, double max)
{
    if (text.isEmpty())
        return std::optional<double>();
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < 0 || v > max)
        return std::nullopt;
    return std::optional<double>(v);
}

// Volts a person typed, as microvolts within the voltage rules' range; empty is "no limit".
std::optional<std::optional<std::int64_t>> volts(const QString &text)
{
    using analysis::kVoltageRuleRange;
    if (text.isEmpty())
        return std::optional<std::int64_t>();
    const auto units = reading::decimalUnits(text, kVoltageRuleRange.places);
    if (!units || *units < kVoltageRuleRange.min || *units > kVoltageRuleRange.max)
        return std::nullopt;
    return std::optional<std::int64_t>(*units);
}

} // namespace

QString param(const Params &params, const QString &key)
{
    for (const auto &[k, v] : params)
        if (k == key)
            return v;
    return QString();
}

Target route(std::string_view method, std::string_view target)
{
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const Entry *found = nullptr;
    for (const Entry &e : kEntries)
        if (e.path == path)
            found = &e;
    if (!found)
        return {Page::NotFound, {}};
    const bool get = method == "GET" || method == "HEAD";
    if (found->post ? method != "POST" : !get)
        return {Page::WrongMethod, {}};
    auto params = parseQuery(question == std::string_view::npos ? std::string_view()
                                                                : target.substr(question + 1));
    if (!params)
        return {Page::BadQuery, {}};
    return {found->page, std::move(*params)};
}

std::variant<CellQuery, BadParam> parseCellQuery(const Params &params)
{
    CellQuery q;
    static const std::pair<const char *, Column> columns[] = {
        {"label", Column::Label},
        {"resistance", Column::Resistance},
        {"voltage", Column::Voltage},
        {"capacity", Column::Capacity},
        {"selfdischarge", Column::SelfDischarge},
        {"measurements", Column::Measurements},
        {"latest", Column::Latest},
        {"pack", Column::Pack},
    };
    for (const auto &p : params) {
        const QString &key = p.first;
        const QString &value = p.second;
        const auto bad = [&] { return BadParam{key, value}; };
        if (key == u"sort") {
            QString name = value;
            q.descending = name.startsWith(u'-');
            if (q.descending)
                name.remove(0, 1);
            bool known = false;
            for (const auto &[n, c] : columns)
                if (name == QLatin1String(n))
                    q.sort = c, known = true;
            if (!known)
                return bad();
        } else if (key == u"verdict") {
            if (value == u"pass")
                q.verdict = Verdict::Pass;
            else if (value == u"fail")
                q.verdict = Verdict::Fail;
            else if (!value.isEmpty())
                return bad();
        } else if (key == u"status") {
            if (value == u"stock")
                q.status = Status::InStock;
            else if (value == u"pack")
                q.status = Status::InPack;
            else if (value == u"retired")
                q.status = Status::Retired;
            else if (!value.isEmpty())
                return bad();
        } else if (key == u"pack") {
            q.pack = value;
        } else if (key == u"label") {
            q.label = value;
        } else if (key == u"page" || key == u"size") {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < (key == u"page" ? 0 : 1) || (key == u"size" && n > kMaxPageSize))
                return bad();
            (key == u"page" ? q.page : q.pageSize) = n;
        } else if (key == u"mohm") {
            const auto v = limit(value, 1e6);
            if (!v)
                return bad();
            if (*v)
                q.rules.maxMicroohms = std::llround(**v * 1000);
        } else if (key == u"sd") {
            const auto v = limit(value, 1e6);
            if (!v)
                return bad();
            q.rules.maxSelfDischargeMvPerDay = *v;
        } else if (key == u"mah") {
            const auto v = limit(value, 1e7);
            if (!v)
                return bad();
            if (*v)
                q.rules.minCapacityMicroampHours = std::llround(**v * 1000);
        } else if (key == u"vmin" || key == u"vmax") {
            // Volts as typed, read exactly, within the range every front end takes.
            const auto v = volts(value);
            if (!v)
                return bad();
            (key == u"vmin" ? q.rules.minMicrovolts : q.rules.maxMicrovolts) = *v;
        } else if (key == u"days") {
            const auto v = limit(value, 3650);
            if (!v)
                return bad();
            if (*v)
                q.rules.minDays = **v;
        }
        // Other keys (the language, the token) belong to the page, not the table.
    }
    return q;
}

report::Language language(const Params &params, std::string_view acceptLanguage)
{
    const QString chosen = param(params, QStringLiteral("lang"));
    if (chosen == u"zh")
        return report::Language::Chinese;
    if (chosen == u"en")
        return report::Language::English;
    while (!acceptLanguage.empty() && acceptLanguage.front() == ' ')
        acceptLanguage.remove_prefix(1);
    return acceptLanguage.substr(0, 2) == "zh" ? report::Language::Chinese
                                               : report::Language::English;
}

} // namespace labview
