// The data board on real files: what a load puts on it, what a save writes, and what a
// failure leaves behind.
#include "board/data_board.h"
#include "board/errors.h"
#include "board/text_file.h"
#include "files.h"
#include "samples.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using board::DataBoard;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info { };
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

} // namespace

class TestDataBoard : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void appendsAndSaves_data();
    void appendsAndSaves();
    void loadsAndSavesBack_data();
    void loadsAndSavesBack();
    void appendAfterLastLineWithoutBreak();
    void clearReplacesText();
    void failedLoadKeepsBoard_data();
    void failedLoadKeepsBoard();
    void loadLimitCountsBoardText_data();
    void loadLimitCountsBoardText();
    void loadsFilesShowingNoSize_data();
    void loadsFilesShowingNoSize();
    void failedSaveKeepsFile_data();
    void failedSaveKeepsFile();
    void saveKeepsPermissionsAndLinks();
    void fullDiskKeepsFile_data();
    void fullDiskKeepsFile();

private:
    QString path(const QString &name) const { return dir_->filePath(name); }
    QStringList folderEntries() const
    {
        return QDir(dir_->path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousFolder_;
};

void TestDataBoard::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    previousFolder_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_->path()));
}

void TestDataBoard::cleanup()
{
    QDir::setCurrent(previousFolder_);
    dir_.reset();
}

void TestDataBoard::appendsAndSaves_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("sample line, 36 bytes")
        << QByteArrayList{sample::kLine7} << sample::kLine7 + "\r\n";
    QTest::newRow("two lines") << QByteArrayList{"one", "two"} << QByteArray("one\r\ntwo\r\n");
    QTest::newRow("empty line") << QByteArrayList{""} << QByteArray("\r\n");
    QTest::newRow("empty board") << QByteArrayList{} << QByteArray();
}

void TestDataBoard::appendsAndSaves()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArray, file);
    DataBoard board;
    QSignalSpy appended(&board, &DataBoard::appended);
    QSignalSpy replaced(&board, &DataBoard::replaced);
    for (const QByteArray &line : lines)
        board.AppendLine(line);

    QByteArray observed;
    for (const QList<QVariant> &signal : appended)
        observed += signal.at(0).toByteArray();
    QCOMPARE(observed, board.text());
    QCOMPARE(appended.size(), lines.size());
    QCOMPARE(replaced.size(), 0);

    // An existing file is replaced without a question, also by an empty board.
    QVERIFY(writeFile(path("board.txt"), "older content that is longer than the new one\r\n"));
    board.SaveBoard("board.txt");
    QCOMPARE(readFile(path("board.txt")), file);
    QCOMPARE(folderEntries(), QStringList{"board.txt"});
}

void TestDataBoard::loadsAndSavesBack_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("board");
    QTest::newRow("sample line") << sample::kLine7 + "\r\n" << sample::kLine7 + "\r\n";
    QTest::newRow("LF only") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("A CR CR B") << QByteArray("A\r\rB") << QByteArray("A\r\n\r\nB");
    QTest::newRow("zero byte") << QByteArray("ab\r\n\0cd\n", 8) << QByteArray("ab\r\n");
    QTest::newRow("lead byte then CR") << QByteArray("x\xA6\r\n") << QByteArray("x\xA6\r\r\n");
    QTest::newRow("lead byte then LF") << QByteArray("x\xA6\ny") << QByteArray("x\xA6\ny");
    QTest::newRow("lead byte last") << QByteArray("x\r\n\xA6") << QByteArray("x\r\n\xA6");
    QTest::newRow("empty file") << QByteArray() << QByteArray();
}

void TestDataBoard::loadsAndSavesBack()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, board);
    QVERIFY(writeFile(path("in.txt"), file));
    DataBoard data;
    data.AppendLine("on the board before");
    QSignalSpy appended(&data, &DataBoard::appended);
    QSignalSpy replaced(&data, &DataBoard::replaced);

    data.LoadBoard(path("in.txt"));
    QCOMPARE(data.text(), board);
    QCOMPARE(replaced.size(), 1);
    QCOMPARE(appended.size(), 0);

    data.SaveBoard(path("out.txt"));
    QCOMPARE(readFile(path("out.txt")), board);
}

void TestDataBoard::appendAfterLastLineWithoutBreak()
{
    QVERIFY(writeFile(path("in.txt"), "a\nb"));
    DataBoard board;
    board.LoadBoard(path("in.txt"));
    QSignalSpy appended(&board, &DataBoard::appended);
    board.AppendLine("c");
    board.AppendLine("d");
    QCOMPARE(board.text(), QByteArray("a\r\nb\r\nc\r\nd"));
    QCOMPARE(appended.at(0).at(0).toByteArray(), QByteArray("\r\nc"));
    QCOMPARE(appended.at(1).at(0).toByteArray(), QByteArray("\r\nd"));
    board.SaveBoard(path("out.txt"));
    QCOMPARE(readFile(path("out.txt")), QByteArray("a\r\nb\r\nc\r\nd"));
}

void TestDataBoard::clearReplacesText()
{
    DataBoard board;
    board.AppendLine("a");
    QSignalSpy replaced(&board, &DataBoard::replaced);
    board.ClearBoard();
    QCOMPARE(board.text(), QByteArray());
    QCOMPARE(replaced.size(), 1);
    board.AppendLine("b");
    QCOMPARE(board.text(), QByteArray("b\r\n"));
}

void TestDataBoard::failedLoadKeepsBoard_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file, relative name")
        << "missing.txt"
        << "EFOpenError"
        << "Cannot open file \"%1/missing.txt\". No such file or directory";
    QTest::newRow("missing folder")
        << "nowhere/../nowhere/x.txt"
        << "EFOpenError"
        << "Cannot open file \"%1/nowhere/x.txt\". No such file or directory";
    QTest::newRow("a folder") << "."
                              << "EFOpenError"
                              << "Cannot open file \"%1\". Is a directory";
}

void TestDataBoard::failedLoadKeepsBoard()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, message);
    DataBoard board;
    board.AppendLine("kept");
    QSignalSpy replaced(&board, &DataBoard::replaced);
    try {
        board.LoadBoard(name);
        QFAIL("loaded");
    } catch (const core::Error &e) {
        QCOMPARE(core::errorClassName(e), kind);
        QCOMPARE(e.message(), message.contains("%1") ? message.arg(dir_->path()) : message);
    }
    QCOMPARE(board.text(), QByteArray("kept\r\n"));
    QCOMPARE(replaced.size(), 0);
}

void TestDataBoard::loadLimitCountsBoardText_data()
{
    // A file of `text`, then zero bytes up to `fileSize` (a sparse file: none on disk).
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<qsizetype>("boardSize"); // -1: refused
    // Lone LFs double: half the limit fills the board exactly, one byte more overflows it.
    const qsizetype half = DataBoard::kMaxLoadBytes / 2;
    QTest::newRow("exactly full once LFs become CR LF")
        << QByteArray(half, '\n') << qint64(half) << DataBoard::kMaxLoadBytes;
    QTest::newRow("one byte over once LFs become CR LF")
        << QByteArray(half + 1, '\n') << qint64(half + 1) << qsizetype(-1);
    // Far more than memory holds: only the text before the zero byte may be read.
    QTest::newRow("16 GiB file, short text before its zero bytes") << sample::kLine7
            + "\r\n" << (qint64(16) << 30) << qsizetype(36);
    QTest::newRow("file over the limit, text at the limit before a zero byte")
        << QByteArray(DataBoard::kMaxLoadBytes, 'x') << qint64(DataBoard::kMaxLoadBytes) + 2
        << DataBoard::kMaxLoadBytes;
}

void TestDataBoard::loadLimitCountsBoardText()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, fileSize);
    QFETCH(qsizetype, boardSize);
    {
        QFile file(path("in.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(text), text.size());
        QVERIFY(file.resize(fileSize));
    }
    DataBoard board;
    board.AppendLine("kept");
    if (boardSize >= 0) {
        board.LoadBoard(path("in.txt"));
        QCOMPARE(board.text().size(), boardSize);
    } else {
        QVERIFY_THROWS_EXCEPTION(EInvalidOperation, board.LoadBoard(path("in.txt")));
        QCOMPARE(board.text(), QByteArray("kept\r\n"));
    }
}

void TestDataBoard::loadsFilesShowingNoSize_data()
{
    // Files of the system that show a size of 0 whatever they hold.
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("extraMappings"); // made before the read, each its own line of maps
    QTest::addColumn<qsizetype>("maxBytes");
    QTest::addColumn<QByteArray>("firstBytes"); // null: refused as too long
    QTest::newRow("process status")
        << "/proc/self/status" << 0 << DataBoard::kMaxLoadBytes << QByteArray("Name:\t");
    QTest::newRow("mappings, many times a first read")
        << "/proc/self/maps" << 4000 << DataBoard::kMaxLoadBytes << QByteArray("");
    QTest::newRow("over the limit") << "/proc/self/status" << 0 << qsizetype(16) << QByteArray();
}

void TestDataBoard::loadsFilesShowingNoSize()
{
    QFETCH(QString, name);
    QFETCH(int, extraMappings);
    QFETCH(qsizetype, maxBytes);
    QFETCH(QByteArray, firstBytes);
    QCOMPARE(QFileInfo(name).size(), 0);
    // Every other page readable, so that no two neighbours merge into one line.
    const long page = ::sysconf(_SC_PAGESIZE);
    const qsizetype length = qsizetype(page) * extraMappings * 2;
    char *mapped = nullptr;
    if (extraMappings > 0) {
        mapped = static_cast<char *>(
            ::mmap(nullptr, size_t(length), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        QVERIFY(mapped != MAP_FAILED);
        for (int i = 0; i < extraMappings; ++i)
            QCOMPARE(::mprotect(mapped + 2 * i * page, size_t(page), PROT_READ), 0);
    }
    const auto unmap = qScopeGuard([&] {
        if (mapped)
            ::munmap(mapped, size_t(length));
    });

    if (firstBytes.isNull()) {
        QVERIFY_THROWS_EXCEPTION(EInvalidOperation, board::readFileText(name, maxBytes));
        return;
    }
    const QByteArray text = board::readFileText(name, maxBytes);
    QVERIFY(text.startsWith(firstBytes));
    QVERIFY(text.endsWith('\n'));
    for (int i = 0; i < extraMappings; ++i) {
        const QByteArray start = QByteArray::number(quintptr(mapped + 2 * i * page), 16) + '-';
        QVERIFY2(text.contains('\n' + start), start.constData());
    }
    DataBoard board;
    board.LoadBoard(name);
    QVERIFY(board.text().startsWith(firstBytes));
    QVERIFY(board.text().endsWith("\r\n"));
}

void TestDataBoard::failedSaveKeepsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder")
        << "nowhere/x.txt"
        << "Cannot create file \"%1/nowhere/x.txt\". No such file or directory";
    QTest::newRow("read-only file") << "readonly.txt"
                                    << "Cannot create file \"%1/readonly.txt\". Permission denied";
    QTest::newRow("a folder") << "sub"
                              << "Cannot create file \"%1/sub\". Is a directory";
}

void TestDataBoard::failedSaveKeepsFile()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QVERIFY(writeFile(path("readonly.txt"), "saved readings\r\n"));
    QVERIFY(QFile::setPermissions(path("readonly.txt"), QFile::ReadOwner | QFile::ReadGroup));
    QVERIFY(QDir(dir_->path()).mkdir("sub"));
    const QStringList entries = folderEntries();

    DataBoard board;
    board.AppendLine("new");
    try {
        board.SaveBoard(name);
        QFAIL("saved");
    } catch (const EFCreateError &e) {
        QCOMPARE(e.message(), message.arg(dir_->path()));
    }
    QCOMPARE(readFile(path("readonly.txt")), QByteArray("saved readings\r\n"));
    QCOMPARE(modeOf(path("readonly.txt")), mode_t(0440));
    QCOMPARE(folderEntries(), entries);
}

void TestDataBoard::saveKeepsPermissionsAndLinks()
{
    DataBoard board;
    board.AppendLine("new");
    const mode_t previousMask = ::umask(022);
    board.SaveBoard(path("new.txt"));
    ::umask(previousMask);
    QCOMPARE(modeOf(path("new.txt")), mode_t(0644));

    QVERIFY(writeFile(path("private.txt"), "old"));
    QVERIFY(QFile::setPermissions(path("private.txt"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(QFile::link(path("private.txt"), path("link.txt")));
    board.SaveBoard(path("link.txt"));
    QCOMPARE(readFile(path("private.txt")), QByteArray("new\r\n"));
    QCOMPARE(modeOf(path("private.txt")), mode_t(0640));
    QVERIFY(QFileInfo(path("link.txt")).isSymLink());
}

void TestDataBoard::fullDiskKeepsFile_data()
{
    QTest::addColumn<QByteArray>("original"); // null: no file before the save
    QTest::newRow("existing file") << QByteArray("saved readings\r\n");
    QTest::newRow("new file") << QByteArray();
}

void TestDataBoard::fullDiskKeepsFile()
{
    QFETCH(QByteArray, original);
    if (!original.isNull())
        QVERIFY(writeFile(path("readings.txt"), original));
    DataBoard board;
    for (int i = 0; i < 10000; ++i)
        board.AppendLine(sample::kLine7);

    // A file-size limit makes the disk "full" after 64 KiB for the child alone.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const rlimit limit{64 * 1024, 64 * 1024};
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            board.SaveBoard(path("readings.txt"));
        } catch (const EWriteError &e) {
            ::_exit(e.message() == "Stream write error" ? 0 : 3);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(folderEntries(), original.isNull() ? QStringList() : QStringList{"readings.txt"});
    if (!original.isNull())
        QCOMPARE(readFile(path("readings.txt")), original);
}

QTEST_GUILESS_MAIN(TestDataBoard)
#include "tst_data_board.moc"
