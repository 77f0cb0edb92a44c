// The tool on real files: its command line, its help, and convert, stats and match on the
// files the window saves.
#include "files.h"
#include "samples.h"
#include "tool_process.h"

#include "board/data_board.h"
#include "link/protocol.h"
#include "reading/line_format.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <set>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Records of every range code, both voltage scales and both model families, with the ohms
// and volts each stands for worked out from the counts.
struct Sample {
    const char *record;
    bool rm40a;
    const char *ohms;
    const char *volts;
};
const Sample kSamples[] = {
    {"07050237101B", true, "0.0567", "4.123"},  {"07050237101B", false, "0.00567", "4.123"},
    {"0C00303904D2", true, "0.12345", "12.34"}, {"0C00303904D2", false, "0.012345", "12.34"},
    {"0106012C0E74", true, "0.3", "3.7"},       {"0106012C0E74", false, "0.03", "3.7"},
    {"020700053039", true, "0.05", "12.345"},   {"020700053039", false, "0.005", "12.345"},
    {"1203FFFF0000", true, "655.35", "0"},      {"FF0400010E10", false, "0.000001", "3.6"},
};

QByteArray sampleLine(const Sample &s)
{
    return analyzer::decodeRecord(QByteArray::fromHex(s.record), s.rm40a).line;
}

// The board the window holds after receiving every sample, as its Save writes it.
QByteArray savedBoard()
{
    board::DataBoard board;
    for (const Sample &s : kSamples)
        board.AppendLine(sampleLine(s));
    return board.text();
}

} // namespace

class TestCliFiles : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(dir.isValid()); }

    void badArguments_data();
    void badArguments();
    void help_data();
    void help();
    void everySubcommandIsListed_data();
    void everySubcommandIsListed();
    void fileFaults_data();
    void fileFaults();
    void convertRoundTrip_data();
    void convertRoundTrip();
    void convertNumbers();
    void statsSummary_data();
    void statsSummary();
    void streamsAndNames_data();
    void streamsAndNames();
    void largeFileInBoundedMemory_data();
    void largeFileInBoundedMemory();
    void recordInBoundedMemory();
    void interruptWritesWhatCame();
    void matchProperties();

private:
    QTemporaryDir dir;
};

void TestCliFiles::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *name, const QStringList &args, const QString &text,
                        const char *sub) {
        const QString prefix = sub[0] ? QString::fromLatin1(sub) + ": " : QString();
        const QString again = sub[0] ? QString::fromLatin1(sub) + " " : QString();
        QTest::newRow(name) << args
                            << "battery-analyzer-cli: " + prefix + text
                + "\nTry 'battery-analyzer-cli " + again + "--help'.\n";
    };
    row("nothing", {},
        "a subcommand is required: download, clear-memory, convert, stats, match, ports, record, "
        "capacity, cells, cell, pack, export, runs, undo, serve, report or labels",
        "");
    row("unknown subcommand", {"frobnicate"}, "unknown subcommand 'frobnicate'", "");
    row("port 256", {"clear-memory", "--com=256"},
        "--com takes a port number from 1 to 255, not '256'", "clear-memory");
    row("value missing", {"convert", "a.txt", "--output"}, "--output needs a value", "convert");
}

void TestCliFiles::badArguments()
{
    QFETCH(QStringList, args);
    const ToolRun run = runTool(args, dir.path());
    QCOMPARE(run.exitCode, 2);
    QTEST(QString::fromUtf8(run.err), "message");
    QCOMPARE(run.out, QByteArray());
}

void TestCliFiles::help_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("mentions"); // the first: what the usage line starts with
    QTest::newRow("tool") << QStringList{"--help"}
                          << QStringList{"SUBCOMMAND", "download", "clear-memory",
                                         "convert",    "stats",    "match"};
    QTest::newRow("download") << QStringList{"download", "--help"}
                              << QStringList{"download", "--com N",  "--model",
                                             "--format", "--output", "--idle"};
    QTest::newRow("clear-memory") << QStringList{"clear-memory", "-h"}
                                  << QStringList{"clear-memory", "--com N", "--yes"};
    QTest::newRow("convert") << QStringList{"convert", "--help", "--bogus"}
                             << QStringList{"convert", "--format", "--output", "--strict"};
    QTest::newRow("stats") << QStringList{"help", "stats"}
                           << QStringList{"stats", "--strict", "standard deviation"};
    QTest::newRow("match") << QStringList{"match", "--help"}
                           << QStringList{"match", "--series", "--parallel", "--max-voltage-spread",
                                          "--format"};
}

void TestCliFiles::help()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, mentions);
    const ToolRun run = runTool(args);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    const QString text = QString::fromUtf8(run.out);
    QVERIFY(text.startsWith("Usage: battery-analyzer-cli " + mentions.front() + ' '));
    for (const QString &m : mentions + QStringList{"Exit codes:", "130"})
        QVERIFY2(text.contains(m), qPrintable(m));
}

// The tool's help and the "subcommand is required" message name every subcommand the tool
// runs, and each one named answers to --help.
void TestCliFiles::everySubcommandIsListed_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name :
         {"download", "clear-memory", "convert", "stats", "match", "ports", "record", "capacity",
          "cells", "cell", "pack", "export", "report", "labels"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestCliFiles::everySubcommandIsListed()
{
    QFETCH(QString, name);
    static const QString toolHelp = QString::fromUtf8(runTool({"--help"}).out);
    static const QString required = QString::fromUtf8(runTool({}).err);
    QVERIFY2(toolHelp.contains(QStringLiteral("\n  %1 ").arg(name)), qPrintable(toolHelp));
    QVERIFY2(
        required.contains(QRegularExpression(QStringLiteral("[:,] %1[, \n]|or %1\n").arg(name))),
        qPrintable(required));
    const ToolRun run = runTool({name, "--help"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("Usage: battery-analyzer-cli " + name.toUtf8() + ' '));
}

void TestCliFiles::fileFaults_data()
{
    QTest::addColumn<QByteArray>("content"); // of in.txt
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QByteArray two = line(" Group 1       040.0m~     3.600V\r\nhello \xC4\xE3\xBA\xC3\n\n "
                                "Group 2       040.1m~     3.601V");
    QTest::newRow("missing file")
        << QByteArray() << QStringList{"stats", "missing.txt"} << 1
        << "battery-analyzer-cli: Cannot open file \"{dir}/missing.txt\". No such file or "
           "directory\n";
    QTest::newRow("a folder")
        << QByteArray() << QStringList{"convert", "."} << 1
        << "battery-analyzer-cli: Cannot open file \"{dir}\". Is a directory\n";
    QTest::newRow("line not a reading, shown from GBK")
        << two << QStringList{"convert", "in.txt"} << 0 << "in.txt:2: not a reading: hello 你好\n";
    QTest::newRow("strict") << two << QStringList{"stats", "--strict", "in.txt"} << 3
                            << "battery-analyzer-cli: in.txt:2: not a reading: hello 你好\n";
    QTest::newRow("no readings")
        << QByteArray("x\r\n") << QStringList{"stats", "in.txt"} << 3
        << "in.txt:1: not a reading: x\nbattery-analyzer-cli: no readings in in.txt\n";
    QTest::newRow("convert, no readings")
        << QByteArray("\r\n") << QStringList{"convert", "in.txt", "-o", "out.csv"} << 3
        << "battery-analyzer-cli: no readings in in.txt\n";
    // A file is read whole or not at all: the readings before a NUL byte or the limit are
    // not passed off as all of them.
    QTest::newRow("a NUL byte")
        << two + "\r\n" + QByteArray("\0", 1) + two << QStringList{"convert", "in.txt"} << 1
        << "battery-analyzer-cli: in.txt:5: a NUL byte, which no text file holds; nothing was "
           "read from the file\n";
    // Read as a stream, a line of any length is only a line that is no reading.
    QTest::newRow("a line of 100 MB")
        << two + "\r\n" + QByteArray(100'000'000, '7') << QStringList{"stats", "in.txt"} << 0
        << "in.txt:2: not a reading: hello 你好\nin.txt:5: not a reading: " + QString(100, '7')
            + "...\n";
    QTest::newRow("too few cells")
        << two << QStringList{"match", "in.txt", "--series", "3", "--parallel", "1"} << 6
        << "in.txt:2: not a reading: hello 你好\nbattery-analyzer-cli: 3S1P needs 3 cells "
           "whose voltages lie within 0.05 V of each other; the most there are is 2, 1 "
           "missing\n";
    QTest::newRow("output folder missing")
        << two << QStringList{"convert", "in.txt", "--output", "no/out.csv"} << 1
        << "in.txt:2: not a reading: hello 你好\nbattery-analyzer-cli: Cannot "
           "create file \"{dir}/no/out.csv\". No such file or directory\n";
}

void TestCliFiles::fileFaults()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QVERIFY(writeFile(dir.filePath("in.txt"), content));
    const ToolRun run = runTool(args, dir.path());
    QTEST(run.exitCode, "exitCode");
    QCOMPARE(QString::fromUtf8(run.err),
             message.replace("{dir}", QDir(dir.path()).canonicalPath()));
}

// A saved board, in any of the line breaks the window opens, converts back to the same
// bytes the window saves.
void TestCliFiles::convertRoundTrip_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray saved = savedBoard();
    QTest::newRow("as saved") << saved;
    QTest::newRow("LF breaks") << QByteArray(saved).replace("\r\n", "\n");
    QTest::newRow("CR breaks, no last break") << QByteArray(saved).replace("\r\n", "\r").chopped(1);
}

void TestCliFiles::convertRoundTrip()
{
    QFETCH(QByteArray, file);
    QVERIFY(writeFile(dir.filePath("board.txt"), file));
    const ToolRun run =
        runTool({"convert", "board.txt", "--format", "text", "--output", "out.txt"}, dir.path());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(readFile(dir.filePath("out.txt")), savedBoard());
}

// Every row carries the numbers the records' counts stand for, exact, the texts as shown and
// the file and line it came from.
void TestCliFiles::convertNumbers()
{
    QVERIFY(writeFile(dir.filePath("board.txt"), savedBoard()));
    const ToolRun run = runTool({"convert", "board.txt"}, dir.path());
    QCOMPARE(run.exitCode, 0);
    QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    for (QByteArray &l : lines) {
        QVERIFY(l.endsWith('\r'));
        l.chop(1);
    }
    QCOMPARE(lines.takeFirst(),
             "file,line,group,resistance_ohm,voltage_v,resistance_text,voltage_text");
    QCOMPARE(std::size_t(lines.size()), std::size(kSamples));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Sample &s = kSamples[i];
        const QStringList f = QString::fromUtf8(lines[i]).split(u',');
        QCOMPARE(f.size(), 7);
        QCOMPARE(f[0], "board.txt");
        QCOMPARE(f[1], QString::number(i + 1));
        QCOMPARE(f[2], QString::number(QByteArray::fromHex(s.record)[0] & 0xFF));
        QCOMPARE(f[3], QString::fromLatin1(s.ohms));
        QCOMPARE(f[4], QString::fromLatin1(s.volts));
        const QByteArray shown = QByteArray(sampleLine(s)).replace(analyzer::kOhmGbk, "\xCE\xA9");
        QCOMPARE(" Group " + f[2] + "       " + f[5] + "     " + f[6], QString::fromUtf8(shown));
    }
}

void TestCliFiles::statsSummary_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>(
        "lines"); // lines of the output that must be there, blanks simplified
    QTest::newRow("text") << "text"
                          << QStringList{"readings 3", "resistance/mΩ 40 50 45 45 4.0825",
                                         "voltage/V 3.6 3.65 3.62 3.61 0.0216",
                                         "40.000 - 41.000 " + QString(40, '#') + " 1"};
    QTest::newRow("csv") << "csv"
                         << QStringList{
                                "quantity,count,minimum,maximum,mean,median,standard_deviation\r",
                                "resistance_ohm,3,0.04,0.05,0.045,0.045,0.0040825\r",
                                "voltage_v,3,3.6,3.65,3.62,3.61,0.0216\r"};
}

// Files in the window's GBK and in UTF-8 (with a byte-order mark, either ohm sign), one
// of them read from a pipe.
void TestCliFiles::statsSummary()
{
    QFETCH(QString, format);
    QVERIFY(writeFile(
        dir.filePath("a.txt"),
        line(" Group 1       040.0m~     3.600V\r\n Group 2       0.050 ~     3.610V\r\n")));
    QVERIFY(writeFile(dir.filePath("b.txt"),
                      "\xEF\xBB\xBF Group 3       045.0m\xE2\x84\xA6     3.650V\n"));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(BATTERY_CLI), {"stats", "a.txt", "-", "-f", format, "-o", "out"});
    p.write(readFile(dir.filePath("b.txt")));
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.readAllStandardError(), QByteArray());
    QCOMPARE(p.exitCode(), 0);
    QStringList written;
    for (const QString &l : QString::fromUtf8(readFile(dir.filePath("out"))).split(u'\n'))
        written << l.simplified() + (l.endsWith(u'\r') ? "\r" : "");
    QFETCH(QStringList, lines);
    for (const QString &l : std::as_const(lines))
        QVERIFY2(written.contains(l), qPrintable(l));
}

// The pack the tool prints holds every chosen cell once, each as the reading on the line it
// names, within the voltage window, with group resistances and spread computed right.
void TestCliFiles::matchProperties()
{
    QByteArray text;
    std::vector<std::pair<qint64, qint64>> cells; // microohms, millivolts by line
    for (int i = 0; i < 60; ++i) {
        const qint64 r = 35000 + (i * 7919) % 10000, mv = 3570 + (i * 31) % 61;
        cells.push_back({r, mv});
        reading::Reading cell;
        cell.group = i % 256;
        cell.resistance = {r, 3};
        cell.voltage = {mv, 3};
        text += reading::boardLine(cell) + "\r\n";
    }
    QVERIFY(writeFile(dir.filePath("cells.txt"), text));
    const ToolRun run = runTool({"match", "cells.txt", "--series", "4", "--parallel", "3",
                                 "--max-voltage-spread", "0.02", "--format", "json"},
                                dir.path());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    const QJsonArray groups = result["groups"].toArray();
    QCOMPARE(groups.size(), 4);
    std::set<int> seen;
    qint64 lowV = 1 << 30, highV = 0;
    double lowR = 1e9, highR = 0;
    const auto check = [&](const QJsonObject &cell) {
        const int line = cell["line"].toInt();
        QVERIFY(line >= 1 && line <= 60);
        QVERIFY2(seen.insert(line).second, "a cell is listed twice");
        QCOMPARE(cell["file"].toString(), "cells.txt");
        QCOMPARE(cell["resistance_ohm"].toDouble(),
                 double(cells[std::size_t(line - 1)].first) / 1e6);
        QCOMPARE(cell["voltage_v"].toDouble(), double(cells[std::size_t(line - 1)].second) / 1e3);
    };
    for (const QJsonValue &g : groups) {
        const QJsonArray members = g["cells"].toArray();
        QCOMPARE(members.size(), 3);
        double conductance = 0;
        for (const QJsonValue &c : members) {
            check(c.toObject());
            conductance += 1 / c["resistance_ohm"].toDouble();
            lowV = std::min(lowV, qint64(cells[std::size_t(c["line"].toInt() - 1)].second));
            highV = std::max(highV, qint64(cells[std::size_t(c["line"].toInt() - 1)].second));
        }
        const double ohms = g["resistance_ohm"].toDouble();
        QVERIFY(std::abs(ohms - 1 / conductance) < 1e-9 * ohms);
        lowR = std::min(lowR, ohms);
        highR = std::max(highR, ohms);
    }
    QVERIFY(highV - lowV <= 20);
    QVERIFY(std::abs(result["spread_ohm"].toDouble() - (highR - lowR)) < 1e-9 * highR);
    for (const QJsonValue &c : result["left_out"].toArray())
        check(c.toObject());
    QCOMPARE(seen.size(), std::size_t(60));
}

void TestCliFiles::streamsAndNames_data()
{
    QTest::addColumn<QString>("command"); // run by sh in the test's folder; $T is the tool
    QTest::newRow("standard input and output as -") << "$T convert - -f text -o - < board.txt";
    QTest::newRow("a pipe as /dev/stdin, /dev/stdout as output")
        << "cat board.txt | $T convert /dev/stdin -f text -o /dev/stdout";
    QTest::newRow("a name that is not UTF-8")
        << "cp board.txt \"$(printf 'bad\\377name.txt')\" && "
           "$T convert \"$(printf 'bad\\377name.txt')\" -f text && "
           "rm \"$(printf 'bad\\377name.txt')\"";
    QTest::newRow("into a name that is not UTF-8")
        << "$T convert board.txt -f text -o \"$(printf 'out\\377')\" && "
           "cat \"$(printf 'out\\377')\" && rm \"$(printf 'out\\377')\"";
    // Replaced once complete, not truncated in place: a link to the old file keeps it.
    QTest::newRow("over a file whose name is not UTF-8")
        << "printf old > \"$(printf 'out\\377')\" && ln \"$(printf 'out\\377')\" old && "
           "$T convert board.txt -f text -o \"$(printf 'out\\377')\" && [ \"$(cat old)\" = old ] "
           "&& "
           "cat \"$(printf 'out\\377')\" && rm old \"$(printf 'out\\377')\"";
}

// Whatever the names and streams, the output is the board as the window saves it. (Files
// whose names are not UTF-8 are removed by the command: the temporary folder cannot.)
void TestCliFiles::streamsAndNames()
{
    QFETCH(QString, command);
    QVERIFY(writeFile(dir.filePath("board.txt"), savedBoard()));
    QProcess sh;
    sh.setWorkingDirectory(dir.path());
    sh.setProcessEnvironment([] {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("T", QStringLiteral(BATTERY_CLI));
        return env;
    }());
    sh.start("/bin/sh", {"-c", command});
    QVERIFY(sh.waitForFinished(60000));
    QCOMPARE(sh.readAllStandardError(), QByteArray());
    QCOMPARE(sh.exitCode(), 0);
    QCOMPARE(sh.readAllStandardOutput(), savedBoard());
}

namespace {

// The tool run with its address space limited to `limit` bytes (0: no limit).
ToolRun runLimited(const QStringList &args, const QString &folder, rlim_t limit)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setChildProcessModifier([limit] {
        if (limit > 0) {
            const rlimit l{limit, limit};
            ::setrlimit(RLIMIT_AS, &l);
        }
    });
    p.start(QStringLiteral(BATTERY_CLI), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// The least address space (to 1 MiB) in which the command `args(i)` gives for its i-th try
// succeeds: the tool's own need for a one-line input.
rlim_t leastNeed(const QString &folder, const std::function<QStringList(int)> &args)
{
    rlim_t fails = 0, passes = rlim_t(4) << 30;
    for (int i = 0; passes - fails > (1 << 20); ++i) {
        const rlim_t mid = (fails + passes) / 2;
        (runLimited(args(i), folder, mid).exitCode == 0 ? passes : fails) = mid;
    }
    return passes;
}

rlim_t oneLineNeed(const QString &folder)
{
    return leastNeed(folder, [](int) {
        return QStringList{"convert", "one.txt", "-o", "one.csv"};
    });
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

// A file far larger than the room the tool is given beyond what one line takes converts
// to exactly the rows a reference gives (kept whole, the file and its rows would not fit),
// and --output is replaced only by a complete result, leaving nothing else behind.
void TestCliFiles::largeFileInBoundedMemory_data()
{
    QTest::addColumn<QString>("subcommand");
    QTest::addColumn<QByteArray>("tail"); // after a million lines
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("converted") << "convert" << QByteArray() << QStringList() << 0;
    QTest::newRow("refused at the last line: the old file stays")
        << "convert" << QByteArray("no reading\r\n") << QStringList{"--strict"} << 3;
    QTest::newRow("stats") << "stats" << QByteArray() << QStringList{"--format", "json"} << 0;
}

void TestCliFiles::largeFileInBoundedMemory()
{
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer reserves terabytes of address space up front: a limit on it measures
    // nothing there. The normal build runs this test.
    QSKIP("an address-space limit means nothing under AddressSanitizer");
#endif
    QFETCH(QString, subcommand);
    QFETCH(QByteArray, tail);
    QFETCH(QStringList, options);
    // The reference: the samples converted on their own; line i of the large file is sample
    // (i - 1) mod n, so its row is that sample's with the file and line changed.
    QVERIFY(writeFile(dir.filePath("sample.txt"), savedBoard()));
    const ToolRun sample = runTool({"convert", "sample.txt"}, dir.path());
    QCOMPARE(sample.exitCode, 0);
    QList<QByteArray> rows = sample.out.split('\n');
    rows.removeLast();
    const QByteArray header = rows.takeFirst();
    constexpr int kLines = 1'000'000;
    QByteArray big, expected = header + '\n';
    for (int i = 0; i < kLines; ++i) {
        const QByteArray &row = rows[i % rows.size()];
        big += sampleLine(kSamples[i % std::size(kSamples)]) + "\r\n";
        expected += "big.txt," + QByteArray::number(i + 1)
            + row.sliced(row.indexOf(',', row.indexOf(',') + 1)) + '\n';
    }
    QVERIFY(writeFile(dir.filePath("big.txt"), big + tail));
    QVERIFY(writeFile(dir.filePath("one.txt"), sampleLine(kSamples[0])));
    QVERIFY(writeFile(dir.filePath("out.csv"), "old"));
    big.clear();

    const rlim_t limit = oneLineNeed(dir.path()) + (rlim_t(32) << 20);
    QVERIFY(limit < (rlim_t(4) << 30));
    if (subcommand == u"stats") {
        // Its figures without the limit are the reference: under it they come out the same.
        const ToolRun unlimited = runTool(QStringList{"stats", "big.txt"} + options, dir.path());
        QCOMPARE(unlimited.exitCode, 0);
        QVERIFY(unlimited.out.contains("\"readings\": 1000000"));
        expected = unlimited.out;
    }
    const QStringList before = entriesOf(dir.path());
    const ToolRun run = runLimited(QStringList{subcommand, "big.txt", "-o", "out.csv"} + options,
                                   dir.path(), limit);
    QTEST(run.exitCode, "exitCode");
    QCOMPARE(readFile(dir.filePath("out.csv")), run.exitCode == 0 ? expected : "old");
    QCOMPARE(entriesOf(dir.path()), before);
}

// A record of a million readings fits in the room one of a single reading takes and 64 MiB
// (holding the readings, it took 490 MB), and stores every one of them in its one run.
void TestCliFiles::recordInBoundedMemory()
{
#ifdef __SANITIZE_ADDRESS__
    QSKIP("an address-space limit means nothing under AddressSanitizer");
#endif
    constexpr int kLines = 1'000'000;
    QByteArray big;
    for (int i = 0; i < kLines; ++i)
        big += sampleLine(kSamples[i % std::size(kSamples)]) + "\r\n";
    QVERIFY(writeFile(dir.filePath("big.txt"), big));
    big.clear();
    QVERIFY(writeFile(dir.filePath("one.txt"), sampleLine(kSamples[0])));
    const rlim_t limit =
        leastNeed(dir.path(),
                  [](int i) {
                      return QStringList{"record",       "one.txt",
                                         "--first-cell", "C1",
                                         "--db",         QStringLiteral("one%1.sqlite").arg(i)};
                  })
        + (rlim_t(64) << 20);
    const ToolRun run = runLimited(
        {"record", "big.txt", "--first-cell", "C0000001", "--db", "big.sqlite"}, dir.path(), limit);
    QCOMPARE(run.exitCode, 0);
    const ToolRun runs = runTool({"runs", "--db", "big.sqlite", "--format", "csv"}, dir.path());
    QCOMPARE(runs.exitCode, 0);
    QCOMPARE(runs.out.split('\n').value(1).split(',').value(4), QByteArray("1000000"));
}

// Ctrl+C while the readings still come through a pipe: those that came are written, whole,
// and the tool says how many.
void TestCliFiles::interruptWritesWhatCame()
{
    const QString fifo = dir.filePath("fifo");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    // Read and write, so that opening it waits for no one.
    QFile pipe(fifo);
    QVERIFY(pipe.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QStringList before = entriesOf(dir.path()) << "cut.txt";
    before.sort();
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(BATTERY_CLI), {"convert", "fifo", "-f", "text", "-o", "cut.txt"});
    QVERIFY(p.waitForStarted());
    // More than the output holds back, so that its new file is being written.
    QByteArray text;
    while (text.size() < 3 * (1 << 20))
        text += savedBoard();
    const int lines = int(text.count("\r\n"));
    for (qsizetype at = 0; at < text.size();) {
        const qint64 n = pipe.write(text.constData() + at, text.size() - at);
        QVERIFY(n > 0);
        at += n;
    }
    // Once the tool took every byte it is waiting for more.
    for (int unread = 1, i = 0; unread > 0 && i < 1000; ++i) {
        QVERIFY(::ioctl(pipe.handle(), FIONREAD, &unread) == 0);
        QTest::qWait(10);
    }
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 130);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
             QStringLiteral("battery-analyzer-cli: interrupted; written from the first %1 "
                            "readings\n")
                 .arg(lines));
    QCOMPARE(readFile(dir.filePath("cut.txt")), text);
    QCOMPARE(entriesOf(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestCliFiles)
#include "tst_cli_files.moc"
