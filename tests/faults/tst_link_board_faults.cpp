// Faults at the bench, below the window: an analyzer that never answers, the board cleared
// while readings arrive, a folder nobody may write to, a huge file and a file of noise.
// Each ends with nothing lost and a clear message.
#include "board/data_board.h"
#include "board/errors.h"
#include "board/line_breaks.h"
#include "files.h"
#include "link_rig.h"
#include "pty_device.h"

#include <QtTest>

#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sample;

class TestLinkBoardFaults : public QObject {
    Q_OBJECT
private slots:
    void init() { clearTestPortFolder(); }
    void analyzerNeverAnswers();
    void clearTextDuringDownload();
    void readOnlyFolder();
    void folderRemovedBeforeSave();
    void millionLineFile();
    void fileOfRandomBytes();
};

void TestLinkBoardFaults::analyzerNeverAnswers()
{
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.connectAndDownload();
    QCOMPARE(device.received(4), QByteArray("SESK"));

    // No time-out, no message: the program just goes on waiting, connected.
    QTest::qWait(600);
    QVERIFY(rig.errors.isEmpty());
    QCOMPARE(rig.noDataShown, 0);
    QVERIFY(rig.board.text().isEmpty());
    QVERIFY(rig.comm.PortOpen());

    // A later download still goes out, and a late answer is still taken.
    rig.session.download();
    QCOMPARE(device.received(2), QByteArray("SK"));
    device.send(kRecord7);
    QTRY_COMPARE(rig.board.text(), boardText({kLine7}));
}

void TestLinkBoardFaults::clearTextDuringDownload()
{
    PtyDevice device;
    device.linkAs(3);
    Rig rig;
    rig.connectAndDownload();
    device.send(kRecord7);
    QTRY_COMPARE(rig.lines(), 1);

    rig.board.ClearBoard();
    // Half a record is already on its way when the board is cleared.
    device.send(kRecord12.left(3));
    QTest::qWait(30);
    device.send(kRecord12.mid(3) + kRecord1);
    QTRY_COMPARE(rig.lines(), 2);
    QTest::qWait(50);
    QCOMPARE(rig.board.text(), boardText({kLine12, kLine1}));
    QVERIFY(rig.errors.isEmpty());
}

void TestLinkBoardFaults::readOnlyFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Reachable by the unprivileged child, writable by nobody but the owner.
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString folder = dir.filePath(QStringLiteral("readonly"));
    QVERIFY(QDir().mkdir(folder));
    const QString saved = folder + QStringLiteral("/data of battery analyzer.txt");
    QVERIFY(writeFile(saved, "yesterday\r\n"));
    QVERIFY(::chmod(QFile::encodeName(saved).constData(), 0644) == 0);
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);

    const int result = runUnprivileged([&] {
        board::DataBoard board;
        board.AppendLine(kLine7);
        try {
            board.SaveBoard(saved);
            return 1;
        } catch (const EFCreateError &e) {
            return e.message()
                    == QStringLiteral("Cannot create file \"%1\". Permission denied").arg(saved)
                ? 0
                : 2;
        }
    });
    QCOMPARE(result, 0);
    QCOMPARE(readFile(saved), QByteArray("yesterday\r\n"));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
             1);
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
}

void TestLinkBoardFaults::folderRemovedBeforeSave()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("today"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/readings.txt");
    QVERIFY(QDir().rmdir(folder)); // gone between the dialog and the save

    board::DataBoard board;
    board.AppendLine(kLine7);
    try {
        board.SaveBoard(path);
        QFAIL("saved into a removed folder");
    } catch (const EFCreateError &e) {
        QCOMPARE(e.message(),
                 QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(path));
    }
    QCOMPARE(board.text(), boardText({kLine7}));
    QVERIFY(!QFileInfo::exists(folder));
}

void TestLinkBoardFaults::millionLineFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("million.txt"));
    QByteArray text;
    text.reserve(40 * 1000 * 1000);
    const QByteArray lines[3] = {kLine7, kLine12, kLine1};
    for (int i = 0; i < 1000000; ++i)
        text += lines[i % 3] + "\r\n";
    QVERIFY(writeFile(path, text));

    board::DataBoard board;
    board.LoadBoard(path);
    QCOMPARE(board.text().size(), text.size());
    QVERIFY(board.text() == text);

    board.AppendLine(kLine7);
    const QString copy = dir.filePath(QStringLiteral("copy.txt"));
    board.SaveBoard(copy);
    const QByteArray saved = readFile(copy);
    QCOMPARE(saved.count("\r\n"), 1000001);
    QVERIFY(saved == text + kLine7 + "\r\n");
}

void TestLinkBoardFaults::fileOfRandomBytes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("noise.bin"));
    std::mt19937 rng(7);
    QByteArray noise(1 << 20, Qt::Uninitialized);
    for (char &c : noise)
        c = char(rng() % 255 + 1); // no zero byte, so the whole file is text
    QVERIFY(writeFile(path, noise));

    board::DataBoard board;
    board.LoadBoard(path);
    QVERIFY(!board.text().contains('\0'));
    QVERIFY(board.text().size() >= noise.size());
    // A reading that arrives afterwards goes on a line of its own, and the board saves as
    // it stands.
    const QByteArray before = board.text();
    board.AppendLine(kLine7);
    QVERIFY(board.text().startsWith(before));
    QVERIFY(board.text().endsWith(kLine7) || board.text().endsWith(kLine7 + "\r\n"));
    const QString copy = dir.filePath(QStringLiteral("copy.bin"));
    board.SaveBoard(copy);
    QVERIFY(readFile(copy) == board.text());
}

QTEST_GUILESS_MAIN(TestLinkBoardFaults)
#include "tst_link_board_faults.moc"
