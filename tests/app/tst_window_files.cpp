// Open and Save through the real window and Qt's own file dialogs, with files that are no
// plain files: a named pipe or a terminal must be refused at once with the board kept, and a
// file the user may write in a folder the user may not is still saved.
#include "app/form1.h"
#include "boardview/board_view.h"
#include "files.h"
#include "modal_box_user.h"
#include "samples.h"
#include "window_fixture.h"

#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace {

// A handler that waited on its file would never come back; the dialog and boxes are answered
// within a fraction of this, also in a sanitizer build on a busy machine.
constexpr qint64 kPromptMillis = 10000;

// The unprivileged user that runs a test which root, who may write anything, cannot.
constexpr uid_t kNobody = 65534;
// Set for the test run again as that user.
constexpr char kAsNobody[] = "BATTERY_TEST_AS_NOBODY";

} // namespace

class TestWindowFiles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void oddFileRefusedAtOnce_data();
    void oddFileRefusedAtOnce();
    void saveInFolderNotWritable();

private:
    QString path(const QString &name) const { return dir_->filePath(name); }
    void fillBoard()
    {
        window_->board().AppendLine(sample::kLine7);
        window_->board().AppendLine(sample::kLine12);
    }
    void runAsNobody(const char *testFunction);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TForm1> window_;
};

void TestWindowFiles::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    window_ = openWindow();
    QVERIFY(window_);
}

void TestWindowFiles::cleanup()
{
    window_.reset();
    ::chmod(QFile::encodeName(dir_->path()).constData(), 0700);
    dir_.reset();
}

void TestWindowFiles::oddFileRefusedAtOnce_data()
{
    QTest::addColumn<bool>("save"); // false: Open
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("open a named pipe") << false << "fifo"
                                       << "Cannot open file \"%1\". Not a regular file.";
    QTest::newRow("open a terminal") << false << "pty"
                                     << "Cannot open file \"%1\". Not a regular file.";
    QTest::newRow("save to a named pipe nobody reads")
        << true << "fifo"
        << "Cannot create file \"%1\". No program reads from the pipe.";
}

void TestWindowFiles::oddFileRefusedAtOnce()
{
    QFETCH(bool, save);
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QString name = path("readings.txt");
    int master = -1, slave = -1;
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0666), 0);
    } else {
        QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        name = QString::fromLocal8Bit(::ttyname(slave));
    }
    fillBoard();
    const QByteArray before = window_->board().text();

    // Save asks before it replaces what is there; the answer is yes.
    ModalBoxUser answerer(save ? QList{QMessageBox::Yes} : QList<QMessageBox::StandardButton>{});
    FileDialogUser paste([&](QLineEdit *field) { pastePathAndConfirm(field, name); });
    QElapsedTimer clock;
    clock.start();
    (save ? window_->Button8 : window_->Button16)->click();
    QVERIFY(clock.elapsed() < kPromptMillis);

    QCOMPARE(answerer.seen.size(), save ? 2 : 1);
    QCOMPARE(answerer.seen.last().icon, QMessageBox::Critical);
    QCOMPARE(answerer.seen.last().text, QString(message).replace("%1", name));
    QCOMPARE(window_->board().text(), before);
    QCoreApplication::processEvents();
    QVERIFY(viewAgrees(*window_));
    for (const int fd : {master, slave})
        if (fd >= 0)
            ::close(fd);
}

void TestWindowFiles::saveInFolderNotWritable()
{
    // Root may write into any folder, so the case exists only for another user.
    if (::geteuid() == 0) {
        QVERIFY2(!qEnvironmentVariableIsSet(kAsNobody), "still root after giving it up");
        return runAsNobody("saveInFolderNotWritable");
    }

    const QString target = path("readings.txt");
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("readings of the day before, longer than today's\r\n");
    }
    QCOMPARE(::chmod(QFile::encodeName(dir_->path()).constData(), 0555), 0);
    const ino_t inode = inodeOf(target);
    fillBoard();

    ModalBoxUser answerer({QMessageBox::Yes});
    FileDialogUser paste([&](QLineEdit *field) { pastePathAndConfirm(field, target); });
    window_->Button8->click();
    // The question before replacing, and no error.
    QVERIFY2(answerer.seen.size() == 1,
             qPrintable(answerer.seen.isEmpty() ? "none" : answerer.seen.last().text));
    QCOMPARE(readFile(target), window_->board().text());
    QCOMPARE(inodeOf(target), inode); // overwritten where it is
    QCOMPARE(QDir(dir_->path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System),
             QStringList{"readings.txt"});
}

// Runs one test function of this executable again as the unprivileged user, with a home
// and runtime folder of that user's own, and takes over its outcome.
void TestWindowFiles::runAsNobody(const char *testFunction)
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    for (const char *sub : {"config", "runtime"})
        QVERIFY(QDir(home.path()).mkdir(sub));
    for (const char *sub : {"", "/config", "/runtime"})
        QCOMPARE(::chown(QFile::encodeName(home.path() + sub).constData(), kNobody, kNobody), 0);
    QCOMPARE(::chmod(QFile::encodeName(home.path() + "/runtime").constData(), 0700), 0);

    // A copy of this executable (its own libraries are linked in), as the build folder may
    // lie where that user cannot reach it, such as root's home.
    const QString copy =
        home.path() + "/" + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QCOMPARE(::chmod(QFile::encodeName(copy).constData(), 0755), 0);

    QProcess child;
    child.setWorkingDirectory(home.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
    environment.insert("XDG_RUNTIME_DIR", home.path() + "/runtime");
    environment.insert(kAsNobody, "1");
    // So may the leak checker's suppressions, which it must read or fail.
    QStringList leakOptions = environment.value("LSAN_OPTIONS").split(':');
    for (QString &option : leakOptions) {
        if (option.startsWith("suppressions=")) {
            const QString suppressions = home.path() + "/lsan.supp";
            QVERIFY(QFile::copy(option.mid(13), suppressions));
            option = "suppressions=" + suppressions;
        }
    }
    environment.insert("LSAN_OPTIONS", leakOptions.join(':'));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0
            || ::setresuid(kNobody, kNobody, kNobody) != 0)
            ::_exit(kCannotDropPrivileges);
    });
    child.start(copy, {QString::fromLatin1(testFunction)});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == kCannotDropPrivileges)
        QSKIP("Running as root, but cannot become the unprivileged user 65534 here");
    // Its failures, without the platform plugin's chatter.
    QByteArray failures;
    for (const QByteArray &line : output.split('\n'))
        if (line.startsWith("FAIL") || line.startsWith("   "))
            failures += line + '\n';
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             failures.constData());
    QVERIFY2(output.contains("PASS   : TestWindowFiles::" + QByteArray(testFunction) + "()"),
             output.constData());
}

QTEST_MAIN(TestWindowFiles)
#include "tst_window_files.moc"
