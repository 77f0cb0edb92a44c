// The tool's command line read in process: every rule of the parser as one table.
#include "cli/options/cell_list.h"
#include "cli/options/options.h"

#include <QtTest>

#include <ctime>

namespace {

// The fields a row cares about, as one comparable text.
QString described(const cli::Invocation &inv)
{
    if (inv.help || inv.version)
        return QStringLiteral("%1 %2").arg(inv.help ? "help" : "version",
                                           cli::subcommandName(inv.subcommand));
    return QStringLiteral(
               "%1 com=%2%13 model=%3 format=%4 output=%5 idle=%6 yes=%7 strict=%8 pack=%9x%10 "
               "spread=%11 files=%12")
        .arg(cli::subcommandName(inv.subcommand))
        .arg(inv.com)
        .arg(int(inv.model))
        .arg(int(inv.format))
        .arg(inv.output)
        .arg(inv.idleMilliseconds)
        .arg(inv.yes)
        .arg(inv.strict)
        .arg(inv.series)
        .arg(inv.parallel)
        .arg(inv.maxVoltageSpreadMicrovolts)
        .arg(inv.files.join(u'|'))
        .arg(inv.portPath.isEmpty() ? QString() : " port=" + inv.portPath);
}

// The labels read, "A1 A2", or the problems, "repeated@3/1 empty@2".
QString described(const cli::LabelList &list)
{
    static const char *const kFaults[] = {"empty",   "repeated", "range",   "backwards",
                                          "toomany", "nottext",  "nolabels"};
    QStringList problems;
    for (const cli::LabelProblem &p : list.problems)
        problems << QStringLiteral("%1@%2").arg(kFaults[int(p.fault)]).arg(p.place)
                + (p.firstPlace ? QStringLiteral("/%1").arg(p.firstPlace) : QString());
    return problems.isEmpty() ? list.labels.join(u' ') : problems.join(u' ');
}

} // namespace

class TestArguments : public QObject {
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void faults_data();
    void faults();
    void helpListsEveryOption();
    void routes_data();
    void routes();
    void cellLists_data();
    void cellLists();
    void localTimes_data();
    void localTimes();
};

void TestArguments::read_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("invocation");
    const QString defaults = "idle=2000 yes=0 strict=0 pack=0x0 spread=50000";
    QTest::newRow("--port") << QStringList{"download", "--port", "/dev/ttyUSB0"}
                            << "download com=0 port=/dev/ttyUSB0 model=0 format=0 output= "
            + defaults + " files=";
    QTest::newRow("ports assign")
        << QStringList{"ports", "assign", "com 12", "/dev/serial/by-id/x"}
        << "ports com=12 port=/dev/serial/by-id/x model=0 format=0 output= " + defaults + " files=";
    QTest::newRow("download, defaults")
        << QStringList{"download", "--com", "3"}
        << "download com=3 model=0 format=0 output= " + defaults + " files=";
    QTest::newRow("--opt=value, short options, COM text")
        << QStringList{"download", "--com=$A", "-m",       "rm-40c",     "-f",
                       "json",     "-o",       "out.json", "--idle=0.25"}
        << "download com=10 model=2 format=2 output=out.json idle=250 yes=0 strict=0 pack=0x0 "
           "spread=50000 files=";
    QTest::newRow("the last of a repeated option")
        << QStringList{"clear-memory", "--com", "3", "--com", "4", "-y"}
        << "clear-memory com=4 model=0 format=0 output= idle=2000 yes=1 strict=0 pack=0x0 "
           "spread=50000 files=";
    QTest::newRow("convert defaults to csv; - and -- give files")
        << QStringList{"convert", "a.txt", "-", "--strict", "--", "--b.txt", "-c"}
        << "convert com=0 model=0 format=1 output= idle=2000 yes=0 strict=1 pack=0x0 spread=50000 "
           "files=a.txt|-|--b.txt|-c";
    QTest::newRow("output may be -")
        << QStringList{"convert", "a.txt", "-o", "-", "-f", "text"}
        << "convert com=0 model=0 format=0 output=- " + defaults + " files=a.txt";
    QTest::newRow("match")
        << QStringList{"match", "a", "--series", "20", "--parallel=10", "--max-voltage-spread",
                       ".005"}
        << "match com=0 model=0 format=0 output= idle=2000 yes=0 strict=0 pack=20x10 "
           "spread=5000 files=a";
    QTest::newRow("help wins over faults")
        << QStringList{"convert", "--bogus", "--help", "--output"} << "help convert";
    QTest::newRow("help of a subcommand") << QStringList{"help", "stats"} << "help stats";
    QTest::newRow("help, short") << QStringList{"match", "-h"} << "help match";
    QTest::newRow("version") << QStringList{"--version"} << "version battery-analyzer-cli";
    QTest::newRow("version of a subcommand") << QStringList{"stats", "-V"} << "version stats";
}

void TestArguments::read()
{
    QFETCH(QStringList, args);
    QTEST(described(cli::parseArguments(args)), "invocation");
}

void TestArguments::faults_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *name, const QStringList &args, const QString &text) {
        const QString sub =
            args.isEmpty() || text.startsWith("unknown subcommand") ? QString() : args.front();
        QTest::newRow(name) << args
                            << (sub.isEmpty() ? QString() : sub + ": ") + text
                + "\nTry 'battery-analyzer-cli " + (sub.isEmpty() ? QString() : sub + " ")
                + "--help'.";
    };
    row("nothing", {},
        "a subcommand is required: download, clear-memory, convert, stats, match, ports, record, "
        "capacity, cells, cell, pack, export, runs, undo, serve, report or labels");
    row("unknown subcommand", {"frobnicate"}, "unknown subcommand 'frobnicate'");
    row("an option for a subcommand", {"--com", "3"}, "unknown subcommand '--com'");
    row("no port", {"download"}, "--com N or --port PATH is required");
    row("port twice over", {"clear-memory", "--com", "3", "--port", "/dev/ttyUSB0"},
        "give --com N or --port PATH, not both");
    row("COM text not a number", {"download", "--com", "COMx"},
        "--com takes a port number from 1 to 255, not 'COMx'");
    row("ports, unknown word", {"ports", "remove", "3"},
        "unexpected argument 'remove'; ports takes no words or assign N DEVICE");
    row("ports assign, device missing", {"ports", "assign", "3"},
        "unexpected argument 'assign'; ports takes no words or assign N DEVICE");
    row("ports assign, bad number", {"ports", "assign", "COM0", "/dev/ttyUSB0"},
        "assign takes a port number from 1 to 255, not 'COM0'");
    row("port 0", {"download", "--com", "0"}, "--com takes a port number from 1 to 255, not '0'");
    row("port 256", {"clear-memory", "--com=256"},
        "--com takes a port number from 1 to 255, not '256'");
    row("port not a number", {"download", "--com", "three"},
        "--com takes a port number from 1 to 255, not 'three'");
    row("unknown model", {"download", "--com", "3", "--model", "RM-50"},
        "--model takes RM-40A, RM-40B or RM-40C, not 'RM-50'");
    row("unknown format", {"download", "--com", "3", "--format", "xml"},
        "--format takes text, csv or json, not 'xml'");
    row("match has no csv", {"match", "a", "--series", "2", "--parallel", "2", "-f", "csv"},
        "--format takes text or json, not 'csv'");
    row("idle zero", {"download", "--com", "3", "--idle", "0"},
        "--idle takes seconds from 0.001 to 3600, not '0'");
    row("idle too fine", {"download", "--com", "3", "--idle", "0.0005"},
        "--idle takes seconds from 0.001 to 3600, not '0.0005'");
    // Eighteen digits in micro-ohms would overflow; the number is refused, not wrapped.
    row("resistance beyond any range",
        {"match", "a", "--series", "2", "--parallel", "2", "--max-resistance", "99999999999999"},
        "--max-resistance takes ohms from 0.000001 to 1000, not '99999999999999'");
    row("no files", {"convert", "--format", "csv"}, "at least one FILE is required");
    row("unknown option", {"convert", "a.txt", "--bogus"}, "unknown option '--bogus'");
    row("unknown short option", {"convert", "a.txt", "-x"}, "unknown option '-x'");
    row("unknown option with a value", {"convert", "a.txt", "--bogus=1"},
        "unknown option '--bogus'");
    row("value missing", {"convert", "a.txt", "--output"}, "--output needs a value");
    row("empty output", {"convert", "a.txt", "--output="}, "--output needs a file name");
    row("flag with value", {"stats", "a.txt", "--strict=yes"}, "--strict takes no value");
    row("stray argument", {"clear-memory", "--com", "3", "now"}, "unexpected argument 'now'");
    row("no parallel", {"match", "a.txt", "--series", "20"},
        "--series S and --parallel P are required");
    row("parallel 0", {"match", "a.txt", "--series", "2", "--parallel", "0"},
        "--parallel takes a whole number from 1 to 100000, not '0'");
    row("series not whole", {"match", "a.txt", "--series", "2.0", "--parallel", "2"},
        "--series takes a whole number from 1 to 100000, not '2.0'");
    row("pack too large", {"match", "a.txt", "--series", "100000", "--parallel", "101"},
        "a pack of more than 10000000 cells is not supported");
    row("voltage spread",
        {"match", "a.txt", "--series", "2", "--parallel", "2", "--max-voltage-spread", "0.05V"},
        "--max-voltage-spread takes volts from 0 to 100, not '0.05V'");
    row("voltage spread too fine",
        {"match", "a.txt", "--series", "2", "--parallel", "2", "--max-voltage-spread", "0.0000001"},
        "--max-voltage-spread takes volts from 0 to 100, not '0.0000001'");
    row("stats has no xml", {"stats", "a.txt", "--format", "xml"},
        "--format takes text, csv or json, not 'xml'");
    row("voltage rules crossed", {"cells", "--min-voltage", "4.2", "--max-voltage", "3"},
        "--min-voltage is above --max-voltage: no cell could pass");
}

void TestArguments::faults()
{
    QFETCH(QStringList, args);
    try {
        const cli::Invocation inv = cli::parseArguments(args);
        QFAIL(qPrintable("accepted: " + described(inv)));
    } catch (const EUsageError &e) {
        QTEST(e.message(), "message");
    }
}

// The help is made from the same table the parser reads, so every option must show.
void TestArguments::helpListsEveryOption()
{
    for (const cli::SubcommandRow &sub : cli::subcommandTable()) {
        const QString help = cli::helpText(sub.subcommand);
        QVERIFY(help.startsWith(QStringLiteral("Usage: battery-analyzer-cli %1 ").arg(sub.name)));
        for (const cli::OptionUse &use : sub.options) {
            const cli::OptionRow &o = cli::optionRow(use.id);
            QCOMPARE(o.id, use.id);
            QVERIFY2(help.contains("--" + o.names.back() + (*o.valueName ? " " : "")
                                   + QLatin1String(o.valueName)),
                     qPrintable(o.names.back()));
        }
        QVERIFY(
            cli::helpText(cli::Subcommand::None).contains(QStringLiteral("\n  %1 ").arg(sub.name)));
    }
}

// One subcommand, one row: its words and the register's option decide where it goes.
void TestArguments::routes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("route"); // subcommand, source, pack, label, words
    QTest::newRow("match on files")
        << QStringList{"match", "a", "--series=2", "--parallel=2"} << "match files   a";
    QTest::newRow("match on the register")
        << QStringList{"match", "--db", "c.sqlite", "--series=2", "--parallel=2"}
        << "match register   ";
    QTest::newRow("report without files") << QStringList{"report"} << "report register   ";
    QTest::newRow("labels from files")
        << QStringList{"labels", "f.txt", "--cells", "A1..A2", "-o", "l.pdf"}
        << "labels files   f.txt";
    QTest::newRow("pack replace") << QStringList{"pack", "replace", "P1", "A7", "--apply"}
                                  << "pack replace files P1 A7 P1|A7";
    QTest::newRow("pack show, options first")
        << QStringList{"pack", "show", "--format", "json", "P1"} << "pack show files P1  P1";
    QTest::newRow("cell") << QStringList{"cell", "A7"} << "cell files  A7 A7";
    QTest::newRow("help of an action") << QStringList{"help", "pack", "list"} << "pack list help";
}

void TestArguments::routes()
{
    QFETCH(QStringList, args);
    const cli::Invocation inv = cli::parseArguments(args);
    const QString name = QString::fromLatin1(cli::subcommandName(inv.subcommand));
    const QStringList fields{name, inv.fromRegister ? "register" : "files", inv.pack, inv.label,
                             inv.files.join(u'|')};
    QTEST(inv.help ? name + " help" : fields.join(u' '), "route");
}

void TestArguments::cellLists_data()
{
    QTest::addColumn<bool>("file"); // a file of labels, or the value of --cells
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("read");
    const auto list = [](const char *name, const QByteArray &text, const char *read) {
        QTest::newRow(name) << false << text << QString::fromUtf8(read);
    };
    const auto file = [](const char *name, const QByteArray &text, const char *read) {
        QTest::newRow(name) << true << text << QString::fromUtf8(read);
    };
    list("labels apart", "C0005,C0009", "C0005 C0009");
    list("ranges and labels, spaces", "A001..A003, B7 ,x-1", "A001 A002 A003 B7 x-1");
    list("a label that is no numbered one", "EB-2026-000110.01", "EB-2026-000110.01");
    list("empty items", "A1,,A2,", "empty@2 empty@4");
    list("repeated, also by a range and in another case", "A2,A1..A3,a3",
         "repeated@2/1 repeated@3/2");
    list("overlapping ranges", "A1..A5,A3..A7,a4,A04", "repeated@2/1 repeated@3/1");
    list("bad ranges", "A1..B2,A01..A003,A3..A1,A1..A2..A3", "range@1 range@2 backwards@3 range@4");
    list("a range past the limit", "A00000001..A99999999,B1..B2", "toomany@1");
    list("nothing", " ", "empty@1");
    file("as a scanner types them", "\xEF\xBB\xBF C0005\r\n\r\nC0009 \r\n\r\n", "C0005 C0009");
    file("line ends of every kind", "A\rB\nC\r\nD", "A B C D");
    file("a line is one label, commas and all", "A1..A3\nB,C\n", "A1..A3 B,C");
    file("repeated, with their lines", "C1\nC2\n\nc1\nC2\n", "repeated@4/1 repeated@5/2");
    file("control characters and bytes that are no UTF-8",
         "A1\n\x02"
         "A2\x03\nA\xff\n",
         "nottext@2 nottext@3");
    file("files joined, each with its byte order mark",
         "\xEF\xBB\xBF"
         "A1\n\xEF\xBB\xBF"
         "A2\nA\xEF\xBB\xBF"
         "3\n",
         "nottext@3");
    file("blank lines only", "\r\n \r\n", "nolabels@0");
}

void TestArguments::cellLists()
{
    QFETCH(bool, file);
    QFETCH(QByteArray, text);
    QTEST(
        described(file ? cli::parseLabelFile(text) : cli::parseLabelList(QString::fromUtf8(text))),
        "read");
}

// A local --at names one instant or is refused: in Europe/Berlin, 02:30 on 2026-03-29 never
// happened and 02:30 on 2026-10-25 happened twice. An offset or Z is taken as written.
void TestArguments::localTimes_data()
{
    QTest::addColumn<QString>("at");
    QTest::addColumn<QString>("taken"); // in UTC, or the fault
    const auto row = [](const char *at, const char *taken) {
        QTest::newRow(at) << QString::fromLatin1(at) << QString::fromUtf8(taken);
    };
    row("2026-03-29T02:30",
        "--at 2026-03-29T02:30 never happened here: on 2026-03-29 the clocks went forward from "
        "02:00 (+01:00) to 03:00 (+02:00); the nearest valid times are "
        "2026-03-29T01:59:59.999+01:00 and 2026-03-29T03:00:00.000+02:00");
    row("2026-03-29 02:00:00",
        "--at 2026-03-29 02:00:00 never happened here: on 2026-03-29 the clocks went forward "
        "from 02:00 (+01:00) to 03:00 (+02:00); the nearest valid times are "
        "2026-03-29T01:59:59.999+01:00 and 2026-03-29T03:00:00.000+02:00");
    row("2026-10-25T02:30",
        "--at 2026-10-25T02:30 happened twice here: on 2026-10-25 the clocks went back from "
        "03:00 (+02:00) to 02:00 (+01:00); give its offset: 2026-10-25T02:30:00.000+02:00 or "
        "2026-10-25T02:30:00.000+01:00");
    row("2026-10-25T02:30+02:00", "2026-10-25T00:30:00.000Z");
    row("2026-10-25T02:30+01:00", "2026-10-25T01:30:00.000Z");
    row("2026-03-29T02:30Z", "2026-03-29T02:30:00.000Z");
    row("2026-03-29T01:59:59.999", "2026-03-29T00:59:59.999Z");
    row("2026-03-29T03:00", "2026-03-29T01:00:00.000Z");
    row("2026-10-25T01:59", "2026-10-24T23:59:00.000Z");
    row("2026-10-25T03:00", "2026-10-25T02:00:00.000Z");
    row("2026-04-01 09:00", "2026-04-01T07:00:00.000Z");
    row("2026-12-01", "2026-11-30T23:00:00.000Z");
    row("2026-12-01T25:00",
        "--at takes a time like 2026-12-01T09:30 or 2026-12-01, not '2026-12-01T25:00'");
}

void TestArguments::localTimes()
{
    QFETCH(QString, at);
    QFETCH(QString, taken);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QString got;
    try {
        const cli::Invocation inv =
            cli::parseArguments({"record", "a.txt", "--first-cell", "A1", "--at", at});
        got = inv.at->toUTC().toString(Qt::ISODateWithMs);
    } catch (const EUsageError &e) {
        got = e.message().section(u'\n', 0, 0).mid(QStringLiteral("record: ").size());
    }
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
    QCOMPARE(got, taken);
}

QTEST_APPLESS_MAIN(TestArguments)
#include "tst_arguments.moc"
