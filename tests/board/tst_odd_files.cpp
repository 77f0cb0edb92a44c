// The data board on files that are not plain files in a folder of one's own: pipes, terminals
// and devices, which must never keep the caller waiting or end the program; links to files
// yet to be made; and files that may be written in folders that may not.
#include "board/data_board.h"
#include "board/device_write.h"
#include "board/errors.h"
#include "board/file_name.h"
#include "files.h"
#include "samples.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <optional>
#include <thread>
#include <unistd.h>

using board::DataBoard;

namespace {

// A named pipe ("fifo", at fifoPath), a terminal ("pty") or the device at kind; closes what
// it opened.
class OddFile {
public:
    OddFile(const QString &kind, const QString &fifoPath) : name(kind)
    {
        if (kind == "fifo") {
            name = fifoPath;
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0666), 0);
        } else if (kind == "pty") {
            int master = -1, slave = -1;
            QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
            fds_ = {master, slave};
            name = QString::fromLocal8Bit(::ttyname(slave));
        }
    }
    ~OddFile()
    {
        for (const int fd : fds_)
            ::close(fd);
    }
    QString name;

private:
    QList<int> fds_;
};

// A call that waited on its file would not come back at all; the margin over a device's own
// time allows for a slow build (sanitizers) on a busy machine.
constexpr qint64 kPromptMillis = board::kDeviceWriteMillis + 4000;

// A program waiting in opening the pipe to write into it until some reader opens it; the
// load must not be that reader.
class WaitingWriter {
public:
    explicit WaitingWriter(const QString &fifo)
        : name_(QFile::encodeName(fifo)),
          thread_([this] { fd_ = ::open(name_.constData(), O_WRONLY | O_CLOEXEC); })
    {
        QTest::qWait(50); // for it to be waiting
    }
    ~WaitingWriter()
    {
        const int reader =
            ::open(name_.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); // lets it go
        thread_.join();
        ::close(reader);
        ::close(fd_);
    }
    bool stillWaiting() const { return fd_ < 0; }

private:
    QByteArray name_;
    std::atomic<int> fd_ = -1;
    std::thread thread_;
};

// Reads the pipe's reading end as a program at the other end would: `limit` bytes at most,
// then closes it.
class PipeReader {
public:
    PipeReader(int fd, qsizetype limit)
        : thread_([this, fd, limit] {
              pollfd entry{fd, POLLIN, 0};
              if (::poll(&entry, 1, 5000) == 1) {
                  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
                  char buffer[4096];
                  while (received.size() < limit) {
                      const ssize_t n = ::read(
                          fd, buffer, size_t(std::min<qsizetype>(limit - received.size(), 4096)));
                      if (n <= 0)
                          break;
                      received.append(buffer, n);
                  }
              }
              ::close(fd);
          })
    { }
    ~PipeReader() { taken(); }

    // What it read, once it has closed the pipe.
    const QByteArray &taken()
    {
        if (thread_.joinable())
            thread_.join();
        return received;
    }

private:
    QByteArray received;
    std::thread thread_;
};

} // namespace

class TestOddFiles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void openRefusesAllButRegularFiles_data();
    void openRefusesAllButRegularFiles();
    void saveToPipesAndDevices_data();
    void saveToPipesAndDevices();
    void saveThroughLinks_data();
    void saveThroughLinks();
    void saveInFolderNotWritable_data();
    void saveInFolderNotWritable();
    void namesKeepEveryByte();

private:
    QString path(const QString &name) const { return dir_->filePath(name); }
    QStringList folderEntries(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot
                                      | QDir::System);
    }

    std::unique_ptr<QTemporaryDir> dir_;
};

void TestOddFiles::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestOddFiles::cleanup()
{
    ::chmod(QFile::encodeName(dir_->path()).constData(), 0700);
    dir_.reset();
}

void TestOddFiles::openRefusesAllButRegularFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("writer");
    QTest::newRow("named pipe with no writer") << "fifo" << false;
    QTest::newRow("named pipe a program waits to write into") << "fifo" << true;
    QTest::newRow("terminal") << "pty" << false;
    QTest::newRow("device that reads as empty") << "/dev/null" << false;
}

void TestOddFiles::openRefusesAllButRegularFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, writer);
    OddFile file(kind, path("readings.txt"));
    const QString &name = file.name;
    std::optional<WaitingWriter> waitingWriter;
    if (writer)
        waitingWriter.emplace(name);

    DataBoard board;
    board.AppendLine("kept");
    QSignalSpy replaced(&board, &DataBoard::replaced);
    QElapsedTimer clock;
    clock.start();
    try {
        board.LoadBoard(name);
        QFAIL("loaded");
    } catch (const EFOpenError &e) {
        QCOMPARE(e.message(), "Cannot open file \"" + name + "\". Not a regular file");
    }
    QVERIFY(clock.elapsed() < kPromptMillis);
    QCOMPARE(board.text(), QByteArray("kept\r\n"));
    QCOMPARE(replaced.size(), 0);
    if (waitingWriter) {
        QTest::qWait(100);
        QVERIFY2(waitingWriter->stillWaiting(),
                 "the load opened the pipe and let its writer go on");
    }
}

void TestOddFiles::saveToPipesAndDevices_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qsizetype>("readerTakes"); // -1: no reader
    QTest::addColumn<QString>("error"); // empty: saved
    const QString cannotCreate = "Cannot create file \"%1\". ";
    QTest::newRow("named pipe with no reader")
        << "fifo" << qsizetype(-1) << cannotCreate + "No program reads from the pipe";
    QTest::newRow("named pipe whose reader closes early")
        << "fifo" << qsizetype(10) << "Stream write error";
    QTest::newRow("named pipe whose reader takes everything")
        << "fifo" << (qsizetype(1) << 30) << "";
    QTest::newRow("terminal nobody reads") << "pty" << qsizetype(-1) << "Stream write error";
    QTest::newRow("device that takes anything") << "/dev/null" << qsizetype(-1) << "";
}

void TestOddFiles::saveToPipesAndDevices()
{
    QFETCH(QString, kind);
    QFETCH(qsizetype, readerTakes);
    QFETCH(QString, error);
    OddFile file(kind, path("readings.txt"));
    const QString &name = file.name;
    std::unique_ptr<PipeReader> reader;
    if (readerTakes >= 0) {
        const int fd =
            ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(fd >= 0);
        reader = std::make_unique<PipeReader>(fd, readerTakes);
    }

    // Far more than a pipe or a terminal buffers, so that the reader's pace matters.
    DataBoard board;
    for (int i = 0; i < 10000; ++i)
        board.AppendLine(sample::kLine7);
    const QByteArray before = board.text();
    QElapsedTimer clock;
    clock.start();
    try {
        board.SaveBoard(name); // without the fix, SIGPIPE ends the test here
        QVERIFY2(error.isEmpty(), "saved");
    } catch (const core::Error &e) {
        QCOMPARE(e.message(), QString(error).replace("%1", name));
    }
    QVERIFY(clock.elapsed() < kPromptMillis);
    QCOMPARE(board.text(), before);
    if (reader)
        QCOMPARE(reader->taken(), before.left(readerTakes));
}

void TestOddFiles::saveThroughLinks_data()
{
    QTest::addColumn<QStringList>("links"); // "name>target", made in this order
    QTest::addColumn<QString>("written"); // the file that gets the board; empty: none
    QTest::addColumn<QString>("error");
    QTest::newRow("to a missing file beside it") << QStringList{"link.txt>new.txt"} << "new.txt"
                                                 << "";
    QTest::newRow("to a missing file in a sub folder")
        << QStringList{"link.txt>sub/new.txt"} << "sub/new.txt"
        << "";
    QTest::newRow("to an absolute name") << QStringList{"link.txt>%1/sub/new.txt"} << "sub/new.txt"
                                         << "";
    QTest::newRow("through a second link")
        << QStringList{"second>sub/new.txt", "link.txt>second"} << "sub/new.txt"
        << "";
    QTest::newRow("into a folder through a link to it")
        << QStringList{"folder>sub", "link.txt>folder/../sub/new.txt"} << "sub/new.txt"
        << "";
    QTest::newRow("to a missing folder")
        << QStringList{"link.txt>gone/new.txt"} << ""
        << "Cannot create file \"%1/link.txt\". No such file or directory";
    QTest::newRow("in a loop")
        << QStringList{"link.txt>loop", "loop>link.txt"} << ""
        << "Cannot create file \"%1/link.txt\". Too many levels of symbolic links";
}

void TestOddFiles::saveThroughLinks()
{
    QFETCH(QStringList, links);
    QFETCH(QString, written);
    QFETCH(QString, error);
    QVERIFY(QDir(dir_->path()).mkdir("sub"));
    for (const QString &link : links) {
        const QStringList parts = link.split('>');
        const QString target = parts[1].contains("%1") ? parts[1].arg(dir_->path()) : parts[1];
        QCOMPARE(::symlink(QFile::encodeName(target).constData(),
                           QFile::encodeName(path(parts[0])).constData()),
                 0);
    }
    const QStringList entries = folderEntries(dir_->path()) + folderEntries(path("sub"));

    DataBoard board;
    board.AppendLine("new");
    try {
        board.SaveBoard(path("link.txt"));
        QVERIFY2(error.isEmpty(), "saved");
        QCOMPARE(readFile(path(written)), QByteArray("new\r\n"));
    } catch (const EFCreateError &e) {
        QCOMPARE(e.message(), QString(error).replace("%1", dir_->path()));
        QCOMPARE(folderEntries(dir_->path()) + folderEntries(path("sub")), entries);
    }
    for (const QString &link : links)
        QVERIFY(QFileInfo(path(link.section('>', 0, 0))).isSymLink());
}

void TestOddFiles::saveInFolderNotWritable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error"); // empty: saved in place
    QTest::newRow("writable file") << "writable.txt"
                                   << "";
    QTest::newRow("read-only file") << "readonly.txt"
                                    << "Cannot create file \"%1\". Permission denied";
    QTest::newRow("new file") << "new.txt"
                              << "Cannot create file \"%1\". Permission denied";
    // A folder anyone may write, but only a file's owner may replace it (as in /tmp).
    QTest::newRow("another user's writable file in a sticky folder") << "sticky/others.txt"
                                                                     << "";
}

void TestOddFiles::saveInFolderNotWritable()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    const bool root = ::geteuid() == 0;
    if (name.startsWith("sticky/") && !root)
        QSKIP("A file of another user can only be made as root");
    const QByteArray old = "saved readings, longer than the new ones\r\n";
    for (const char *file : {"writable.txt", "readonly.txt"}) {
        QFile f(path(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    QCOMPARE(::chmod(QFile::encodeName(path("writable.txt")).constData(), 0666), 0);
    QCOMPARE(::chmod(QFile::encodeName(path("readonly.txt")).constData(), 0444), 0);
    if (root) {
        QVERIFY(QDir(dir_->path()).mkdir("sticky"));
        QVERIFY(QFile::copy(path("writable.txt"), path("sticky/others.txt")));
        QCOMPARE(::chmod(QFile::encodeName(path("sticky/others.txt")).constData(), 0666), 0);
        QCOMPARE(::chmod(QFile::encodeName(path("sticky")).constData(), 01777), 0);
    }
    // Root's folder that nobody else may write; as anyone else, a folder of one's own made
    // read-only.
    QCOMPARE(::chmod(QFile::encodeName(dir_->path()).constData(), root ? 0755 : 0555), 0);
    const QString folder = QFileInfo(path(name)).absolutePath();
    const QStringList entries = folderEntries(folder);
    const ino_t inode = inodeOf(path(name));

    DataBoard board;
    board.AppendLine("new");
    const QString expected = QString(error).replace("%1", path(name));
    const int status = runUnprivileged([&] {
        try {
            board.SaveBoard(path(name));
            if (expected.isEmpty())
                return 0;
            qWarning("saved, expected: %s", qPrintable(expected));
        } catch (const core::Error &e) {
            if (e.message() == expected)
                return 0;
            qWarning("raised: %s", qPrintable(e.message()));
        }
        return 1;
    });
    if (status == kCannotDropPrivileges)
        QSKIP("Running as root, but cannot become the unprivileged user 65534 here");
    QCOMPARE(status, 0);
    QCOMPARE(folderEntries(folder), entries); // no file left beside it
    if (error.isEmpty()) {
        QCOMPARE(readFile(path(name)), QByteArray("new\r\n"));
        QCOMPARE(inodeOf(path(name)), inode); // the same file, overwritten
    } else if (inode) {
        QCOMPARE(readFile(path(name)), old);
    }
}

// Any bytes but zero make a name that comes back byte for byte: every one- and two-byte name,
// and longer ones mixing valid UTF-8 with stray bytes.
void TestOddFiles::namesKeepEveryByte()
{
    QList<QByteArray> names;
    for (int a = 1; a < 256; ++a) {
        names << QByteArray(1, char(a));
        for (int b = 1; b < 256; ++b)
            names << QByteArray{char(a), char(b)};
    }
    QRandomGenerator random(7);
    const QByteArray pieces[] = {"a",    "\xC3\xA9", "\xE6\xB5\x8B", "\xF0\x9F\x94\x8B",
                                 "\xFF", "\xC3",     "\xE6\xB5",     "\x80",
                                 "/"};
    for (int n = 0; n < 20000; ++n) {
        QByteArray name;
        for (int k = random.bounded(2, 9); k > 0; --k)
            name += pieces[random.bounded(int(std::size(pieces)))];
        names << name;
    }
    for (const QByteArray &name : names)
        QCOMPARE(board::systemName(board::nameFromSystem(name)), name);
    QVERIFY(board::systemName(QStringLiteral("a\0b")).isNull());
}

QTEST_GUILESS_MAIN(TestOddFiles)
#include "tst_odd_files.moc"
