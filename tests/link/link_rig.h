#pragma once

// The link as a window holds it, for tests: control, board, handlers and a view without
// widgets.
#include "board/data_board.h"
#include "core/error.h"
#include "link/connection.h"
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

// The window as the connection sees it, without widgets.
class TestView : public analyzer::ConnectionView {
public:
    QString port = QStringLiteral("3");
    bool rm40a = true;
    QStringList buttonChanges;
    int noDataShown = 0;
    std::function<void()> whileNoDataShown;

    QString portText() const override { return port; }
    bool rm40aSelected() const override { return rm40a; }
    void setButtonEnabled(analyzer::LinkButton button, bool enabled) override
    {
        static const char *names[] = {"Connect", "Disconnect", "Download", "ClearMemory"};
        buttonChanges << QString::fromLatin1(names[int(button)]) + (enabled ? " on" : " off");
    }
    void showNoData() override
    {
        ++noDataShown;
        if (whileNoDataShown)
            whileNoDataShown();
    }
};

// One window's worth of link: control, board, view and handlers, with the receive event
// wired as the window wires it, errors collected where the window would show them.
struct Rig {
    Rig() : connection(comm, board, view)
    {
        QObject::connect(&comm, &TMSComm::OnComm, [this] { run([this] { connection.commEvent(); }); });
    }
    void run(const std::function<void()> &handler)
    {
        try {
            handler();
        } catch (const core::Error &e) {
            errors << e.message();
        }
    }
    // The user's first two clicks of most sessions: Connect, then Download Data.
    void connectAndDownload()
    {
        connection.connectClicked();
        connection.downloadClicked();
    }
    qsizetype lines() const { return board.text().count("\r\n"); }

    TMSComm comm;
    board::DataBoard board;
    TestView view;
    analyzer::Connection connection;
    QStringList errors;
};

