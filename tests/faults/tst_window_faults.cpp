// Faults met through the real window: readings arriving while a modal box waits for the
// user, the analyzer's cable pulled mid-download, a folder that goes away between the save
// dialog and the save, and Clear Text while readings arrive. Each ends with nothing lost and
// a clear message.
#include "app/file_dialog.h"
#include "app/form1.h"
#include "app/wrapping_button.h"
#include "boardview/board_view.h"
#include "files.h"
#include "link/tmscomm.h"
#include "link_rig.h"
#include "modal_box_user.h"
#include "pty_device.h"
#include "window_fixture.h"

#include <QtTest>
#include <QtWidgets>
#include <algorithm>

using namespace sample;

namespace {

const QString kNoDataText = QString::fromUtf16(u"仪器没有存储数据");

enum class Opens { NoDataReply, FailedSave, FailedOpen };
enum class ClearWhen { LinesShown, RightBehindALine };

} // namespace

Q_DECLARE_METATYPE(Opens)
Q_DECLARE_METATYPE(ClearWhen)

class TestWindowFaults : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void readingsArriveWhileABoxIsOpen_data();
    void readingsArriveWhileABoxIsOpen();
    void saveWritesTheBoardAsConfirmed_data();
    void saveWritesTheBoardAsConfirmed();
    void deviceVanishesMidDownload_data();
    void deviceVanishesMidDownload();
    void folderGoneAtSave_data();
    void folderGoneAtSave();
    void clearTextDuringDownload_data();
    void clearTextDuringDownload();

private:
    // Connects on COM 3 and asks for the readings.
    void startDownload(PtyDevice &device);

    QTemporaryDir dir_;
    std::unique_ptr<TForm1> window_;
};

void TestWindowFaults::init()
{
    QVERIFY(dir_.isValid());
    clearTestPortFolder();
    window_ = openWindow();
    QVERIFY(window_);
}

void TestWindowFaults::cleanup()
{
    window_.reset();
    QDir(dir_.path()).removeRecursively();
    QDir().mkpath(dir_.path());
}

void TestWindowFaults::startDownload(PtyDevice &device)
{
    device.linkAs(3);
    window_->ComboBox1->setEditText(QStringLiteral("3"));
    click(window_->Button1);
    click(window_->Button14);
    QCOMPARE(device.received(4), QByteArray("SESK"));
}

void TestWindowFaults::readingsArriveWhileABoxIsOpen_data()
{
    QTest::addColumn<Opens>("opens");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QMessageBox::Icon>("icon");
    const QString missing = dir_.filePath(QStringLiteral("today/readings.txt"));
    QTest::newRow("no-data box") << Opens::NoDataReply << kNoDataText << QMessageBox::NoIcon;
    QTest::newRow("error dialog of a failed save")
        << Opens::FailedSave
        << QStringLiteral("Cannot create file \"%1\". No such file or directory.").arg(missing)
        << QMessageBox::Critical;
    QTest::newRow("error dialog of a failed open")
        << Opens::FailedOpen
        << QStringLiteral("Cannot open file \"%1\". No such file or directory.").arg(missing)
        << QMessageBox::Critical;
}

void TestWindowFaults::readingsArriveWhileABoxIsOpen()
{
    QFETCH(Opens, opens);
    QFETCH(QString, text);
    QFETCH(QMessageBox::Icon, icon);
    TForm1 &w = *window_;
    PtyDevice device;
    startDownload(device);
    device.send(kRecord7);
    QTRY_COMPARE(w.board().text(), boardText({kLine7}));

    const auto arrived = [&w] {
        return w.board().text().endsWith(kLine12 + "\r\n") && viewAgrees(w);
    };
    ModalBoxUser user(w, {{[&] { device.send(kRecord12); }, arrived, {}}});
    // The folder is there when the dialog is confirmed; the save finds it gone.
    const QString folder = dir_.filePath(QStringLiteral("today"));
    QVERIFY(QDir().mkdir(folder));
    const QString missing = folder + QStringLiteral("/readings.txt");
    w.SaveDialog1->setPresenter(answerWith(missing, [&] { QDir().rmdir(folder); }));
    w.OpenDialog1->setPresenter(answerWith(missing));
    switch (opens) {
    case Opens::NoDataReply: device.send(kNoData); break;
    case Opens::FailedSave: click(w.Button8); break;
    case Opens::FailedOpen: click(w.Button16); break;
    }
    QTRY_VERIFY(!user.seen.isEmpty() && user.idle());

    QCOMPARE(user.seen.size(), 1);
    const ModalBoxUser::Box &box = user.seen.first();
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, icon);
    // The reading was on the board, and shown, before the box was closed.
    QVERIFY2(box.settled, qPrintable(displayed(box.board)));
    QCOMPARE(box.board, boardText({kLine7, kLine12}));
    QCOMPARE(box.view, displayed(box.board));
    QCOMPARE(w.board().text(), box.board);

    device.send(kRecord1);
    QTRY_COMPARE(w.board().text(), boardText({kLine7, kLine12, kLine1}));
    QTRY_VERIFY(viewAgrees(w));
}

void TestWindowFaults::saveWritesTheBoardAsConfirmed_data()
{
    QTest::addColumn<bool>("replacing");
    QTest::addColumn<bool>("noDataToo");
    QTest::newRow("new file") << false << false;
    QTest::newRow("replacing a file, a reading during the question") << true << false;
    // A no-data reply with a reading behind it: the answer lost its place, and says so.
    QTest::newRow("new file, a no-data reply and a reading over the dialog") << false << true;
}

void TestWindowFaults::saveWritesTheBoardAsConfirmed()
{
    QFETCH(bool, replacing);
    QFETCH(bool, noDataToo);
    TForm1 &w = *window_;
    PtyDevice device;
    startDownload(device);
    device.send(kRecord7);
    QTRY_COMPARE(w.board().text(), boardText({kLine7}));

    const QString target = dir_.filePath(QStringLiteral("monday.txt"));
    if (replacing) {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("sunday\r\n");
    }
    const auto arrived = [&w](const QByteArray &l) {
        return [&w, l] { return w.board().text().endsWith(l + "\r\n") && viewAgrees(w); };
    };
    // Qt's own save dialog, shown modally as in use, answered by typing.
    const auto typeTheName = [&target](QWidget *modal) {
        // Back in the dialog after the no-data box, as a user clicking into its field:
        // typing into a field without focus leaves the folders it passed selected.
        modal->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(modal));
        auto *field = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, target);
        QTest::keyClick(field, Qt::Key_Return);
    };
    const auto replace = [](QWidget *modal) {
        qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Yes)->click();
    };
    QList<ModalBoxUser::Step> steps{
        {[&] { device.send(noDataToo ? kNoData + kRecord12 : kRecord12); }, arrived(kLine12),
         typeTheName}};
    if (replacing)
        steps.append({[&] { device.send(kRecord1); }, arrived(kLine1), replace});
    ModalBoxUser user(w, steps);
    click(w.Button8);
    QTRY_VERIFY(user.idle());

    QCOMPARE(user.seen.size(), steps.size() + (noDataToo ? 1 : 0));
    QCOMPARE(user.seen.first().kind, QStringLiteral("QFileDialog"));
    for (const ModalBoxUser::Box &box : user.seen)
        QVERIFY(box.step < 0 ? box.text.contains("bytes were lost or added") : box.settled);
    const QByteArray confirmed =
        replacing ? boardText({kLine7, kLine12, kLine1}) : boardText({kLine7, kLine12});
    // The board when the last question was answered is the one in the file.
    const auto answeredLast =
        std::find_if(user.seen.cbegin(), user.seen.cend(),
                     [&](const auto &box) { return box.step == steps.size() - 1; });
    QVERIFY(answeredLast != user.seen.cend());
    QCOMPARE(answeredLast->board, confirmed);
    QCOMPARE(readFile(target), confirmed);
    QCOMPARE(w.board().text(), confirmed);
}

void TestWindowFaults::deviceVanishesMidDownload_data()
{
    QTest::addColumn<QByteArray>("lastSent");
    QTest::addColumn<bool>("duringNoDataBox");
    QTest::newRow("between two records") << QByteArray() << false;
    QTest::newRow("inside a record") << kRecord1.left(3) << false;
    QTest::newRow("while the no-data box shows") << kNoData << true;
}

void TestWindowFaults::deviceVanishesMidDownload()
{
    QFETCH(QByteArray, lastSent);
    QFETCH(bool, duringNoDataBox);
    TForm1 &w = *window_;
    auto device = std::make_unique<PtyDevice>();
    const QString devicePath = device->path();
    startDownload(*device);
    const auto portClosed = [&w] { return !w.MSComm1->PortOpen(); };
    QList<ModalBoxUser::Step> pullTheCable;
    if (duringNoDataBox)
        pullTheCable.append({[&] { device->vanish(); }, portClosed, {}});
    ModalBoxUser user(w, pullTheCable);

    device->send(kRecord7 + kRecord12 + lastSent);
    QTRY_COMPARE(w.board().text(), boardText({kLine7, kLine12}));
    if (!duringNoDataBox)
        device->vanish();
    QTRY_VERIFY(portClosed() && user.idle());
    QTest::qWait(200); // room for a box that should not come

    // The loss is shown at once, in one box, with no click needed.
    QCOMPARE(states(w), kDisconnected);
    const QString lost = QStringLiteral("COM 3 (%1) lost its device and was closed; click "
                                        "Connect once the analyzer is back.")
                             .arg(devicePath);
    QStringList errors;
    for (const ModalBoxUser::Box &box : user.seen)
        if (box.icon == QMessageBox::Critical)
            errors << box.text;
    QCOMPARE(errors, QStringList{lost});
    QCOMPARE(w.board().text(), boardText({kLine7, kLine12}));
    QVERIFY(viewAgrees(w));

    // The analyzer is plugged in again: Connect works, and nothing from before the loss
    // mixes into the new readings.
    device.reset();
    PtyDevice back;
    back.linkAs(3);
    click(w.Button1);
    QCOMPARE(states(w), kConnected);
    click(w.Button14);
    QCOMPARE(back.received(4), QByteArray("SESK"));
    back.send(kRecord1);
    QTRY_COMPARE(w.board().text(), boardText({kLine7, kLine12, kLine1}));
    QTRY_VERIFY(viewAgrees(w));
    QTest::qWait(50);
    QCOMPARE(w.board().text(), boardText({kLine7, kLine12, kLine1}));
}

void TestWindowFaults::folderGoneAtSave_data()
{
    QTest::addColumn<bool>("replacedByAFile");
    QTest::addColumn<QString>("systemText");
    QTest::newRow("folder removed") << false << "No such file or directory";
    QTest::newRow("folder replaced by a file") << true << "Not a directory";
}

void TestWindowFaults::folderGoneAtSave()
{
    QFETCH(bool, replacedByAFile);
    QFETCH(QString, systemText);
    TForm1 &w = *window_;
    w.board().AppendLine(kLine7);
    w.board().AppendLine(kLine12);
    const QByteArray before = w.board().text();

    const QString folder = dir_.filePath(QStringLiteral("today"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/readings.txt");
    w.SaveDialog1->setPresenter(answerWith(path, [&] {
        QDir(folder).removeRecursively();
        if (replacedByAFile) {
            QFile file(folder);
            if (file.open(QIODevice::WriteOnly))
                file.write("notes\r\n");
        }
    }));
    ModalBoxUser user(w, {});
    click(w.Button8);
    QTRY_VERIFY(!user.seen.isEmpty() && user.idle());

    QCOMPARE(user.seen.size(), 1);
    QCOMPARE(user.seen.first().icon, QMessageBox::Critical);
    QCOMPARE(user.seen.first().text,
             QStringLiteral("Cannot create file \"%1\". %2.").arg(path, systemText));
    QCOMPARE(w.board().text(), before);
    QVERIFY(viewAgrees(w));
    // Nothing was left behind, neither the file nor a half-written one.
    const QStringList left =
        QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(left, replacedByAFile ? QStringList{"today"} : QStringList{});
    if (replacedByAFile)
        QCOMPARE(readFile(folder), QByteArray("notes\r\n"));
}

void TestWindowFaults::clearTextDuringDownload_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<ClearWhen>("when");
    QTest::addColumn<QByteArray>("after");
    // Sent before the click, then after it; the board afterwards holds line 12 and line 1.
    QTest::newRow("lines shown") << kRecord7 + kRecord12 << ClearWhen::LinesShown
                                 << kRecord12 + kRecord1;
    QTest::newRow("right behind an arriving line")
        << kRecord7 << ClearWhen::RightBehindALine << kRecord12 + kRecord1;
    QTest::newRow("half a record on the line")
        << kRecord7 + kRecord12.left(3) << ClearWhen::LinesShown << kRecord12.mid(3) + kRecord1;
}

void TestWindowFaults::clearTextDuringDownload()
{
    QFETCH(QByteArray, before);
    QFETCH(ClearWhen, when);
    QFETCH(QByteArray, after);
    TForm1 &w = *window_;
    PtyDevice device;
    startDownload(device);

    bool cleared = false;
    QMetaObject::Connection behind;
    if (when == ClearWhen::RightBehindALine) {
        // The click waits in the event queue while the view has not shown the line yet.
        behind = connect(&w.board(), &board::DataBoard::appended, this, [&] {
            disconnect(behind);
            QMetaObject::invokeMethod(
                this,
                [&] {
                    click(w.Button7);
                    cleared = true;
                },
                Qt::QueuedConnection);
        });
    }
    device.send(before);
    if (when == ClearWhen::LinesShown) {
        const qsizetype whole = before.size() / kRecord7.size();
        QTRY_VERIFY(w.board().text().count("\r\n") == whole && viewAgrees(w));
        click(w.Button7);
        cleared = true;
    }
    QTRY_VERIFY(cleared);
    QVERIFY(w.board().text().isEmpty());
    QTest::qWait(50); // a line the view still held back must not come back now
    QVERIFY(w.board().text().isEmpty());
    QCOMPARE(w.Memo1->toPlainText(), QString());

    device.send(after);
    const QByteArray expected = boardText({kLine12, kLine1});
    QTRY_COMPARE(w.board().text(), expected);
    QTRY_VERIFY(viewAgrees(w));
    QCOMPARE(w.Memo1->toPlainText(), displayed(expected));
}

QTEST_MAIN(TestWindowFaults)
#include "tst_window_faults.moc"
