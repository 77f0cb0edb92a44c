#pragma once

// The link as a window holds it, for tests: control, session and board, without widgets.
#include "board/data_board.h"
#include "core/error.h"
#include "link/protocol.h"
#include "link/session.h"
#include "link/tmscomm.h"
#include "samples.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTest>
#include <functional>

// A session wired to a board as the window wires it, without widgets: readings are
// appended, and what the window would show in a box is collected.
struct Rig {
    Rig() : session(comm)
    {
        QObject::connect(
            &session, &analyzer::Session::reading,
            [this](const reading::Reading &, const QByteArray &l) { board.AppendLine(l); });
        QObject::connect(&session, &analyzer::Session::noData, [this] { ++noDataShown; });
        QObject::connect(&session, &analyzer::Session::receiveFailed,
                         [this](const QString &m) { errors << m; });
        QObject::connect(&session, &analyzer::Session::deviceLost,
                         [this](const QString &m) { lost << m; });
        QObject::connect(&session, &analyzer::Session::transferDisturbed,
                         [this](const QString &m) { disturbed << m; });
        QObject::connect(&session, &analyzer::Session::commandFailed,
                         [this](const QString &m) { errors << m; });
    }
    void run(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const core::Error &e) {
            errors << e.message();
        }
    }
    // The user's first two clicks of most sessions: Connect, then Download Data, which goes
    // out once the line has been quiet for a moment.
    void connectAndDownload()
    {
        session.open(port);
        session.download();
        if (!QTest::qWaitFor([this] { return !session.downloadWaiting(); }))
            QTest::qFail("Download did not go out", __FILE__, __LINE__);
    }
    qsizetype lines() const { return board.text().count("\r\n"); }

    int port = 3;
    TMSComm comm;
    analyzer::Session session;
    board::DataBoard board;
    int noDataShown = 0;
    QStringList errors;
    QStringList lost;
    QStringList disturbed;
};
