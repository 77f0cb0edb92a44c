// The link against the simulated analyzer, run as a child process.
#include "files.h"
#include "link_rig.h"
#include "pty_device.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kCom = 5;

// analyzer-sim as COM 5 in the test's port folder.
class Simulator {
public:
    explicit Simulator(const QStringList &memoryArgs)
    {
        process_.start(QStringLiteral(ANALYZER_SIM),
                       QStringList{"--ports", testPortFolder(), "--com", QString::number(kCom)}
                           + memoryArgs);
        while (!process_.canReadLine() && process_.waitForReadyRead(5000)) { }
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~Simulator() { stop(); }

    const QString &path() const { return path_; }
    void stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished(5000);
        }
    }
    QProcess &process() { return process_; }

private:
    QProcess process_;
    QString path_;
};

} // namespace

class TestAnalyzerSim : public QObject {
    Q_OBJECT
private slots:
    void init() { clearTestPortFolder(); }

    void download_data();
    void download();
    void clearMemoryEmptiesIt();
    void linePacing();
    void stopsCleanly();
    void refusesBadInput_data();
    void refusesBadInput();
};

void TestAnalyzerSim::download_data()
{
    QTest::addColumn<QStringList>("memory");
    QTest::addColumn<QByteArray>("readings"); // for --readings
    QTest::addColumn<int>("lines");
    QTest::addColumn<QList<QByteArray>>("someLines"); // the first lines expected
    QTest::addColumn<int>("noData");
    using L = QList<QByteArray>;
    QTest::newRow("typical readings")
        << QStringList{"--full-speed"} << QByteArray() << 20
        << L{line(" Group 1       04.85m~     12.71V"), line(" Group 2       05.12m~     12.65V")}
        << 0;
    QTest::newRow("generated") << QStringList{"--generate", "500", "--full-speed"} << QByteArray()
                               << 500 << L{} << 0;
    QTest::newRow("from a file")
        << QStringList{"--readings", "{file}", "--full-speed"}
        << QByteArray("# two readings\n07 05 02 37 10 1B\n\n0c0030 3904d2  # group 12\n") << 2
        << L{sample::kLine7, sample::kLine12} << 0;
    QTest::newRow("empty") << QStringList{"--empty"} << QByteArray() << 0 << L{} << 1;
}

void TestAnalyzerSim::download()
{
    QFETCH(QStringList, memory);
    QFETCH(QByteArray, readings);
    QFETCH(int, lines);
    QFETCH(QList<QByteArray>, someLines);
    QFETCH(int, noData);
    QTemporaryDir dir;
    const QString file = dir.filePath("readings.txt");
    QVERIFY(writeFile(file, readings));
    memory.replaceInStrings("{file}", file);

    Simulator sim(memory);
    QVERIFY(sim.path().startsWith("/dev/pts/"));
    Rig rig;
    rig.port = kCom;
    rig.session.open(rig.port);
    rig.session.download();
    QTRY_COMPARE_WITH_TIMEOUT(rig.lines() + rig.noDataShown, lines + noData, 10000);
    QTest::qWait(100);
    QCOMPARE(rig.lines(), lines);
    QCOMPARE(rig.noDataShown, noData);
    QVERIFY(rig.board.text().startsWith(boardText(someLines)));
    QVERIFY(rig.errors.isEmpty());
}

void TestAnalyzerSim::clearMemoryEmptiesIt()
{
    Simulator sim({"--generate", "3", "--full-speed"});
    Rig rig;
    rig.port = kCom;
    rig.session.open(rig.port);
    rig.session.clearMemory();
    rig.session.download();
    QTRY_COMPARE(rig.noDataShown, 1);
    QTest::qWait(100);
    QCOMPARE(rig.lines(), 0);
    rig.session.close();

    sim.stop();
    const QByteArray log = sim.process().readAllStandardError();
    const QByteArrayList commands = {
        "received S E (connect)", "received S U (clear memory): 3 readings erased",
        "received S K (download): memory empty, sending the no-data reply",
        "received S T (disconnect)"};
    qsizetype at = 0;
    for (const QByteArray &command : commands) {
        at = log.indexOf(command, at);
        QVERIFY2(at >= 0, qPrintable("not logged in order: " + command + "\n" + log));
    }
}

void TestAnalyzerSim::linePacing()
{
    // Twenty records are 120 bytes; at 2400 baud that is half a second at the least.
    Simulator sim({});
    Rig rig;
    rig.port = kCom;
    rig.session.open(rig.port);
    QElapsedTimer timer;
    timer.start();
    rig.session.download();
    QTRY_COMPARE_WITH_TIMEOUT(rig.lines(), 20, 10000);
    QVERIFY2(timer.elapsed() >= 450, qPrintable(QString::number(timer.elapsed()) + " ms"));
}

void TestAnalyzerSim::stopsCleanly()
{
    Simulator sim({"--empty"});
    const QString entry = testPortFolder() + QStringLiteral("/com%1").arg(kCom);
    QCOMPARE(QFile::symLinkTarget(entry), sim.path());
    sim.stop();
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo(entry).isSymLink());
}

void TestAnalyzerSim::refusesBadInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("readings");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("COM 0") << QStringList{"--ports", "{dir}", "--com", "0"} << QByteArray() << 2
                           << QByteArray("--com takes a whole number from 1 to 255, not '0'");
    QTest::newRow("two memories")
        << QStringList{"--ports", "{dir}", "--com", "3", "--empty", "--generate", "2"}
        << QByteArray() << 2
        << QByteArray("choose at most one of --readings, --generate and --empty");
    QTest::newRow("five-byte record")
        << QStringList{"--ports", "{dir}", "--com", "3", "--readings", "{file}"}
        << QByteArray("07 05 02 37 10 1B\n07 05 02 37 10\n") << 1
        << QByteArray("readings.txt:2: expected six bytes in hexadecimal");
}

void TestAnalyzerSim::refusesBadInput()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, readings);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    const QString file = dir.filePath("readings.txt");
    QVERIFY(writeFile(file, readings));
    args.replaceInStrings("{dir}", dir.path());
    args.replaceInStrings("{file}", file);

    QProcess sim;
    sim.start(QStringLiteral(ANALYZER_SIM), args);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), exitCode);
    const QByteArray err = sim.readAllStandardError();
    QVERIFY2(err.contains(message), err.constData());
    QVERIFY(sim.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestAnalyzerSim)
#include "tst_analyzer_sim.moc"
