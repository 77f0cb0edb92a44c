#pragma once

// The link as a window holds it, for tests: control, session and board, without widgets.
#include "board/data_board.h"
#include "core/error.h"
#include "link/errors.h"
#include "link/protocol.h"
#include "link/session.h"
#include "link/tmscomm.h"
#include "linktext/fault_text.h"
#include "samples.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTest>
#include <functional>

// A session wired to a board as the window wires it, without widgets: readings are
// appended, and the faults the window would show in a box are collected in the words it
// shares with the tool.
struct Rig {
    Rig() : session(comm)
    {
        QObject::connect(
            &session, &analyzer::Session::reading,
            [this](const reading::Reading &, const QByteArray &l) { board.AppendLine(l); });
        QObject::connect(&session, &analyzer::Session::noData, [this] { ++noDataShown; });
        using analyzer::LinkFault;
        QObject::connect(&session, &analyzer::Session::receiveFailed,
                         [this](const LinkFault &f) { errors << linktext::describe(f); });
        QObject::connect(&session, &analyzer::Session::deviceLost,
                         [this](const LinkFault &f) { lost << linktext::describe(f); });
        QObject::connect(&session, &analyzer::Session::transferDisturbed,
                         [this](const LinkFault &f) { disturbed << linktext::describe(f); });
        QObject::connect(&session, &analyzer::Session::commandFailed,
                         [this](const LinkFault &f) { errors << linktext::describe(f); });
    }
    void run(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const analyzer::LinkError &e) {
            errors << linktext::describe(e.fault());
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
