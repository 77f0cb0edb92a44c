#pragma once

// The link as a window holds it, for tests: control, session and board, without widgets.
#include "board/data_board.h"
#include "core/error.h"
#include "link/session.h"
#include "link/protocol.h"
#include "link/tmscomm.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

// A board line from its text, "~" standing for the GBK sign of ohms.
inline QByteArray line(const char *text)
{
    QByteArray l(text);
    l.replace("~", analyzer::kOhmGbk);
    return l;
}

// Records from the worked examples, and the lines they give with RM-40A selected.
namespace sample {
inline const QByteArray kRecord7 = QByteArray::fromHex("07050237101B");
inline const QByteArray kRecord12 = QByteArray::fromHex("0C00303904D2");
inline const QByteArray kRecord1 = QByteArray::fromHex("0106012C0E74");
inline const QByteArray kNoData = QByteArray::fromHex("058800000000");
inline const QByteArray kLine7 = line(" Group 7       056.7m~     4.123V");
inline const QByteArray kLine7OtherModel = line(" Group 7       05.67m~     4.123V");
inline const QByteArray kLine12 = line(" Group 12       123.45m~     12.34V");
inline const QByteArray kLine1 = line(" Group 1       0.300 ~     3.700V");
} // namespace sample

// The board text that holds these lines.
inline QByteArray boardText(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &l : lines)
        text += l + "\r\n";
    return text;
}

// A session wired to a board as the window wires it, without widgets: readings are
// appended, and what the window would show in a box is collected.
struct Rig {
    Rig() : session(comm)
    {
        QObject::connect(&session, &analyzer::Session::reading,
                         [this](const analyzer::AnalyzerRecord &, const QByteArray &l) {
                             board.AppendLine(l);
                         });
        QObject::connect(&session, &analyzer::Session::noData, [this] { ++noDataShown; });
        QObject::connect(&session, &analyzer::Session::receiveFailed,
                         [this](const QString &m) { errors << m; });
        QObject::connect(&session, &analyzer::Session::deviceLost,
                         [this](const QString &m) { lost << m; });
    }
    void run(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const core::Error &e) {
            errors << e.message();
        }
    }
    // The user's first two clicks of most sessions: Connect, then Download Data.
    void connectAndDownload()
    {
        session.open(port);
        session.download();
    }
    qsizetype lines() const { return board.text().count("\r\n"); }

    int port = 3;
    TMSComm comm;
    analyzer::Session session;
    board::DataBoard board;
    int noDataShown = 0;
    QStringList errors;
    QStringList lost;
};
