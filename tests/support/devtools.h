#pragma once

// Headless Chromium driven over its DevTools protocol through a WebSocket: pages opened,
// scripts evaluated, keys pressed, and whatever the page logs as an error collected.
#include "browser.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>

class DevTools {
public:
    // Starts the browser with a fresh profile in folder (which outlives the browser's helper
    // processes) and attaches to its first page; error() says what went wrong.
    explicit DevTools(const QString &folder)
        : profile_(folder + QStringLiteral("/chromium-%1").arg(++runs()))
    {
        const QStringList args = headlessChromiumArgs(profile_)
            + QStringList{"--remote-debugging-port=0", "--remote-allow-origins=*",
                          "--window-size=1280,900", "about:blank"};
        browser_.setProcessChannelMode(QProcess::MergedChannels);
        browser_.start(QStringLiteral("chromium"), args);
        QFile active(profile_ + QStringLiteral("/DevToolsActivePort"));
        for (int i = 0; i < 300 && !active.exists(); ++i)
            wait(50);
        wait(100);
        if (!active.open(QIODevice::ReadOnly)) {
            error_ = "the browser did not start: " + browser_.readAll();
            return;
        }
        const int port = active.readLine().trimmed().toInt();
        QNetworkAccessManager net;
        QNetworkReply *list = net.get(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(port))));
        QEventLoop loop;
        QObject::connect(list, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        QString url;
        for (const QJsonValue &t : QJsonDocument::fromJson(list->readAll()).array())
            if (t.toObject().value("type").toString() == u"page")
                url = t.toObject().value("webSocketDebuggerUrl").toString();
        delete list;
        if (url.isEmpty()) {
            error_ = "no page to attach to";
            return;
        }
        QObject::connect(&socket_, &QWebSocket::textMessageReceived,
                         [this](const QString &m) { received(m); });
        socket_.open(QUrl(url));
        for (int i = 0; i < 100 && socket_.state() != QAbstractSocket::ConnectedState; ++i)
            wait(50);
        for (const char *domain : {"Runtime.enable", "Log.enable", "Page.enable"})
            call(domain);
    }
    ~DevTools()
    {
        socket_.close();
        browser_.terminate();
        if (!browser_.waitForFinished(5'000))
            browser_.kill(), browser_.waitForFinished();
    }

    const QString &error() const { return error_; }
    // Errors the page logged or threw, one line each.
    QStringList &pageErrors() { return errors_; }

    QJsonObject call(const QString &method, const QJsonObject &params = {})
    {
        const int id = ++lastId_;
        socket_.sendTextMessage(
            QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}})
                .toJson(QJsonDocument::Compact));
        for (int i = 0; i < 600 && !results_.contains(id); ++i)
            wait(25);
        return results_.take(id);
    }
    // The value of a script run in the page.
    QJsonValue eval(const QString &script)
    {
        const QJsonObject r =
            call("Runtime.evaluate",
                 {{"expression", script}, {"returnByValue", true}, {"awaitPromise", true}});
        // A script of the test's that fails is an error too, never a quiet "false".
        const QJsonObject thrown =
            r.value("result").toObject().value("exceptionDetails").toObject();
        if (!thrown.isEmpty())
            errors_ << "evaluate: "
                    + thrown.value("exception").toObject().value("description").toString();
        return r.value("result").toObject().value("result").toObject().value("value");
    }
    // Waits up to timeoutMs for the script to give true; returns the milliseconds it took, or -1.
    qint64 until(const QString &script, int timeoutMs = 5'000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            if (eval(script).toBool())
                return t.elapsed();
            wait(25);
        }
        return -1;
    }
    void open(const QString &url) { call("Page.navigate", {{"url", url}}); }
    // A key pressed and let go where the focus is, as a keyboard user would.
    void press(const QString &key, int code)
    {
        for (const char *type : {"rawKeyDown", "keyUp"})
            call("Input.dispatchKeyEvent",
                 {{"type", type}, {"key", key}, {"code", key}, {"windowsVirtualKeyCode", code}});
        if (key == u"Enter")
            call("Input.dispatchKeyEvent", {{"type", "char"}, {"text", "\r"}});
    }
    void type(const QString &text) { call("Input.insertText", {{"text", text}}); }

    static void wait(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

private:
    void received(const QString &message)
    {
        const QJsonObject m = QJsonDocument::fromJson(message.toUtf8()).object();
        if (m.contains("id")) {
            results_.insert(m.value("id").toInt(), m);
            return;
        }
        const QString method = m.value("method").toString();
        const QJsonObject p = m.value("params").toObject();
        if (method == u"Runtime.exceptionThrown")
            errors_ << "exception: "
                    + p.value("exceptionDetails").toObject().value("text").toString() + " "
                    + p.value("exceptionDetails")
                          .toObject()
                          .value("exception")
                          .toObject()
                          .value("description")
                          .toString();
        else if (method == u"Runtime.consoleAPICalled" && p.value("type").toString() == u"error")
            errors_ << "console: "
                    + QJsonDocument(p.value("args").toArray()).toJson(QJsonDocument::Compact);
        else if (method == u"Log.entryAdded"
                 && p.value("entry").toObject().value("level").toString() == u"error")
            errors_ << "log: " + p.value("entry").toObject().value("text").toString() + " "
                    + p.value("entry").toObject().value("url").toString();
    }

    static int &runs()
    {
        static int n = 0;
        return n;
    }

    QString profile_;
    QProcess browser_;
    QWebSocket socket_;
    QString error_;
    int lastId_ = 0;
    QHash<int, QJsonObject> results_;
    QStringList errors_;
};
