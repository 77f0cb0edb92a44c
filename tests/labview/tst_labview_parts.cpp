// The lab view's pure parts: routing and parameters, access decisions, and the cells table's
// filters and order.
#include "labview/access.h"
#include "labview/routes.h"
#include "labview/views.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace labview;

Q_DECLARE_METATYPE(labview::Page)

class LabviewParts : public QObject {
    Q_OBJECT

private slots:
    void routes_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<Page>("page");
        QTest::addColumn<QString>("label"); // the decoded label parameter, if any
        QTest::newRow("cells") << QByteArray("GET") << QByteArray("/") << Page::Cells << QString();
        QTest::newRow("head") << QByteArray("HEAD") << QByteArray("/static/lab.css") << Page::Style
                              << QString();
        QTest::newRow("plus is a space")
            << QByteArray("GET") << QByteArray("/cell?label=a+b") << Page::Cell << "a b";
        QTest::newRow("escaped plus")
            << QByteArray("GET") << QByteArray("/cell?label=A%2B1") << Page::Cell << "A+1";
        QTest::newRow("utf-8") << QByteArray("GET") << QByteArray("/cell?label=%E7%94%B5")
                               << Page::Cell << QString::fromUtf8("电");
        QTest::newRow("first of two")
            << QByteArray("GET") << QByteArray("/api/cell?label=A&label=B") << Page::CellData
            << "A";
        QTest::newRow("empty fields")
            << QByteArray("GET") << QByteArray("/api/cell?&&label=A&") << Page::CellData << "A";
        QTest::newRow("dot dot") << QByteArray("GET") << QByteArray("/static/../etc/passwd")
                                 << Page::NotFound << QString();
        QTest::newRow("escaped dots") << QByteArray("GET") << QByteArray("/static/%2e%2e/lab.css")
                                      << Page::NotFound << QString();
        QTest::newRow("double slash")
            << QByteArray("GET") << QByteArray("//static/lab.js") << Page::NotFound << QString();
        QTest::newRow("trailing slash")
            << QByteArray("GET") << QByteArray("/static/lab.js/") << Page::NotFound << QString();
        QTest::newRow("absolute form")
            << QByteArray("GET") << QByteArray("http://x/") << Page::NotFound << QString();
        QTest::newRow("post a page")
            << QByteArray("POST") << QByteArray("/") << Page::WrongMethod << QString();
        QTest::newRow("get an action") << QByteArray("GET") << QByteArray("/api/retire?label=A")
                                       << Page::WrongMethod << QString();
        QTest::newRow("put an action")
            << QByteArray("PUT") << QByteArray("/api/retire") << Page::WrongMethod << QString();
        QTest::newRow("action") << QByteArray("POST") << QByteArray("/api/restore") << Page::Restore
                                << QString();
        QTest::newRow("not utf-8")
            << QByteArray("GET") << QByteArray("/cell?label=%FF") << Page::BadQuery << QString();
        QTest::newRow("control") << QByteArray("GET") << QByteArray("/cell?label=a%0Ab")
                                 << Page::BadQuery << QString();
        QTest::newRow("no key") << QByteArray("GET") << QByteArray("/cell?=a") << Page::BadQuery
                                << QString();
        QTest::newRow("long value")
            << QByteArray("GET") << "/cell?label=" + QByteArray(kMaxParamBytes + 1, 'x')
            << Page::BadQuery << QString();
        QByteArray many = "/api/cells?";
        for (int i = 0; i <= kMaxParams; ++i)
            many += "k" + QByteArray::number(i) + "=1&";
        QTest::newRow("too many") << QByteArray("GET") << many << Page::BadQuery << QString();
    }
    void routes()
    {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(Page, page);
        QFETCH(QString, label);
        const Target t = route(method.toStdString(), target.toStdString());
        QCOMPARE(t.page, page);
        QCOMPARE(param(t.params, QStringLiteral("label")), label);
    }

    // Each query read as the fields it sets, or refused naming the parameter.
    void cellQueries_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");
        QTest::newRow("defaults") << ""
                                  << "sort 0 asc, page 0x100, rules -/-/-/7";
        QTest::newRow("descending") << "sort=-resistance"
                                    << "sort 1 desc, page 0x100, rules -/-/-/7";
        QTest::newRow("rules in people's units")
            << "mohm=60.5&sd=1.25&mah=2000.5&days=3"
            << "sort 0 asc, page 0x100, rules 60500/1.25/2000500/3";
        QTest::newRow("empty rule is none") << "mohm=&verdict=&status="
                                            << "sort 0 asc, page 0x100, rules -/-/-/7";
        QTest::newRow("paging") << "page=3&size=500"
                                << "sort 0 asc, page 3x500, rules -/-/-/7";
        QTest::newRow("unknown column") << "sort=colour"
                                        << "bad sort=colour";
        QTest::newRow("page too big") << "size=501"
                                      << "bad size=501";
        QTest::newRow("no page") << "size=0"
                                 << "bad size=0";
        QTest::newRow("negative page") << "page=-1"
                                       << "bad page=-1";
        QTest::newRow("negative limit") << "mohm=-1"
                                        << "bad mohm=-1";
        QTest::newRow("not a number") << "sd=nan"
                                      << "bad sd=nan";
        QTest::newRow("infinite") << "mah=inf"
                                  << "bad mah=inf";
        QTest::newRow("bad verdict") << "verdict=maybe"
                                     << "bad verdict=maybe";
        QTest::newRow("bad status") << "status=lost"
                                    << "bad status=lost";
    }
    void cellQueries()
    {
        QFETCH(QString, query);
        QFETCH(QString, expected);
        const auto parsed =
            parseCellQuery(route("GET", ("/api/cells?" + query).toStdString()).params);
        QString got;
        if (const BadParam *bad = std::get_if<BadParam>(&parsed)) {
            got = QStringLiteral("bad %1=%2").arg(bad->name, bad->value);
        } else {
            const CellQuery &q = std::get<CellQuery>(parsed);
            const auto opt = [](const auto &v) {
                return v ? QString::number(*v) : QStringLiteral("-");
            };
            got = QStringLiteral("sort %1 %2, page %3x%4, rules %5/%6/%7/%8")
                      .arg(int(q.sort))
                      .arg(q.descending ? "desc" : "asc")
                      .arg(q.page)
                      .arg(q.pageSize)
                      .arg(opt(q.rules.maxMicroohms), opt(q.rules.maxSelfDischargeMvPerDay),
                           opt(q.rules.minCapacityMicroampHours))
                      .arg(q.rules.minDays);
        }
        QCOMPARE(got, expected);
    }

    void listenAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("v4") << "127.0.0.1:8080"
                            << "127.0.0.1" << 8080 << true;
        QTest::newRow("any") << "0.0.0.0:80"
                             << "0.0.0.0" << 80 << false;
        QTest::newRow("v6") << "[::1]:9000"
                            << "::1" << 9000 << true;
        QTest::newRow("name") << "localhost:0"
                              << "localhost" << 0 << true;
        QTest::newRow("lan") << "192.168.1.20:8080"
                             << "192.168.1.20" << 8080 << false;
        QTest::newRow("bare v6") << "::1:9000"
                                 << "" << 0 << false;
        QTest::newRow("no port") << "127.0.0.1"
                                 << "" << 0 << false;
        QTest::newRow("port too big") << "127.0.0.1:65536"
                                      << "" << 0 << false;
        QTest::newRow("other name") << "example.org:80"
                                    << "" << 0 << false;
    }
    void listenAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, loopback);
        const auto a = parseListenAddress(text);
        QCOMPARE(a.has_value(), !host.isEmpty());
        if (a) {
            QCOMPARE(a->host, host);
            QCOMPARE(a->port, port);
            QCOMPARE(isLoopback(a->host), loopback);
        }
    }

    // Who is let in: the token from a cookie or a bearer header, an action only from a page
    // of this host, and on loopback only the loopback names of the host.
    void access_data()
    {
        QTest::addColumn<QByteArray>("cookie");
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<QByteArray>("origin");
        QTest::addColumn<QByteArray>("site");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<bool>("sameOrigin");
        const QByteArray json = "application/json";
        QTest::newRow("cookie among others")
            << QByteArray("a=1; lab_token=T1; b=2") << QByteArray() << QByteArray("http://h:1")
            << QByteArray("same-origin") << json << QByteArray("T1") << true;
        QTest::newRow("bearer") << QByteArray() << QByteArray("Bearer T2")
                                << QByteArray("http://h:1") << QByteArray() << json
                                << QByteArray("T2") << true;
        QTest::newRow("similar cookie name")
            << QByteArray("xlab_token=T") << QByteArray() << QByteArray("http://h:1")
            << QByteArray() << json << QByteArray() << true;
        QTest::newRow("other origin") << QByteArray() << QByteArray() << QByteArray("http://evil:1")
                                      << QByteArray() << json << QByteArray() << false;
        QTest::newRow("origin a prefix")
            << QByteArray() << QByteArray() << QByteArray("http://h:1.evil") << QByteArray() << json
            << QByteArray() << false;
        QTest::newRow("no origin") << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                                   << json << QByteArray() << false;
        QTest::newRow("cross-site fetch")
            << QByteArray() << QByteArray() << QByteArray("http://h:1") << QByteArray("cross-site")
            << json << QByteArray() << false;
        QTest::newRow("form post")
            << QByteArray() << QByteArray() << QByteArray("http://h:1") << QByteArray()
            << QByteArray("text/plain") << QByteArray() << false;
    }
    void access()
    {
        QFETCH(QByteArray, cookie);
        QFETCH(QByteArray, authorization);
        QFETCH(QByteArray, origin);
        QFETCH(QByteArray, site);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, token);
        QFETCH(bool, sameOrigin);
        const std::string c = cookie.toStdString(), a = authorization.toStdString(),
                          o = origin.toStdString(), s = site.toStdString(), t = type.toStdString();
        const Credentials cr{c, a, "h:1", o, s, t};
        QCOMPARE(QByteArray::fromStdString(std::string(presentedToken(cr))), token);
        QCOMPARE(labview::sameOrigin(cr), sameOrigin);
    }
    void tokensCompare()
    {
        QVERIFY(sameToken("abc", "abc"));
        QVERIFY(!sameToken("abc", "abd"));
        QVERIFY(!sameToken("abc", "abcd"));
        QVERIFY(!sameToken("", "")); // no token is never a match
    }
    void hosts()
    {
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
    void cellsTable_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("labels");
        QTest::addColumn<int>("matching");
        QTest::newRow("label order") << ""
                                     << "A1 A2 B1 B2" << 4;
        QTest::newRow("reversed") << "sort=-label"
                                  << "B2 B1 A2 A1" << 4;
        QTest::newRow("resistance") << "sort=resistance"
                                    << "B1 A1 B2 A2" << 4;
        QTest::newRow("capacity, unknown last") << "sort=capacity"
                                                << "A1 A2 B1 B2" << 4;
        QTest::newRow("capacity down, unknown last") << "sort=-capacity"
                                                     << "A2 A1 B1 B2" << 4;
        QTest::newRow("label filter any case") << "label=b"
                                               << "B1 B2" << 2;
        QTest::newRow("failing resistance") << "mohm=60&verdict=fail"
                                            << "A2" << 1;
        QTest::newRow("unknown capacity fails") << "mah=1000&verdict=pass"
                                                << "A1 A2" << 2;
        QTest::newRow("in stock") << "status=stock"
                                  << "A1 B2" << 2;
        QTest::newRow("retired") << "status=retired"
                                 << "B1" << 1;
        QTest::newRow("pack") << "pack=P"
                              << "A2" << 1;
        QTest::newRow("second page") << "size=3&page=1"
                                     << "B2" << 4;
        QTest::newRow("past the end") << "size=3&page=9"
                                      << "" << 4;
    }
    void cellsTable()
    {
        QFETCH(QString, query);
        QFETCH(QString, labels);
        QFETCH(int, matching);
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
        cell("B2", 50'000, std::nullopt);
        const auto parsed =
            parseCellQuery(route("GET", ("/api/cells?" + query).toStdString()).params);
        const QJsonObject out = QJsonDocument::fromJson(cellsJson(s, std::get<CellQuery>(parsed),
                                                                  report::Language::English))
                                    .object();
        QStringList got;
        for (const QJsonValue &row : out.value("rows").toArray())
            got << row.toObject().value("label").toString();
        QCOMPARE(got.join(u' '), labels);
        QCOMPARE(out.value("matching").toInt(), matching);
        QCOMPARE(out.value("total").toInt(), 4);
    }
};

QTEST_GUILESS_MAIN(LabviewParts)
#include "tst_labview_parts.moc"
