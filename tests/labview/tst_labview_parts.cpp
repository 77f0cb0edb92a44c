// The lab view's pure parts: routing and parameters, access decisions, and the cells table's
// filters and order.
#include "labview/access.h"
#include "labview/register_worker.h"
#include "labview/request_scan.h"
#include "labview/routes.h"
#include "labview/views.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace labview;

namespace {

Params paramsOf(const QByteArray &query)
{
    return route("GET", ("/api/cells?" + query).toStdString()).params;
}

} // namespace

class LabviewParts : public QObject {
    Q_OBJECT

private slots:
    // A target names a page of the table exactly, or nothing; its query decoded and bounded.
    void routes()
    {
        struct Case {
            const char *method, *target;
            Page page;
            const char *label; // the decoded label parameter; null when absent
        };
        const QByteArray many = "/api/cells?" + QByteArray("k=1&").repeated(kMaxParams + 1);
        const QByteArray long_ = "/cell?label=" + QByteArray(kMaxParamBytes + 1, 'x');
        const QByteArray longLabel =
            "/api/cell?label=" + QByteArray(3'000, 'L'); // as registers take
        const Case cases[] = {
            {"GET", "/", Page::Cells, nullptr},
            {"HEAD", "/static/lab.css", Page::Style, nullptr},
            {"GET", "/cell?label=a+b", Page::Cell, "a b"},
            {"GET", "/cell?label=A%2B1", Page::Cell, "A+1"},
            {"GET", "/cell?label=%E7%94%B5", Page::Cell, "\u7535"},
            {"GET", "/api/cell?label=A&label=B", Page::CellData, "A"},
            {"GET", "/api/cell?&&label=A&", Page::CellData, "A"},
            {"GET", "/static/../etc/passwd", Page::NotFound, nullptr},
            {"GET", "/static/%2e%2e/lab.css", Page::NotFound, nullptr},
            {"GET", "//static/lab.js", Page::NotFound, nullptr},
            {"GET", "/static/lab.js/", Page::NotFound, nullptr},
            {"GET", "http://x/", Page::NotFound, nullptr},
            {"POST", "/", Page::WrongMethod, nullptr},
            {"GET", "/api/retire?label=A", Page::WrongMethod, nullptr},
            {"PUT", "/api/retire", Page::WrongMethod, nullptr},
            {"POST", "/api/restore", Page::Restore, nullptr},
            {"POST", "/api/replace", Page::Replace, nullptr},
            {"GET", "/api/replace?label=A", Page::WrongMethod, nullptr},
            {"GET", "/download/labels?label=A&pack=P", Page::LabelsFile, "A"},
            {"POST", "/download/report", Page::WrongMethod, nullptr},
            {"GET", "/cell?label=%FF", Page::BadQuery, nullptr},
            {"GET", longLabel.constData(), Page::CellData, longLabel.constData() + 16},
            {"GET", "/cell?label=a%0Ab", Page::BadQuery, nullptr},
            {"GET", "/cell?=a", Page::BadQuery, nullptr},
            {"GET", long_.constData(), Page::BadQuery, nullptr},
            {"GET", many.constData(), Page::BadQuery, nullptr},
        };
        for (const Case &c : cases) {
            const Target t = route(c.method, c.target);
            QVERIFY2(t.page == c.page, c.target);
            QVERIFY2(param(t.params, "label") == (c.label ? QString::fromUtf8(c.label) : QString()),
                     c.target);
        }
    }

    // Each query read as the fields it sets, or refused naming the parameter.
    void cellQueries()
    {
        const std::pair<const char *, const char *> cases[] = {
            {"", "0 asc 0x100 -/-/-/7"},
            {"sort=-resistance", "1 desc 0x100 -/-/-/7"},
            {"mohm=60.5&sd=1.25&mah=2000.5&days=3", "0 asc 0x100 60500/1.25/2000500/3"},
            {"mohm=&verdict=&status=", "0 asc 0x100 -/-/-/7"},
            {"page=3&size=500", "0 asc 3x500 -/-/-/7"},
            {"sort=colour", "bad sort=colour"},
            {"size=501", "bad size=501"},
            {"size=0", "bad size=0"},
            {"page=-1", "bad page=-1"},
            {"mohm=-1", "bad mohm=-1"},
            {"sd=nan", "bad sd=nan"},
            {"mah=inf", "bad mah=inf"},
            {"verdict=maybe", "bad verdict=maybe"},
            {"status=lost", "bad status=lost"},
            {"vmin=100.000001", "bad vmin=100.000001"},
            {"vmax=4.1234567", "bad vmax=4.1234567"},
            {"vmax=-1", "bad vmax=-1"},
        };
        const auto opt = [](const auto &v) {
            return v ? QString::number(*v) : QStringLiteral("-");
        };
        for (const auto &[query, expected] : cases) {
            const auto parsed = parseCellQuery(paramsOf(query));
            QString got;
            if (const BadParam *bad = std::get_if<BadParam>(&parsed)) {
                got = QStringLiteral("bad %1=%2").arg(bad->name, bad->value);
            } else {
                const CellQuery &q = std::get<CellQuery>(parsed);
                got = QStringLiteral("%1 %2 %3x%4 %5/%6/%7/%8")
                          .arg(int(q.sort))
                          .arg(q.descending ? "desc" : "asc")
                          .arg(q.page)
                          .arg(q.pageSize)
                          .arg(opt(q.rules.maxMicroohms), opt(q.rules.maxSelfDischargeMvPerDay),
                               opt(q.rules.minCapacityMicroampHours))
                          .arg(q.rules.minDays);
            }
            QCOMPARE(got, QString::fromLatin1(expected));
        }
    }

    void listenAddresses()
    {
        struct Case {
            const char *text, *host; // host empty: refused
            int port;
            bool loopback;
        };
        const Case cases[] = {
            {"127.0.0.1:8080", "127.0.0.1", 8080, true},
            {"0.0.0.0:80", "0.0.0.0", 80, false},
            {"[::1]:9000", "::1", 9000, true},
            {"localhost:0", "localhost", 0, true},
            {"192.168.1.20:8080", "192.168.1.20", 8080, false},
            {"::1:9000", "", 0, false},
            {"127.0.0.1", "", 0, false},
            {"127.0.0.1:65536", "", 0, false},
            {"example.org:80", "", 0, false},
        };
        for (const Case &c : cases) {
            const auto a = parseListenAddress(c.text);
            QVERIFY2(a.has_value() == (*c.host != 0), c.text);
            if (a)
                QVERIFY2(a->host == c.host && a->port == c.port
                             && isLoopback(a->host) == c.loopback,
                         c.text);
        }
    }

    // Who is let in: the token from a cookie or a bearer header, an action only from a page
    // of this host, and on loopback only the loopback names of the host.
    void access()
    {
        struct Case {
            const char *cookie, *authorization, *origin, *site, *type, *token;
            bool sameOrigin;
        };
        const char *json = "application/json";
        const Case cases[] = {
            {"a=1; lab_token=T1; b=2", "", "http://h:1", "same-origin", json, "T1", true},
            {"", "Bearer T2", "http://h:1", "", json, "T2", true},
            {"xlab_token=T", "", "http://h:1", "", json, "", true},
            {"", "", "http://evil:1", "", json, "", false},
            {"", "", "http://h:1.evil", "", json, "", false},
            {"", "", "", "", json, "", false},
            {"", "", "http://h:1", "cross-site", json, "", false},
            {"", "", "http://h:1", "", "text/plain", "", false},
        };
        for (const Case &c : cases) {
            const Credentials cr{c.cookie, c.authorization, "h:1", c.origin, c.site, c.type};
            QCOMPARE(QByteArray(presentedToken(cr).data(), qsizetype(presentedToken(cr).size())),
                     QByteArray(c.token));
            QCOMPARE(sameOrigin(cr), c.sameOrigin);
        }
        QVERIFY(sameToken("abc", "abc") && !sameToken("abc", "abd") && !sameToken("abc", "abcd"));
        QVERIFY(!sameToken("", "")); // no token is never a match
        QVERIFY(hostAllowed("127.0.0.1:8080", "127.0.0.1", 8080));
        QVERIFY(hostAllowed("localhost", "127.0.0.1", 8080));
        QVERIFY(hostAllowed("[::1]:8080", "::1", 8080));
        QVERIFY(hostAllowed("127.0.0.2:8080", "127.0.0.2", 8080));
        QVERIFY(!hostAllowed("localhost:9999", "127.0.0.1", 8080));
        QVERIFY(!hostAllowed("attacker.example:8080", "127.0.0.1", 8080));
        QVERIFY(!hostAllowed("localhost.attacker.example", "127.0.0.1", 8080));
    }

    // The table's filters and order over a register's summaries, cells without a value last
    // whichever way the column is sorted.
    void cellsTable()
    {
        CellsSnapshot s;
        const auto cell = [&](const char *label, std::int64_t microohms,
                              std::optional<std::int64_t> capacity) {
            cellregister::CellSummary c;
            c.label = QString::fromLatin1(label);
            c.microohms = microohms;
            c.microvolts = 4'100'000;
            c.capacityMicroampHours = capacity;
            c.measurements = 1;
            c.latest = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
            s.cells.push_back(c);
            return &s.cells.back();
        };
        cell("A1", 40'000, 2'000'000);
        cell("A2", 70'000, 2'500'000)->pack = QStringLiteral("P");
        cell("B1", 30'000, std::nullopt)->retired = QStringLiteral("swollen");
        cell("B2", 50'000, std::nullopt)->microvolts = 1'000'000;
        struct Case {
            const char *query, *labels;
            int matching;
        };
        const Case cases[] = {
            {"", "A1 A2 B1 B2", 4},
            {"sort=-label", "B2 B1 A2 A1", 4},
            {"sort=resistance", "B1 A1 B2 A2", 4},
            {"sort=capacity", "A1 A2 B1 B2", 4},
            {"sort=-capacity", "A2 A1 B1 B2", 4},
            {"label=b", "B1 B2", 2},
            {"mohm=60&verdict=fail", "A2", 1},
            {"mah=1000&verdict=pass", "A1 A2", 2}, // an unknown capacity fails
            {"status=stock", "A1 B2", 2},
            {"status=retired", "B1", 1},
            // A retired cell is neither a pass nor a failure.
            {"verdict=pass", "A1 A2 B2", 3},
            {"verdict=fail", "", 0},
            {"pack=P", "A2", 1},
            {"size=3&page=1", "B2", 4},
            {"size=3&page=9", "", 4},
            {"vmin=3&verdict=fail", "B2", 1},
            // On the limit passes; the retired B1 is neither a pass nor a failure.
            {"vmin=3&vmax=4.1&verdict=pass", "A1 A2", 2},
            {"vmax=4.099999&verdict=fail", "A1 A2", 2},
        };
        for (const Case &c : cases) {
            const auto q = std::get<CellQuery>(parseCellQuery(paramsOf(c.query)));
            const QJsonObject out =
                QJsonDocument::fromJson(cellsJson(s, q, report::Language::English)).object();
            QStringList got;
            for (const QJsonValue &row : out.value("rows").toArray())
                got << row.toObject().value("label").toString();
            QVERIFY2(got.join(u' ') == QLatin1String(c.labels), c.query);
            QVERIFY2(out.value("matching").toInt() == c.matching, c.query);
        }
    }
    // What a connection has sent: a whole request and its length, more to wait for, or a
    // refusal as soon as a bound is passed, whatever the transfer coding.
    void requestScan()
    {
        using O = RequestScan::Outcome;
        const RequestLimits small{64, 128, 3, 10};
        const std::string get = "GET / HTTP/1.1\r\nHost: h\r\n";
        struct Case {
            const char *name;
            std::string bytes;
            O outcome;
            int statusOrLength;
        };
        const Case cases[] = {
            {"whole", get + "\r\n", O::Whole, int(get.size() + 2)},
            {"pipelined", get + "\r\n" + get, O::Whole, int(get.size() + 2)},
            {"head unfinished", get, O::NeedMore, 0},
            {"body counted", "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", O::Whole, 41},
            {"body to come", "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nab", O::NeedMore, 0},
            {"body too long", "POST / HTTP/1.1\r\nContent-Length: 11\r\n\r\n", O::Refused, 413},
            {"chunked whole",
             "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", O::Whole,
             60},
            {"chunked to come", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nab",
             O::NeedMore, 0},
            {"chunks too long together",
             "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n6\r\nabcdef\r\n6\r\n",
             O::Refused, 413},
            {"chunk size unreadable", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
             O::Refused, 400},
            {"other coding", "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", O::Refused, 501},
            {"length and coding",
             "POST / HTTP/1.1\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n",
             O::Refused, 400},
            {"two lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
             O::Refused, 400},
            {"two hosts", get + "host: g\r\n\r\n", O::Refused, 400},
            {"too many headers", get + "A: 1\r\nB: 2\r\nC: 3\r\n", O::Refused, 431},
            {"head too long, unfinished",
             get + "A: " + std::string(60, 'a') + "\r\nB: " + std::string(50, 'b'), O::Refused,
             431},
            {"line too long, unfinished", get + "A: " + std::string(70, 'a'), O::Refused, 400},
            {"request line too long", "GET /" + std::string(70, 'a'), O::Refused, 414},
            {"not a request", std::string("\x01\x02", 2), O::Refused, 400},
        };
        for (const Case &c : cases) {
            const RequestScan got = scanRequest(c.bytes, small);
            QVERIFY2(got.outcome == c.outcome, c.name);
            if (c.outcome == O::Whole)
                QVERIFY2(int(got.length) == c.statusOrLength, c.name);
            if (c.outcome == O::Refused)
                QVERIFY2(got.status == c.statusOrLength, c.name);
        }
    }

    // A token file is trusted only with at least 128 bits of random-looking text; the waits
    // between reopening a register grow to their bound.
    void tokenStrengthAndBackoff()
    {
        QVERIFY(tokenBits(std::string(40, 'a')) < kMinTokenBits);
        QVERIFY(tokenBits("0123456789abcdef") < kMinTokenBits); // too short
        QVERIFY(tokenBits("4f1c9a02b7e35d86c0a1f2e4b6d8903c7e5a1b2c3d4f6e8a9b0c1d2e3f4a5b6c")
                >= kMinTokenBits);
        QCOMPARE(tokenBits("4f1c9a02b7e35d86c0a1f2e4b6d8903c 7e5a1b2c3d4f6e8a9b0c1d2e3f4a5b6c"),
                 0.0);
        const Backoff b;
        QCOMPARE(b.after(1), b.first);
        QCOMPARE(b.after(2), 2 * b.first);
        QCOMPARE(b.after(50), b.longest);
    }
};

QTEST_GUILESS_MAIN(LabviewParts)
#include "tst_labview_parts.moc"
