// The tool against an analyzer on a pseudo-terminal: the simulated one for whole downloads,
// a bare device for the cable pulled, Ctrl+C and clearing the memory.
#include "tool_process.h"

#include "board/data_board.h"
#include "files.h"
#include "line_faults.h"
#include "link/protocol.h"
#include "pty_device.h"
#include "reading/line_format.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <csignal>
#include <fcntl.h>

namespace {

constexpr int kSimCom = 5;
constexpr int kDeviceCom = 6;

// Every range code with both voltage scales, group numbers 0 to 255.
const char *const kRecords[] = {"07050237101B", "0C00303904D2", "0106012C0E74", "020700053039",
                                "1203FFFF0000", "00049C400E10", "FF019C400E10", "800200010001"};

// Micro-ohms a count stands for, by model and range code.
std::int64_t microohmsOf(const analyzer::AnalyzerRecord &r, bool rm40a)
{
    static const std::int64_t stepA[4] = {10, 100, 1000, 10000}, stepOther[4] = {1, 10, 100, 1000};
    return std::int64_t(r.resistance) * (rm40a ? stepA : stepOther)[r.flags & 3];
}

analyzer::AnalyzerRecord recordOf(const char *hex)
{
    const QByteArray b = QByteArray::fromHex(hex);
    return {std::uint8_t(b[0]), std::uint8_t(b[1]),
            std::uint16_t(std::uint8_t(b[2]) << 8 | std::uint8_t(b[3])),
            std::uint16_t(std::uint8_t(b[4]) << 8 | std::uint8_t(b[5]))};
}

// analyzer-sim as COM kSimCom with the given memory, stopped at the end of the test.
class Simulator {
public:
    explicit Simulator(const QStringList &memory, bool fullSpeed = true)
    {
        QStringList args{"--ports", testPortFolder(), "--com", QString::number(kSimCom)};
        if (fullSpeed)
            args << "--full-speed";
        process_.start(QStringLiteral(ANALYZER_SIM), args + memory);
        while (!process_.canReadLine() && process_.waitForReadyRead(5000)) { }
        path_ = QString::fromLocal8Bit(process_.readLine().trimmed());
        started_ = !path_.isEmpty();
    }
    ~Simulator()
    {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    bool started() const { return started_; }
    const QString &path() const { return path_; }

private:
    QProcess process_;
    QString path_;
    bool started_ = false;
};

// The tool started in the background, for tests that act while it runs.
struct RunningTool {
    explicit RunningTool(const QStringList &args)
    {
        keepDescriptorsFromChildren();
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(BATTERY_CLI), args);
        process.waitForStarted();
    }
    ToolRun finish()
    {
        process.waitForFinished(10000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }
    QProcess process;
};

} // namespace

Q_DECLARE_METATYPE(linefault::Delivery)

class TestCliDownload : public QObject {
    Q_OBJECT
private slots:
    void init() { clearTestPortFolder(); }

    void download_data();
    void download();
    void noData();
    void noDevice();
    void deviceLostKeepsWhatArrived();
    void deviceLostByPathNamesThePath();
    void interruptDisconnectsAndWrites();
    void downloadAgainAtOnce();
    void lineFaults_data();
    void lineFaults();
    void badOutputFailsBeforeThePort_data();
    void badOutputFailsBeforeThePort();
    void clearMemory_data();
    void clearMemory();
    void portsAssign_data();
    void portsAssign();
    void terminalShowsUtf8();

private:
    QTemporaryDir dir;
};

void TestCliDownload::download_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("toFile");
    QTest::addColumn<bool>("byPath"); // --port with the device instead of --com
    QTest::newRow("text, RM-40A, stdout") << "RM-40A"
                                          << "text" << false << false;
    QTest::newRow("text, RM-40B, file") << "RM-40B"
                                        << "text" << true << false;
    QTest::newRow("text, RM-40B, file, --port") << "RM-40B"
                                                << "text" << true << true;
    QTest::newRow("csv, RM-40A") << "RM-40A"
                                 << "csv" << false << false;
    QTest::newRow("csv, RM-40C, file") << "RM-40C"
                                       << "csv" << true << false;
    QTest::newRow("json, RM-40A") << "RM-40A"
                                  << "json" << false << false;
    QTest::newRow("json, RM-40B, --port") << "RM-40B"
                                          << "json" << true << true;
}

// Text is the window's Save of the same records byte for byte; CSV and JSON carry the
// numbers the records' counts stand for.
void TestCliDownload::download()
{
    QFETCH(QString, model);
    QFETCH(QString, format);
    QFETCH(bool, toFile);
    QByteArray memory;
    for (const char *r : kRecords)
        memory += QByteArray(r) + '\n';
    const QString readings = dir.filePath("memory.txt");
    QVERIFY(writeFile(readings, memory));
    Simulator sim({"--readings", readings});
    QVERIFY(sim.started());

    const QString outFile = dir.filePath("out." + format);
    QFETCH(bool, byPath);
    QStringList args{"download", "--model", model, "--format", format, "--idle", "0.3"};
    args << (byPath ? QStringList{"--port", sim.path()}
                    : QStringList{"--com", "COM" + QString::number(kSimCom)});
    if (toFile)
        args << "--output" << outFile;
    const ToolRun run = runTool(args);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    const QByteArray out = toFile ? readFile(outFile) : run.out;
    if (toFile)
        QCOMPARE(run.out, QByteArray());

    const bool rm40a = model == u"RM-40A";
    if (format == u"text") {
        board::DataBoard board;
        for (const char *r : kRecords)
            board.AppendLine(analyzer::decodeRecord(QByteArray::fromHex(r), rm40a).line);
        QCOMPARE(out, board.text());
        return;
    }
    // group, ohms, volts, row number, model and time of each row, as texts
    QList<QStringList> rows;
    if (format == u"csv") {
        QList<QByteArray> lines = out.split('\n');
        QCOMPARE(lines.takeFirst(),
                 "row,group,resistance_ohm,voltage_v,resistance_text,voltage_text,model,downloaded_"
                 "at\r");
        QCOMPARE(lines.takeLast(), QByteArray());
        for (const QByteArray &l : lines) {
            QVERIFY(l.endsWith('\r'));
            const QStringList f = QString::fromUtf8(l.chopped(1)).split(u',');
            rows << QStringList{f[1], f[2], f[3], f[0], f[6], f[7]};
        }
    } else {
        for (const QJsonValue &v : QJsonDocument::fromJson(out).array())
            rows << QStringList{QString::number(v["group"].toInt()),
                                QString::number(v["resistance_ohm"].toDouble(), 'g', 17),
                                QString::number(v["voltage_v"].toDouble(), 'g', 17),
                                QString::number(v["row"].toInt()),
                                v["model"].toString(),
                                v["downloaded_at"].toString()};
    }
    QCOMPARE(rows.size(), qsizetype(std::size(kRecords)));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const analyzer::AnalyzerRecord r = recordOf(kRecords[i]);
        QCOMPARE(rows[i][0].toInt(), int(r.group));
        QCOMPARE(rows[i][3].toInt(), i + 1);
        QCOMPARE(rows[i][4], model);
        const QDateTime at = QDateTime::fromString(rows[i][5], Qt::ISODate);
        QVERIFY2(at.isValid() && std::abs(at.secsTo(QDateTime::currentDateTime())) < 120,
                 qPrintable(rows[i][5]));
        const std::int64_t microvolts = std::int64_t(r.voltage) * ((r.flags & 4) ? 1000 : 10000);
        if (format == u"csv") {
            // Exact decimal texts: no binary rounding on the way.
            QCOMPARE(rows[i][1].toLatin1(), reading::decimalText({microohmsOf(r, rm40a), 6}));
            QCOMPARE(rows[i][2].toLatin1(), reading::decimalText({microvolts, 6}));
        } else {
            QCOMPARE(rows[i][1].toDouble(),
                     reading::decimalText({microohmsOf(r, rm40a), 6}).toDouble());
            QCOMPARE(rows[i][2].toDouble(), reading::decimalText({microvolts, 6}).toDouble());
        }
    }
}

void TestCliDownload::noData()
{
    Simulator sim({"--empty"});
    QVERIFY(sim.started());
    const ToolRun run = runTool({"download", "--com", QString::number(kSimCom), "--idle", "0.3"});
    QCOMPARE(run.exitCode, 4);
    QCOMPARE(run.err, "battery-analyzer-cli: COM 5: the analyzer holds no readings\n");
    QCOMPARE(run.out, QByteArray());
}

void TestCliDownload::noDevice()
{
    const ToolRun run = runTool({"download", "--com", "9"});
    QCOMPARE(run.exitCode, 5);
    QCOMPARE(QString::fromUtf8(run.err),
             "battery-analyzer-cli: COM 9 has no device: /dev/ttyS8 does not exist; to use an "
             "adapter, make "
                 + testPortFolder() + "/com9 a link to it\n");
}

// The cable pulled after three readings: they are written, and the exit code says it.
void TestCliDownload::deviceLostKeepsWhatArrived()
{
    PtyDevice device;
    device.linkAs(kDeviceCom);
    const QString out = dir.filePath("lost.txt");
    RunningTool tool(
        {"download", "--com", QString::number(kDeviceCom), "--idle", "30", "--output", out});
    QCOMPARE(device.received(4, 5000), "SESK");
    for (int i = 0; i < 3; ++i)
        device.send(QByteArray::fromHex(kRecords[i]));
    QTest::qWait(300);
    device.vanish();
    const ToolRun run = tool.finish();
    QCOMPARE(run.exitCode, 5);
    QCOMPARE(QString::fromUtf8(run.err),
             "battery-analyzer-cli: COM 6 (" + device.path()
                 + ") lost its device during the download; 3 readings written\n");
    board::DataBoard board;
    for (int i = 0; i < 3; ++i)
        board.AppendLine(analyzer::decodeRecord(QByteArray::fromHex(kRecords[i]), true).line);
    QCOMPARE(readFile(out), board.text());
}

// A device given by its path is named by it when it goes away, not as a COM number.
void TestCliDownload::deviceLostByPathNamesThePath()
{
    PtyDevice device;
    RunningTool tool({"download", "--port", device.path(), "--idle", "30", "--output",
                      dir.filePath("lost.txt")});
    QCOMPARE(device.received(4, 5000), "SESK");
    device.send(QByteArray::fromHex(kRecords[0]));
    QTest::qWait(300);
    device.vanish();
    const ToolRun run = tool.finish();
    QCOMPARE(run.exitCode, 5);
    QCOMPARE(QString::fromUtf8(run.err),
             "battery-analyzer-cli: " + device.path()
                 + " lost its device during the download; 1 reading written\n");
}

// Ctrl+C: Disconnect still goes out and what arrived is written.
void TestCliDownload::interruptDisconnectsAndWrites()
{
    PtyDevice device;
    device.linkAs(kDeviceCom);
    const QString out = dir.filePath("interrupted.txt");
    RunningTool tool(
        {"download", "--com", QString::number(kDeviceCom), "--idle", "30", "--output", out});
    QCOMPARE(device.received(4, 5000), "SESK");
    device.send(QByteArray::fromHex(kRecords[0]) + QByteArray::fromHex(kRecords[1]));
    QTest::qWait(300);
    ::kill(pid_t(tool.process.processId()), SIGINT);
    const ToolRun run = tool.finish();
    QCOMPARE(run.exitCode, 130);
    QCOMPARE(run.err, "battery-analyzer-cli: interrupted; 2 readings written\n");
    QCOMPARE(device.received(2, 2000), "ST");
    QCOMPARE(readFile(out).count("\r\n"), 2);
}

// A download interrupted at the line rate while the analyzer goes on sending, and another
// started at once: both files hold true readings only, and the second all of them.
void TestCliDownload::downloadAgainAtOnce()
{
    QByteArray memory;
    QList<QByteArray> trueLines;
    for (int n = 1; n <= 100; ++n) {
        const QByteArray r = linefault::batchRecord(n % 20 + 1);
        memory += r.toHex() + '\n';
        trueLines << analyzer::decodeRecord(r, true).line + "\r";
    }
    const QString readings = dir.filePath("memory100.txt");
    QVERIFY(writeFile(readings, memory));
    Simulator sim({"--readings", readings}, false);
    QVERIFY(sim.started());

    const QString first = dir.filePath("first.txt"), second = dir.filePath("second.txt");
    const QString com = QString::number(kSimCom);
    RunningTool tool({"download", "--com", com, "--idle", "30", "--output", first});
    QTest::qWait(1000);
    ::kill(pid_t(tool.process.processId()), SIGINT);
    QCOMPARE(tool.finish().exitCode, 130);
    const ToolRun run = runTool({"download", "--com", com, "--idle", "1", "--output", second});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.contains("was still sending"), run.err.constData());

    QList<QByteArray> firstLines = readFile(first).split('\n');
    QCOMPARE(firstLines.takeLast(), QByteArray());
    QVERIFY(firstLines.size() > 5);
    QCOMPARE(firstLines, trueLines.mid(0, firstLines.size()));
    QList<QByteArray> secondLines = readFile(second).split('\n');
    QCOMPARE(secondLines.takeLast(), QByteArray());
    QCOMPARE(secondLines, trueLines);
}

void TestCliDownload::lineFaults_data()
{
    QTest::addColumn<linefault::Delivery>("delivery");
    QTest::addColumn<bool>("echo");
    const QList<linefault::Delivery> sample = linefault::sample();
    // Bytes before Download cannot be placed: the tool sends it as soon as the line is quiet.
    for (const linefault::Delivery &d : sample)
        if (d.before.isEmpty())
            QTest::newRow(qPrintable(d.name)) << d << false;
    QTest::newRow("echoing adapter") << sample.first() << true;
    QTest::newRow("echoing adapter, " + sample[sample.size() - 5].name.toUtf8())
        << sample[sample.size() - 5] << true;
}

// The lines written are the true readings, or the tool exits 5 naming no later reading than
// the first line that is not.
void TestCliDownload::lineFaults()
{
    QFETCH(linefault::Delivery, delivery);
    QFETCH(bool, echo);
    PtyDevice device(kDeviceCom);
    const QString out = dir.filePath("faults.txt");
    RunningTool tool(
        {"download", "--com", QString::number(kDeviceCom), "--idle", "1.5", "--output", out});
    const QByteArray connect = device.received(2, 5000);
    if (echo)
        device.send(connect);
    const QByteArray download = device.received(2, 5000);
    QCOMPARE(connect + download, "SESK");
    if (echo)
        device.send(download);
    for (const linefault::Step &step : delivery.steps) {
        QTest::qWait(step.pauseMs);
        device.send(step.bytes);
    }
    const ToolRun run = tool.finish();
    const QString err = QString::fromUtf8(run.err);
    QCOMPARE(run.exitCode, err.isEmpty() ? 0 : 5);
    const QString broken =
        linefault::violation(delivery, linefault::shown(readFile(out), err, run.exitCode == 4));
    QVERIFY2(broken.isEmpty(), qPrintable(broken + "\n" + err));
}

void TestCliDownload::badOutputFailsBeforeThePort_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such folder") << "missing/out.txt"
                                    << "No such file or directory";
    QTest::newRow("a folder") << "."
                              << "Is a directory";
}

void TestCliDownload::badOutputFailsBeforeThePort()
{
    QFETCH(QString, output);
    QFETCH(QString, reason);
    PtyDevice device(kDeviceCom);
    const QString path = dir.filePath(output);
    const ToolRun run =
        runTool({"download", "--com", QString::number(kDeviceCom), "--output", path});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("battery-analyzer-cli: Cannot create file \"%1\". %2\n")
                 .arg(QFileInfo(path).absoluteFilePath(), reason));
    QCOMPARE(device.received(0), QByteArray());
}

void TestCliDownload::clearMemory_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("--yes") << QStringList{"--yes"} << 0 << QByteArray("SESUST") << QByteArray();
    QTest::newRow("--port, -y") << QStringList{"--port", "{device}", "-y"} << 0
                                << QByteArray("SESUST") << QByteArray();
    QTest::newRow("no terminal to ask")
        << QStringList{} << 7 << QByteArray()
        << QByteArray("battery-analyzer-cli: clear-memory: no terminal to ask for "
                      "confirmation; add --yes to erase the analyzer's memory without "
                      "asking\n");
}

void TestCliDownload::clearMemory()
{
    QFETCH(QStringList, extra);
    PtyDevice device;
    device.linkAs(kDeviceCom);
    extra.replaceInStrings("{device}", device.path());
    const ToolRun run = runTool(QStringList{"clear-memory"}
                                + (extra.contains(device.path())
                                       ? QStringList{}
                                       : QStringList{"--com", QString::number(kDeviceCom)})
                                + extra);
    QTEST(run.exitCode, "exitCode");
    QTEST(run.err, "message");
    QFETCH(QByteArray, sent);
    QCOMPARE(device.received(int(sent.size()), 1000), sent);
    QCOMPARE(device.received(0), QByteArray());
}

void TestCliDownload::portsAssign_data()
{
    QTest::addColumn<QString>("com");
    QTest::addColumn<QString>("device"); // {pty}: the test's device
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("entry"); // the entry that must then link to the device; empty: none
    QTest::newRow("by number") << "7"
                               << "{pty}" << 0 << "com7";
    QTest::newRow("as COM text") << "COM8"
                                 << "{pty}" << 0 << "com8";
    QTest::newRow("replacing an entry") << "6"
                                        << "{pty}" << 0 << "com6";
    QTest::newRow("no such device") << "9"
                                    << "/dev/no-such-tty" << 5 << "";
}

// A device linked as COM 6 shows in the list with its number; assign makes the entry the
// window and --com then open.
void TestCliDownload::portsAssign()
{
    QFETCH(QString, com);
    QFETCH(QString, device);
    QFETCH(QString, entry);
    PtyDevice old, pty;
    old.linkAs(kDeviceCom);
    device.replace("{pty}", pty.path());
    const ToolRun run = runTool({"ports", "assign", com, device});
    QTEST(run.exitCode, "exitCode");
    const ToolRun list = runTool({"ports"});
    QCOMPARE(list.exitCode, 0);
    const QStringList rows = QString::fromUtf8(list.out).split(u'\n');
    const auto listed = [&](int n, const QString &path) {
        return !rows.filter(QRegularExpression("^" + QString::number(n) + " +"
                                               + QRegularExpression::escape(path) + " "))
                    .isEmpty();
    };
    if (entry.isEmpty()) {
        QCOMPARE(run.err, "battery-analyzer-cli: " + device.toUtf8() + " does not exist\n");
        QVERIFY(!QFileInfo::exists(testPortFolder() + "/com9"));
        QVERIFY(listed(kDeviceCom, old.path()));
        return;
    }
    QCOMPARE(QFileInfo(testPortFolder() + '/' + entry).symLinkTarget(), pty.path());
    QVERIFY2(listed(entry.mid(3).toInt(), pty.path()), run.out + list.out);
    QCOMPARE(listed(kDeviceCom, old.path()), entry != u"com6");
}

// Board text written to a terminal shows its ohm signs; into a file it stays GBK.
void TestCliDownload::terminalShowsUtf8()
{
    board::DataBoard board;
    for (const char *r : kRecords)
        board.AppendLine(analyzer::decodeRecord(QByteArray::fromHex(r), true).line);
    QVERIFY(writeFile(dir.filePath("board.txt"), board.text()));
    PtyDevice terminal;
    QProcess tool;
    tool.setStandardOutputFile(terminal.path());
    tool.start(QStringLiteral(BATTERY_CLI), {"convert", dir.filePath("board.txt"), "-f", "text"});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 0);
    const QByteArray shown = QByteArray(board.text()).replace(analyzer::kOhmGbk, "\xCE\xA9");
    QCOMPARE(terminal.received(int(shown.size()), 5000), shown);
}

QTEST_GUILESS_MAIN(TestCliDownload)
#include "tst_cli_download.moc"
