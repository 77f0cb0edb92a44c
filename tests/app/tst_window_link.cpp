// The window's connection buttons and receive event over a pseudo-terminal standing for the
// analyzer, in both languages; the no-data box; errors of a click reaching the error dialog.
#include "app/form1.h"
#include "app/program_title.h"
#include "app/wrapping_button.h"
#include "boardview/board_view.h"
#include "line_faults.h"
#include "link/tmscomm.h"
#include "modal_box_user.h"
#include "pty_device.h"
#include "samples.h"
#include "window_fixture.h"

#include <QtTest>
#include <QtWidgets>

using namespace sample;

Q_DECLARE_METATYPE(linefault::Delivery)

class TestWindowLink : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void connectDownloadDisconnect_data();
    void connectDownloadDisconnect();
    void languageSwitchWhileConnected();
    void noDataBox();
    void noDataFloodOpensOneBox();
    void closingWhileConnectedSendsNoDisconnect();
    void disconnectAfterTheCableWasPulled();
    void commandOnALineThatTakesNothing_data();
    void commandOnALineThatTakesNothing();
    void clickErrors_data();
    void clickErrors();
    void lineFaultsMidDownload_data();
    void lineFaultsMidDownload();

private:
    std::unique_ptr<TForm1> window_;
};

void TestWindowLink::init()
{
    window_ = openWindow();
    QVERIFY(window_);
}

void TestWindowLink::cleanup()
{
    window_.reset();
}

void TestWindowLink::connectDownloadDisconnect_data()
{
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<QString>("portText");
    QTest::newRow("English, picked") << false << "3";
    QTest::newRow("Chinese, typed with a blank") << true << " 3";
}

void TestWindowLink::connectDownloadDisconnect()
{
    QFETCH(bool, chinese);
    QFETCH(QString, portText);
    PtyDevice analyzer(3);
    TForm1 &w = *window_;
    if (chinese)
        w.N1Click();
    w.ComboBox1->setEditText(portText);

    click(w.Button1);
    QCOMPARE(states(w), kConnected);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SE"));

    click(w.Button14);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SESK"));
    analyzer.send(kRecord7 + kRecord12);
    QTRY_COMPARE(w.board().text(), boardText({kLine7, kLine12}));
    QTRY_COMPARE(w.Memo1->toPlainText(),
                 QString::fromUtf16(u" Group 7       056.7mΩ     4.123V\n"
                                    u" Group 12       123.45mΩ     12.34V\n"));

    // The model is read for every record.
    w.RadioButton2->setChecked(true);
    analyzer.send(kRecord7);
    QTRY_VERIFY(w.board().text().endsWith(kLine7OtherModel + "\r\n"));

    click(w.Button4);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SESKSU"));
    QCOMPARE(states(w), kConnected);

    click(w.Button2);
    QCOMPARE(states(w), kDisconnected);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SESKSUST"));
    // Captions stayed in the chosen language.
    QCOMPARE(w.Button1->text(), chinese ? QString::fromUtf16(u"建立连接") : QString("Connect"));
}

void TestWindowLink::languageSwitchWhileConnected()
{
    PtyDevice analyzer(4);
    TForm1 &w = *window_;
    w.ComboBox1->setEditText("4");
    click(w.Button1);
    QCOMPARE(states(w), kConnected);
    w.N1->trigger();
    QCOMPARE(states(w), kConnected);
    QCOMPARE(w.Button1->text(), QString::fromUtf16(u"建立连接"));
    QCOMPARE(w.Button2->text(), QString::fromUtf16(u"中断连接"));
    w.English1->trigger();
    QCOMPARE(states(w), kConnected);
    // The port is still open: Download still goes out.
    click(w.Button14);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SESK"));
}

void TestWindowLink::noDataBox()
{
    PtyDevice analyzer(5);
    TForm1 &w = *window_;
    w.ComboBox1->setEditText("5");
    click(w.Button1);
    ModalBoxUser answerer;
    // Bytes count once the line was quiet after Connect: before, they may be the middle of a
    // stream already flowing.
    QTest::qWait(300);
    analyzer.send(kNoData);
    QTRY_COMPARE(answerer.seen.size(), 1);
    const auto &box = answerer.seen.first();
    QCOMPARE(box.title, app::programTitle());
    QCOMPARE(box.text, QString::fromUtf16(u"仪器没有存储数据"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // Centred on the screen, not over the window in the corner.
    const QPoint screenCentre = w.screen()->availableGeometry().center();
    QVERIFY2(
        (box.frame.center() - screenCentre).manhattanLength() <= 2,
        qPrintable(
            QString("box centre %1,%2").arg(box.frame.center().x()).arg(box.frame.center().y())));
    QVERIFY(w.board().text().isEmpty());

    // The next record is handled as usual.
    analyzer.send(kRecord1);
    QTRY_VERIFY(w.board().text().startsWith(" Group 1"));
}

// The analyzer says that it holds nothing; while the box says so, hundreds more replies and a
// reading arrive behind that answer. They make it a disturbed transfer: one error box says so
// over the no-data box, no other box opens, and the reading is still shown.
void TestWindowLink::noDataFloodOpensOneBox()
{
    PtyDevice analyzer(5);
    TForm1 &w = *window_;
    w.ComboBox1->setEditText("5");
    click(w.Button1);
    click(w.Button14);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SESK"));
    const qsizetype windowsBefore = QApplication::topLevelWidgets().size();
    qsizetype mostWindows = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        mostWindows = std::max(mostWindows, QApplication::topLevelWidgets().size());
    });
    watch.start(5);
    // All of it happens inside the box's own event loop, as it would for the user.
    ModalBoxUser user(w,
                      {{[&] {
                            for (int i = 0; i < 300; ++i)
                                analyzer.send(kNoData);
                            analyzer.send(kRecord1);
                        },
                        [&] { return w.board().text().startsWith(" Group 1"); },
                        {}}});
    analyzer.send(kNoData);
    QTRY_VERIFY_WITH_TIMEOUT(user.seen.size() == 2 && user.idle(), 20000);
    QTest::qWait(200); // room for a box that should not come
    QCOMPARE(user.seen.size(), 2);
    QCOMPARE(user.seen[0].text, QString::fromUtf16(u"仪器没有存储数据"));
    QVERIFY2(user.seen[1].text.contains("bytes were lost or added"), qPrintable(user.seen[1].text));
    QCOMPARE(mostWindows, windowsBefore + 2);

    // Still alive and still receiving.
    analyzer.send(kRecord1);
    QTRY_COMPARE(w.board().text().count("\r\n"), 2);
}

void TestWindowLink::closingWhileConnectedSendsNoDisconnect()
{
    PtyDevice analyzer(6);
    TForm1 &w = *window_;
    w.ComboBox1->setEditText("6");
    click(w.Button1);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SE"));
    ModalBoxUser answerer;
    QVERIFY(w.close());
    window_.reset(); // the serial control goes with the window
    QTest::qWait(100);
    QCOMPARE(analyzer.receivedSoFar(), QByteArray("SE"));
    QVERIFY(answerer.seen.isEmpty());
}

void TestWindowLink::disconnectAfterTheCableWasPulled()
{
    PtyDevice analyzer(5);
    TForm1 &w = *window_;
    w.ComboBox1->setEditText("5");
    click(w.Button1);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SE"));
    // Pulled before the event loop notices: only the Disconnect command finds out.
    analyzer.vanish();
    ModalBoxUser answerer;
    w.Button2->click();
    QTRY_COMPARE(answerer.seen.size(), 1);
    QVERIFY2(answerer.seen.first().text.startsWith("Cannot write to COM 5"),
             qPrintable(answerer.seen.first().text));
    QTest::qWait(200); // room for a second box that should not come
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(states(w), kDisconnected);
    QVERIFY(!w.MSComm1->PortOpen());
}

void TestWindowLink::commandOnALineThatTakesNothing_data()
{
    QTest::addColumn<bool>("hungUp");
    QTest::addColumn<QString>("button"); // the command that cannot be written
    QTest::newRow("analyzer stopped reading, then reads again") << false << "Button2";
    QTest::newRow("line hung up for good") << true << "Button2";
    QTest::newRow("line hung up, Clear Memory") << true << "Button4";
}

// A command that cannot be written: while the device is there the port stays open and the
// window connected, so that the user can try again; a line hung up for good is a lost device,
// closed at once with the failed write as its one box.
void TestWindowLink::commandOnALineThatTakesNothing()
{
    QFETCH(bool, hungUp);
    QFETCH(QString, button);
    PtyDevice analyzer(5);
    TForm1 &w = *window_;
    w.ComboBox1->setEditText("5");
    click(w.Button1);
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SE"));
    if (!hungUp)
        analyzer.stall();
    else if (!analyzer.hangUp())
        QSKIP("hanging up a terminal needs CAP_SYS_ADMIN (scripts/test runs as root)");
    ModalBoxUser answerer;
    w.findChild<QPushButton *>(button)->click();
    QTRY_COMPARE(answerer.seen.size(), 1);
    QVERIFY2(answerer.seen.first().text.startsWith("Cannot write to COM 5"),
             qPrintable(answerer.seen.first().text));
    QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
    if (hungUp) {
        QCOMPARE(states(w), kDisconnected);
        QVERIFY(!w.MSComm1->PortOpen());
        QTest::qWait(200);
        QCOMPARE(answerer.seen.size(), 1);
        return;
    }
    QTest::qWait(200);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(states(w), kConnected);
    QVERIFY(w.MSComm1->PortOpen());

    // Once the analyzer reads again, Disconnect goes out once: the one that failed never does.
    analyzer.resume();
    QCOMPARE(analyzer.receivedSoFar(), QByteArray("SE"));
    w.Button2->click();
    QTRY_COMPARE(analyzer.receivedSoFar(), QByteArray("SEST"));
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(states(w), kDisconnected);
    QVERIFY(!w.MSComm1->PortOpen());
}

void TestWindowLink::clickErrors_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a number") << "abc"
                                  << "'abc' is not a valid integer value.";
    QTest::newRow("port that does not exist") << "200"
                                              << "";
    QTest::newRow("markup is shown as typed") << "<b>3</b>"
                                              << "'<b>3</b>' is not a valid integer value.";
}

void TestWindowLink::clickErrors()
{
    QFETCH(QString, portText);
    QFETCH(QString, message);
    TForm1 &w = *window_;
    w.ComboBox1->setEditText(portText);
    ModalBoxUser answerer;
    click(w.Button1);
    QTRY_COMPARE(answerer.seen.size(), 1);
    const auto &box = answerer.seen.first();
    QCOMPARE(box.title, app::programTitle());
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.format, Qt::PlainText);
    if (!message.isEmpty())
        QCOMPARE(box.text, message);
    else
        QVERIFY(!box.text.isEmpty());
    QCOMPARE(states(w), kDisconnected);
    QCOMPARE(w.ComboBox1->currentText(), portText);
    // The program carries on: the clock still ticks.
    QTRY_VERIFY_WITH_TIMEOUT(!w.StatusBar1->currentMessage().isEmpty(), 3000);
}

void TestWindowLink::lineFaultsMidDownload_data()
{
    QTest::addColumn<linefault::Delivery>("delivery");
    QTest::addColumn<bool>("echo");
    const QList<linefault::Delivery> sample = linefault::sample();
    for (const linefault::Delivery &d : sample)
        QTest::newRow(qPrintable(d.name)) << d << false;
    QTest::newRow("echoing adapter") << sample.first() << true;
}

// The board shows true lines, or one box says from which reading on they may be wrong, no
// later than the first line that is.
void TestWindowLink::lineFaultsMidDownload()
{
    QFETCH(linefault::Delivery, delivery);
    QFETCH(bool, echo);
    echo = echo || delivery.echo;
    PtyDevice analyzer(4);
    TForm1 &w = *window_;
    w.ComboBox1->setEditText("4");
    ModalBoxUser answerer;
    click(w.Button1);
    const QByteArray connect = analyzer.received(2);
    if (echo)
        analyzer.send(connect);
    for (const linefault::Step &step : delivery.before) {
        QTest::qWait(step.pauseMs);
        analyzer.send(step.bytes);
    }
    QTest::qWait(std::max(delivery.askMs, 300));
    const QByteArray before = w.board().text();
    const qsizetype boxesBefore = answerer.seen.size();
    click(w.Button14);
    const QByteArray download = analyzer.received(2, 1000);
    QCOMPARE(connect + download, "SESK");
    if (echo)
        analyzer.send(download);
    for (const linefault::Step &step : delivery.steps) {
        QTest::qWait(step.pauseMs);
        analyzer.send(step.bytes);
    }
    QTest::qWait(linefault::kVerdictMs);
    // One box for the download, whatever was said of bytes nobody asked for.
    QVERIFY(answerer.seen.size() - boxesBefore <= 1);
    const QString box = answerer.seen.value(boxesBefore).text;
    const bool noData = box == QString::fromUtf16(u"仪器没有存储数据");
    const QString broken = linefault::violation(
        delivery, linefault::shown(w.board().text(), noData ? QString() : box, noData, before));
    QVERIFY2(broken.isEmpty(), qPrintable(broken + "\n" + box));
}

QTEST_MAIN(TestWindowLink)
#include "tst_window_link.moc"
