#include "labview/serve.h"

#include "analysis/errors.h"
#include "cellregister/cell_life.h"
#include "cellregister/cell_summary.h"
#include "cellregister/errors.h"
#include "labview/access.h"
#include "labview/client_stream.h"
#include "labview/connections.h"
#include "labview/errors.h"
#include "labview/pages.h"
#include "labview/register_worker.h"
#include "labview/views.h"
#include "report/html_report.h"
#include "report/labels.h"
#include "report/register/register_batch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace labview {

namespace {

using namespace std::chrono_literals;

// Bounds that keep a crowd of clients, slow or hostile, from holding more than this much:
// every request is read whole by one thread within the connections' limits before a worker
// sees it; pages and data have a pool of workers, the heavy downloads a small one, and the
// live streams, which hold a worker each for as long as they live, one of their own.
constexpr LaneSize kPageWorkers{32, 256};
constexpr LaneSize kHeavyWorkers{2, 6};
constexpr int kMaxStreams = 64;
constexpr LaneSize kStreamWorkers{kMaxStreams, 0};
constexpr std::size_t kMaxBody = 16 * 1024;
// A stream ends after this long and the browser reconnects, so that none lives forever.
constexpr auto kStreamLifetime = 10min;
constexpr auto kPoll = 250ms;
// A sheet of labels holds a worker and its pages in memory while it is drawn.
constexpr std::size_t kMaxLabels = 2'000;

const char kPolicy[] = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                       "connect-src 'self'; base-uri 'none'; form-action 'self'; "
                       "frame-ancestors 'none'";
const std::pair<const char *, const char *> kDefaultHeaders[] = {
    {"Content-Security-Policy", kPolicy},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
    {"X-Frame-Options", "DENY"},
    {"Cross-Origin-Opener-Policy", "same-origin"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Cache-Control", "no-store"},
};

// The library's parser and router, fed with requests that the connections have read whole.
class Http : public httplib::Server {
public:
    using httplib::Server::process_request;
    socket_t listening() const { return svr_sock_; }
    // Ends the live streams' loops, which ask the library whether it is shutting down.
    void forget() { svr_sock_ = INVALID_SOCKET; }
};

// Which workers serve a request, from its request line alone.
Lane laneOf(std::string_view line)
{
    const std::size_t space = line.find(' ');
    const std::string_view target = space == std::string_view::npos ? line : line.substr(space + 1);
    if (target.substr(0, 10) == "/download/")
        return Lane::Heavy;
    if (target.substr(0, 7) == "/events"
        && (target.size() == 7 || target[7] == '?' || target[7] == ' '))
        return Lane::Stream;
    return Lane::Pages;
}

QByteArray errorJson(const QString &message)
{
    return QJsonDocument(QJsonObject{{"error", message}}).toJson(QJsonDocument::Compact);
}

void setJson(httplib::Response &res, int status, const QByteArray &json)
{
    res.status = status;
    res.set_content(json.constData(), std::size_t(json.size()), "application/json; charset=utf-8");
}

void setError(httplib::Response &res, int status, const QString &message)
{
    setJson(res, status, errorJson(message));
}

const char *statusText(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    default: return "Service Unavailable";
    }
}

// A whole answer for a request refused before it reached a worker, with the headers every
// answer carries, and the connection closed after it.
std::string refusal(int status, std::string_view reason)
{
    const QByteArray json =
        errorJson(QStringLiteral("The request is refused: %1")
                      .arg(QString::fromUtf8(reason.data(), qsizetype(reason.size()))));
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + statusText(status)
        + "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: "
        + std::to_string(json.size()) + "\r\nConnection: close\r\n";
    if (status == 503)
        text += "Retry-After: 2\r\n";
    for (const auto &[name, value] : kDefaultHeaders)
        text += std::string(name) + ": " + value + "\r\n";
    return text + "\r\n" + json.toStdString();
}

// The token kept in file, made when there is none: 32 random bytes in hexadecimal, in a
// file only its owner may read. A file others could read is refused rather than trusted.
QString tokenFrom(const QString &file, bool *made)
{
    *made = false;
    const QByteArray path = QFile::encodeName(file);
    struct stat st { };
    if (::stat(path.constData(), &st) == 0) {
        if (st.st_mode & (S_IRWXG | S_IRWXO))
            throw EServeFault(QStringLiteral("Others may read the access token file %1; make it "
                                             "readable by its owner alone (chmod 600) or remove it")
                                  .arg(file));
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            throw EServeFault(QStringLiteral("Cannot read the access token file %1: %2")
                                  .arg(file, f.errorString()));
        const QString token = QString::fromLatin1(f.readAll()).trimmed();
        if (tokenBits(token.toStdString()) < kMinTokenBits)
            throw EServeFault(QStringLiteral("The access token file %1 holds no token that is "
                                             "hard enough to guess (at least %2 random bits in "
                                             "letters and digits); remove it and a new one is "
                                             "made")
                                  .arg(file)
                                  .arg(kMinTokenBits));
        return token;
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EServeFault(QStringLiteral("Cannot make the access token file %1: %2")
                              .arg(file, QString::fromLocal8Bit(strerror(errno))));
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    QString token;
    for (quint32 w : words)
        token += QStringLiteral("%1").arg(w, 8, 16, QLatin1Char('0'));
    const QByteArray bytes = token.toLatin1() + '\n';
    const bool written = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    ::close(fd);
    if (!written) {
        QFile::remove(file);
        throw EServeFault(QStringLiteral("Cannot write the access token file %1").arg(file));
    }
    *made = true;
    return token;
}

// The register's own messages name its file, or its server's user and socket: not for
// anyone who can reach the pages. Said the same whatever went wrong.
void registerDown(httplib::Response &res)
{
    res.set_header("Retry-After", "2");
    setError(res, 503,
             QStringLiteral("The register cannot be read just now (damaged, moved, locked, or "
                            "its server away); this server tries again by itself"));
}

std::string header(const httplib::Request &req, const char *name)
{
    return req.get_header_value(name);
}

} // namespace

QString defaultTokenFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/battery-analyzer/lab-token");
}

class Server::Impl {
public:
    explicit Impl(const ServeOptions &o);
    ~Impl();

    ServeOptions options;
    Started started;
    std::string token; // empty when none is kept
    Http http;
    std::unique_ptr<Connections> connections;
    std::atomic<bool> stopping{false};

    // Counts the register's changes as seen by the watcher.
    std::atomic<quint64> generation{1};
    std::mutex changeMutex;
    std::condition_variable changed;

    std::mutex cacheMutex;
    std::shared_ptr<const CellsSnapshot> cache;
    quint64 cacheGeneration = 0;
    std::atomic<int> streams{0};

    // Pages read the register through one connection on a thread of its own, which also
    // polls for changes; actions write through another, so that a read never waits behind a
    // write that waits for another program's lock. A connection belongs to the thread that
    // opened it.
    std::unique_ptr<RegisterWorker> reader, writer;
    template <typename F>
    auto onRegister(F f) -> decltype(f(std::declval<cellregister::CellRegister &>()))
    {
        return reader->run(std::move(f));
    }
    void changedNow();

    std::shared_ptr<const CellsSnapshot> cells();
    httplib::Server::HandlerResponse handle(const httplib::Request &req, httplib::Response &res);
    bool admitted(const httplib::Request &req, httplib::Response &res, const Target &t);
    void answer(const httplib::Request &req, httplib::Response &res, const Target &t);
    void act(const httplib::Request &req, httplib::Response &res);
    void download(httplib::Response &res, const Target &t, const CellQuery &q,
                  report::Language lang);
    void stream(httplib::Response &res);
};

void Server::Impl::changedNow()
{
    std::lock_guard lock(changeMutex);
    ++generation;
    changed.notify_all();
}

std::shared_ptr<const CellsSnapshot> Server::Impl::cells()
{
    std::lock_guard lock(cacheMutex);
    const quint64 g = generation.load();
    if (!cache || cacheGeneration != g) {
        auto s = std::make_shared<CellsSnapshot>();
        s->cells = onRegister(
            [](cellregister::CellRegister &r) { return cellregister::summarizeCells(r); });
        cache = std::move(s);
        cacheGeneration = g;
    }
    return cache;
}

Server::Impl::Impl(const ServeOptions &o) : options(o)
{
    const bool loopback = isLoopback(o.host);
    started.tokenRequired = !loopback;
    if (!loopback || o.allowActions) {
        started.tokenFile = o.tokenFile.isEmpty() ? defaultTokenFile() : o.tokenFile;
        bool made = false;
        const QString t = tokenFrom(started.tokenFile, &made);
        token = t.toStdString();
        if (made)
            started.token = t;
    }
    // Refuses a register that is not there before anything listens.
    RegisterWorker::Options readOptions{o.location, 2'000, [this] { changedNow(); }, {}, kPoll};
    reader = std::make_unique<RegisterWorker>(readOptions);
    if (o.allowActions)
        writer = std::make_unique<RegisterWorker>(
            RegisterWorker::Options{o.location, o.lockWaitMilliseconds, {}, {}, kPoll});

    http.set_payload_max_length(kMaxBody);
    // The library would also share the port with any other socket of the same user
    // (SO_REUSEPORT), so that a second server would take half of the first one's clients;
    // a port in use is refused instead.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http.set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(ConnectionLimits{}.idle).count());
    httplib::Headers defaults;
    for (const auto &[name, value] : kDefaultHeaders)
        defaults.emplace(name, value);
    http.set_default_headers(defaults);
    http.set_pre_routing_handler(
        [this](const httplib::Request &req, httplib::Response &res) { return handle(req, res); });
    const auto action = [this](const httplib::Request &req, httplib::Response &res) {
        act(req, res);
    };
    http.Post("/api/retire", action);
    http.Post("/api/restore", action);
    http.Post("/api/replace", action);
    http.set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
            setError(res, 500, QStringLiteral("internal error"));
        });

    const std::string host = o.host.toStdString();
    int port = o.port;
    if (port == 0)
        port = http.bind_to_any_port(host);
    else if (!http.bind_to_port(host, port))
        port = -1;
    if (port <= 0) {
        const QString reason = QString::fromLocal8Bit(strerror(errno));
        throw EServeFault(
            QStringLiteral("Cannot listen on %1:%2: %3").arg(o.host).arg(o.port).arg(reason));
    }
    started.port = port;
    const QString shownHost = o.host.contains(u':') ? u'[' + o.host + u']' : o.host;
    started.url = QStringLiteral("http://%1:%2/").arg(shownHost).arg(port);
    if (!started.token.isEmpty())
        started.url += QStringLiteral("?token=") + started.token;

    ConnectionLimits limits;
    limits.request.body = kMaxBody;
    Connections::Handlers handlers;
    handlers.lane = laneOf;
    handlers.serve = [this](ClientStream &stream, bool closeConnection) {
        bool closed = false;
        const bool written = http.process_request(stream, closeConnection, closed, nullptr);
        return written && !closed;
    };
    handlers.refusal = [](int status, std::string_view reason) { return refusal(status, reason); };
    connections = std::make_unique<Connections>(http.listening(), limits, kPageWorkers,
                                                kHeavyWorkers, kStreamWorkers, handlers);
}

Server::Impl::~Impl()
{
    stopping = true;
    changed.notify_all();
    const socket_t listening = http.listening();
    http.forget();
    connections.reset();
    if (listening != INVALID_SOCKET)
        ::close(listening);
}

httplib::Server::HandlerResponse Server::Impl::handle(const httplib::Request &req,
                                                      httplib::Response &res)
{
    const Target t = route(req.method, req.target);
    if (!admitted(req, res, t))
        return httplib::Server::HandlerResponse::Handled;
    if (t.page == Page::Retire || t.page == Page::Restore || t.page == Page::Replace)
        return httplib::Server::HandlerResponse::Unhandled; // its body is read first
    try {
        answer(req, res, t);
    } catch (const EUnknownEntry &e) {
        setError(res, 404, e.message());
    } catch (const ENotEnoughCells &e) {
        setError(res, 409, e.message());
    } catch (const core::Error &) {
        registerDown(res);
    }
    return httplib::Server::HandlerResponse::Handled;
}

bool Server::Impl::admitted(const httplib::Request &req, httplib::Response &res, const Target &t)
{
    if (!started.tokenRequired && !hostAllowed(header(req, "Host"), options.host, started.port)) {
        setError(res, 421, QStringLiteral("This server answers only to its loopback address"));
        return false;
    }
    switch (t.page) {
    case Page::NotFound: setError(res, 404, QStringLiteral("No such page")); return false;
    case Page::WrongMethod:
        setError(res, 405, QStringLiteral("Method not allowed here"));
        return false;
    case Page::BadQuery:
        setError(res, 400, QStringLiteral("The query cannot be read"));
        return false;
    default: break;
    }
    // A page opened with the token in its address (as printed at the first start): the token
    // moves into a cookie that browsers send to this server alone, and the address loses it.
    // On loopback too, where the actions need it.
    const QString given = param(t.params, QStringLiteral("token"));
    if (req.method == "GET" && !given.isEmpty() && sameToken(given.toStdString(), token)) {
        QString location = QString::fromStdString(req.path);
        QString query;
        for (const auto &[k, v] : t.params)
            if (k != u"token")
                query += (query.isEmpty() ? u'?' : u'&')
                    + QString::fromLatin1(QUrl::toPercentEncoding(k)) + u'='
                    + QString::fromLatin1(QUrl::toPercentEncoding(v));
        res.status = 303;
        res.set_header("Location", (location + query).toStdString());
        res.set_header("Set-Cookie",
                       tokenCookieName(started.port) + "=" + token + "; Path=/; Max-Age="
                           + std::to_string(kTokenCookieSeconds) + "; HttpOnly; SameSite=Strict");
        return false;
    }
    if (!started.tokenRequired)
        return true;
    const std::string cookie = header(req, "Cookie");
    const std::string authorization = header(req, "Authorization");
    const std::string cookieName = tokenCookieName(started.port);
    if (sameToken(presentedToken({cookie, authorization, {}, {}, {}, {}, cookieName}), token))
        return true;
    setError(res, 401, QStringLiteral("This server needs its access token"));
    return false;
}

void Server::Impl::answer(const httplib::Request &req, httplib::Response &res, const Target &t)
{
    const report::Language lang = language(t.params, header(req, "Accept-Language"));
    const auto send = [&](const QByteArray &body, const char *type) {
        res.status = 200;
        res.set_content(body.constData(), std::size_t(body.size()), type);
    };
    switch (t.page) {
    case Page::Cells:
    case Page::Cell:
    case Page::Packs:
        send(pageHtml(t.page, lang, options.allowActions), "text/html; charset=utf-8");
        return;
    case Page::Style: send(styleSheet(), "text/css; charset=utf-8"); return;
    case Page::Script: send(script(), "text/javascript; charset=utf-8"); return;
    case Page::Icon: send(icon(), "image/svg+xml"); return;
    case Page::Events: stream(res); return;
    default: break;
    }
    const auto query = parseCellQuery(t.params);
    if (const BadParam *bad = std::get_if<BadParam>(&query)) {
        setError(
            res, 400,
            QStringLiteral("The parameter %1 cannot be \u201C%2\u201D").arg(bad->name, bad->value));
        return;
    }
    const CellQuery &q = std::get<CellQuery>(query);
    if (t.page == Page::CellsData) {
        setJson(res, 200, cellsJson(*cells(), q, lang));
    } else if (t.page == Page::CellData) {
        const QString label = param(t.params, QStringLiteral("label"));
        const QByteArray json = onRegister(
            [&](cellregister::CellRegister &r) { return cellJson(r, label, q.rules, lang); });
        if (json.isEmpty())
            setError(res, 404, QStringLiteral("No such cell"));
        else
            setJson(res, 200, json);
    } else if (t.page == Page::PacksData) {
        const auto now = cells();
        setJson(res, 200, onRegister([&](cellregister::CellRegister &r) {
                    return packsJson(r, *now, q.rules);
                }));
    } else if (t.page == Page::SummaryData) {
        send(summaryHtml(*cells(), q, lang), "text/html; charset=utf-8");
    } else if (t.page == Page::ProposalData) {
        const QString pack = param(t.params, QStringLiteral("pack"));
        const QString label = param(t.params, QStringLiteral("label"));
        setJson(res, 200, onRegister([&](cellregister::CellRegister &r) {
                    return proposalJson(r, pack, label, q.rules);
                }));
    } else if (t.page == Page::ReportFile || t.page == Page::LabelsFile) {
        download(res, t, q, lang);
    }
}

// The batch report and the labels as the tool makes them, saved rather than shown: the
// report's own policy would not survive being served under the pages' stricter one.
void Server::Impl::download(httplib::Response &res, const Target &t, const CellQuery &q,
                            report::Language lang)
{
    const bool labels = t.page == Page::LabelsFile;
    // Labels are drawn with the system's fonts, which only a GUI application has.
    if (labels && !qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        setError(res, 503, QStringLiteral("This server was started without fonts for labels"));
        return;
    }
    const QString pack = param(t.params, QStringLiteral("pack"));
    const report::Batch batch = onRegister([&](cellregister::CellRegister &r) {
        return report::registerBatch(r, {q.rules, std::nullopt, {}, pack}).batch;
    });
    if (batch.cells.empty()) {
        setError(res, 404, QStringLiteral("The register holds no cell"));
        return;
    }
    QString name = labels ? QStringLiteral("labels") : QStringLiteral("report");
    if (!pack.isEmpty()) {
        // The pack's name, as far as it is safe in a header and a file name.
        name += u'-';
        for (const QChar c : pack)
            name += c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'-') ? c : QChar(u'_');
    }
    QByteArray body;
    if (labels) {
        const auto texts = report::batchLabels(batch, report::kDefaultLabelFields);
        if (texts.size() > kMaxLabels) {
            setError(res, 413,
                     QStringLiteral("%1 labels at once are more than this server draws (%2); "
                                    "choose a pack, or use the labels command")
                         .arg(texts.size())
                         .arg(kMaxLabels));
            return;
        }
        static std::mutex drawing; // one painter on the fonts at a time
        std::lock_guard lock(drawing);
        body = report::labelsPdf(texts, report::LabelSize{});
    } else {
        body = report::reportHtml(batch, lang);
    }
    res.status = 200;
    res.set_header(
        "Content-Disposition",
        ("attachment; filename=\"" + name + (labels ? ".pdf" : ".html") + "\"").toStdString());
    res.set_content(body.constData(), std::size_t(body.size()),
                    labels ? "application/pdf" : "text/html; charset=utf-8");
}

void Server::Impl::act(const httplib::Request &req, httplib::Response &res)
{
    if (!options.allowActions) {
        setError(res, 403, QStringLiteral("Actions are not allowed on this server"));
        return;
    }
    const std::string cookie = header(req, "Cookie");
    const std::string authorization = header(req, "Authorization");
    const std::string host = header(req, "Host");
    const std::string origin = header(req, "Origin");
    const std::string site = header(req, "Sec-Fetch-Site");
    const std::string type = header(req, "Content-Type");
    const std::string cookieName = tokenCookieName(started.port);
    const Credentials c{cookie, authorization, host, origin, site, type, cookieName};
    if (!sameToken(presentedToken(c), token)) {
        setError(res, 401, QStringLiteral("Actions need the access token"));
        return;
    }
    if (!sameOrigin(c)) {
        setError(res, 403, QStringLiteral("Actions are taken only from this server's own pages"));
        return;
    }
    QJsonParseError error{};
    const QJsonObject body =
        QJsonDocument::fromJson(QByteArray::fromStdString(req.body), &error).object();
    const QString label = body.value("label").toString();
    if (error.error != QJsonParseError::NoError || label.isEmpty()) {
        setError(res, 400, QStringLiteral("An action needs a JSON body naming the cell's label"));
        return;
    }
    const QString pack = body.value("pack").toString();
    const QString spare = body.value("spare").toString();
    const bool replace = req.path == "/api/replace";
    if (replace && (pack.isEmpty() || spare.isEmpty())) {
        setError(res, 400,
                 QStringLiteral("A replacement needs the pack and the spare that was proposed"));
        return;
    }
    try {
        const bool retire = req.path == "/api/retire";
        const QString reason = body.value("reason").toString();
        writer->run([&](cellregister::CellRegister &r) {
            if (replace)
                applyReplacement(r, pack, label, spare, body.value("keep").toBool(),
                                 analysis::Rules{});
            else if (retire)
                cellregister::retireCell(r, label, reason);
            else
                cellregister::restoreCell(r, label);
            return 0;
        });
        // Told once, when the pages' own connection sees the write.
        try {
            reader->lookNow();
        } catch (const core::Error &) {
            changedNow();
        }
        setJson(res, 200,
                QJsonDocument(QJsonObject{{"label", label}}).toJson(QJsonDocument::Compact));
    } catch (const EUnknownEntry &e) {
        setError(res, 404, e.message());
    } catch (const ENotEnoughCells &e) {
        setError(res, 409, e.message());
    } catch (const EProposalChanged &e) {
        setError(res, 409, e.message());
    } catch (const EDuplicateEntry &e) {
        setError(res, 409, e.message());
    } catch (const core::Error &) {
        registerDown(res);
    }
}

void Server::Impl::stream(httplib::Response &res)
{
    if (++streams > kMaxStreams) {
        --streams;
        res.set_header("Retry-After", "5");
        setError(res, 503, QStringLiteral("Too many live pages"));
        return;
    }
    struct State {
        quint64 seen;
        std::chrono::steady_clock::time_point began, lastWrite;
        bool greeted = false;
    };
    const auto now = std::chrono::steady_clock::now();
    auto state = std::make_shared<State>(State{generation.load(), now, now});
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, state](std::size_t, httplib::DataSink &sink) {
            if (!state->greeted) {
                state->greeted = true;
                const std::string hello = "retry: 1000\n\n";
                return sink.write(hello.data(), hello.size());
            }
            {
                std::unique_lock lock(changeMutex);
                changed.wait_for(lock, 1s, [&] { return stopping || generation != state->seen; });
            }
            const auto now = std::chrono::steady_clock::now();
            if (stopping || now - state->began > kStreamLifetime) {
                sink.done();
                return true;
            }
            if (!sink.is_writable())
                return false;
            std::string text;
            if (generation != state->seen) {
                state->seen = generation;
                text = "event: change\ndata: " + std::to_string(state->seen) + "\n\n";
            } else if (now - state->lastWrite > 15s) {
                text = ": still here\n\n"; // finds a reader gone away
            } else {
                return true;
            }
            state->lastWrite = now;
            return sink.write(text.data(), text.size());
        },
        [this](bool) { --streams; });
}

Server::Server(const ServeOptions &options) : impl_(std::make_unique<Impl>(options))
{ }

Server::~Server() = default;

const Started &Server::started() const
{
    return impl_->started;
}

int serve(const ServeOptions &options)
{
    Server server(options);
    if (options.started)
        options.started(server.started());
    while (!options.stop || !options.stop())
        std::this_thread::sleep_for(100ms);
    return 0;
}

} // namespace labview
