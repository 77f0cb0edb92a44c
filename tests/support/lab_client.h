#pragma once

// Plain HTTP to a lab view on loopback, for its suites: a server of the test's own, whole
// exchanges through Qt's client, and raw bytes through a socket where a request must be
// malformed on purpose.
#include "cellregister/cell_register.h"
#include "cellregister/location.h"
#include "cellregister/measurements.h"
#include "labview/serve.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>

inline const QDateTime kLabAt =
    QDateTime::fromString(QStringLiteral("2026-03-01T08:00:00Z"), Qt::ISODate);

// A server on any free loopback port over the register at address, its token kept in a
// file of its own in folder.
inline labview::ServeOptions labOptions(const QString &folder, const QString &address,
                                        bool actions = true)
{
    static int tokens = 0;
    labview::ServeOptions o;
    o.location = cellregister::locate(address);
    o.port = 0;
    o.allowActions = actions;
    o.tokenFile = folder + QStringLiteral("/token-%1").arg(++tokens);
    return o;
}

inline QString labBase(const labview::Server &server)
{
    return QStringLiteral("http://127.0.0.1:%1").arg(server.started().port);
}

struct Reply {
    int status = 0;
    QByteArray body;
    QNetworkReply *raw = nullptr;
    QByteArray header(const char *name) const { return headers.value(QByteArray(name).toLower()); }
    QHash<QByteArray, QByteArray> headers;
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

inline Reply request(QNetworkAccessManager &net, const QByteArray &method, const QString &url,
                     const Headers &headers = {}, const QByteArray &body = {})
{
    QNetworkRequest r{QUrl(url)};
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    for (const auto &[k, v] : headers)
        r.setRawHeader(k, v);
    QNetworkReply *reply = net.sendCustomRequest(r, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20'000, &loop, &QEventLoop::quit);
    loop.exec();
    Reply out;
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.body = reply->readAll();
    for (const auto &[k, v] : reply->rawHeaderPairs())
        out.headers.insert(k.toLower(), v);
    reply->deleteLater();
    return out;
}

// Sends bytes as they are and reads what comes back until the server closes or the time is up.
inline QByteArray exchange(int port, const QByteArray &bytes, int waitMs = 8'000)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    if (!s.waitForConnected(5'000))
        return "not connected";
    s.write(bytes);
    s.flush();
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < waitMs && s.state() == QAbstractSocket::ConnectedState) {
        s.waitForReadyRead(100);
        got += s.readAll();
        if (got.contains("\r\n\r\n") && !got.startsWith("HTTP/1.1 200"))
            break;
    }
    return got + s.readAll();
}

// Readings of cells as a record would store them, one per label.
inline void record(cellregister::CellRegister &r, const QStringList &labels, qint64 microvolts,
                   const QDateTime &at, bool rest = false, qint64 microohms = 45'000)
{
    QList<cellregister::Measurement> ms;
    int group = 0;
    for (const QString &label : labels) {
        cellregister::Measurement m;
        m.label = label;
        m.at = at;
        m.group = ++group;
        // Whole milliohms under 1 Ω, as the analyzer shows them, however many cells.
        m.microohms = microohms + (group % 100) * 1'000;
        m.microvolts = microvolts;
        m.resistanceText = QStringLiteral("%1m\u03A9").arg(m.microohms / 1000.0, 5, 'f', 1, u'0');
        m.voltageText = QStringLiteral("%1V").arg(microvolts / 1e6, 0, 'f', 3);
        m.model = QStringLiteral("RM-40A");
        m.source = QStringLiteral("test");
        m.restStart = rest;
        ms << m;
    }
    cellregister::addMeasurements(r, ms);
}
