// Label sheets as a label printer gets them: poppler gives their pages and sizes and
// renders them, zbar reads every QR code back to its cell's name.
#include "cell_files.h"
#include "register_batch.h"
#include "tool_process.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString runText(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120'000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestLabelsPdf : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(dir.isValid()); }
    void labels_data();
    void labels();
    void refusals_data();
    void refusals();

private:
    QTemporaryDir dir;
};

void TestLabelsPdf::labels_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<double>("widthMm");
    QTest::addColumn<double>("heightMm");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QStringList>("texts"); // on every page besides its code
    QTest::addColumn<bool>("fromRegister"); // a register of the 12 cells with a 2S3P pack P1
    const QStringList twelve{"A001", "A002", "A003", "A004", "A005", "A006",
                             "A007", "A008", "A009", "A010", "A011", "A012"};
    QTest::newRow("default roll") << QStringList{"--cells", "A001..A012"} << 62.0 << 29.0 << twelve
                                  << QStringList{"m\u03A9", " V"} << false;
    QTest::newRow("smallest square") << QStringList{"--first-cell", "A001", "--size", "20x20mm"}
                                     << 20.0 << 20.0 << twelve << QStringList{"PASS"} << false;
    QTest::newRow("largest, long names")
        << QStringList{"--first-cell", "BATCH-2026-12-07-0001", "--size", "150x150mm"} << 150.0
        << 150.0
        << QStringList{"BATCH-2026-12-07-0001", "BATCH-2026-12-07-0002", "BATCH-2026-12-07-0003",
                       "BATCH-2026-12-07-0004", "BATCH-2026-12-07-0005", "BATCH-2026-12-07-0006",
                       "BATCH-2026-12-07-0007", "BATCH-2026-12-07-0008", "BATCH-2026-12-07-0009",
                       "BATCH-2026-12-07-0010", "BATCH-2026-12-07-0011", "BATCH-2026-12-07-0012"}
        << QStringList{} << false;
    QTest::newRow("long names drawn smaller on the default roll")
        << QStringList{"--first-cell", "BATCH-2026-12-07-0001"} << 62.0 << 29.0 << QStringList{}
        << QStringList{"V"} << false;
    QTest::newRow("only the failing")
        << QStringList{"--cells", "A001..A012", "--max-resistance", "0.045", "--only", "fail"}
        << 62.0 << 29.0 << QStringList{} << QStringList{"FAIL"} << false;
    QTest::newRow("a pack's cells with their places")
        << QStringList{"--cells", "A001..A012",           "--series", "2",      "--parallel",
                       "3",       "--max-voltage-spread", "0.6",      "--size", "70x40mm"}
        << 70.0 << 40.0 << QStringList{} << QStringList{"matched G"} << false;
    // Its codes are the pack's labels as `pack show` lists them, group by group.
    QTest::newRow("a register's pack")
        << QStringList{"--pack", "P1", "--only", "pass"} << 62.0 << 29.0 << QStringList{}
        << QStringList{"P1 G", "mAh"} << true;
}

void TestLabelsPdf::labels()
{
    QFETCH(QStringList, options);
    QFETCH(double, widthMm);
    QFETCH(double, heightMm);
    QFETCH(QStringList, codes);
    QFETCH(QStringList, texts);
    QFETCH(bool, fromRegister);
    const QString board = dir.filePath(QStringLiteral("cells.txt"));
    QVERIFY(writeFile(board, batchBoardText(12)));
    QStringList source{board};
    if (fromRegister) {
        const QString db = fillRegister(dir.path(), 12, 2, 3);
        QVERIFY(!db.isEmpty());
        source = QStringList{"--db", db};
        const ToolRun pack = runTool({"pack", "show", "P1", "--format", "json", "--db", db});
        for (const QJsonValue &group :
             QJsonDocument::fromJson(pack.out)[QStringLiteral("groups")].toArray())
            for (const QJsonValue &cell : group[QStringLiteral("cells")].toArray())
                codes << cell.toString();
        QCOMPARE(codes.size(), 6);
    }
    const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
    const ToolRun tool =
        runTool(QStringList{"labels"} + source + QStringList{"--output", pdf} + options);
    QVERIFY2(tool.exitCode == 0, tool.err.constData());

    const QString info = runText(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpressionMatch pages =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts")).match(info);
    QVERIFY2(pages.hasMatch() && size.hasMatch(), qPrintable(info));
    // PDF pages are whole points: within one point of the size asked for.
    QVERIFY2(std::abs(size.captured(1).toDouble() - widthMm * 72 / 25.4) <= 1, qPrintable(info));
    QVERIFY2(std::abs(size.captured(2).toDouble() - heightMm * 72 / 25.4) <= 1, qPrintable(info));
    const int pageCount = pages.captured(1).toInt();
    if (!codes.isEmpty())
        QCOMPARE(pageCount, codes.size());
    QVERIFY(pageCount > 0);

    // Each page's code reads back as the name its text starts with.
    const QString prefix = dir.filePath(QStringLiteral("page"));
    runText(QStringLiteral("pdftoppm"), {"-r", "300", "-png", pdf, prefix});
    QStringList pngs = QDir(dir.path()).entryList({"page-*.png"}, QDir::Files, QDir::Name);
    QCOMPARE(pngs.size(), pageCount);
    QStringList read;
    for (int page = 1; page <= pageCount; ++page) {
        const QString code =
            runText(QStringLiteral("zbarimg"), {"--raw", "-q", dir.filePath(pngs[page - 1])})
                .trimmed();
        const QString text =
            runText(QStringLiteral("pdftotext"),
                    {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
        QVERIFY2(!code.isEmpty() && text.trimmed().startsWith(code),
                 qPrintable(code + " / " + text));
        for (const QString &t : texts)
            QVERIFY2(text.contains(t), qPrintable(text));
        // No word runs off the page.
        const QString boxes =
            runText(QStringLiteral("pdftotext"),
                    {"-bbox", "-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
        static const QRegularExpression word(
            QStringLiteral("xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" "
                           "yMax=\"([-0-9.]+)\">([^<]*)<"));
        const double width = size.captured(1).toDouble(), height = size.captured(2).toDouble();
        int words = 0;
        for (const QRegularExpressionMatch &m : word.globalMatch(boxes)) {
            ++words;
            QVERIFY2(m.captured(1).toDouble() >= 0 && m.captured(2).toDouble() >= 0
                         && m.captured(3).toDouble() <= width && m.captured(4).toDouble() <= height,
                     qPrintable(m.captured(0)));
        }
        QVERIFY(words >= 4);
        read << code;
    }
    if (!codes.isEmpty())
        QCOMPARE(read, codes);
    for (const QString &png : pngs)
        QFile::remove(dir.filePath(png));
}

void TestLabelsPdf::refusals_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("a name too long for the label")
        << QStringList{"--first-cell", "BATCH-2026-12-07-LONG-0001", "--size", "20x20mm"} << 2
        << "battery-analyzer-cli: cell BATCH-2026-12-07-LONG-0001: 'BATCH-2026-12-07-LONG-0001' "
           "does not fit a 20x20 mm "
           "label; choose a larger --size\n";
    QTest::newRow("fewer names than readings")
        << QStringList{"--cells", "A001..A011"} << 2
        << "battery-analyzer-cli: labels: --cells A001..A011 names 11 cells, but the files hold 12 "
           "readings\n";
    QTest::newRow("nothing left to label")
        << QStringList{"--cells", "A001..A012", "--only", "fail"} << 3
        << "battery-analyzer-cli: labels: no cell to label\n";
}

// A refused sheet leaves the file that was there as it was, and standard error holds the
// one message, even where Qt has no runtime folder (cron, a bare ssh session).
void TestLabelsPdf::refusals()
{
    qunsetenv("XDG_RUNTIME_DIR");
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString board = dir.filePath(QStringLiteral("cells.txt"));
    QVERIFY(writeFile(board, batchBoardText(12)));
    const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
    QVERIFY(writeFile(pdf, "the sheet printed yesterday"));
    const ToolRun tool = runTool(QStringList{"labels", board, "--output", pdf} + options);
    QCOMPARE(tool.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(tool.err), message);
    QCOMPARE(readFile(pdf), QByteArray("the sheet printed yesterday"));
}

QTEST_GUILESS_MAIN(TestLabelsPdf)
#include "tst_labels_pdf.moc"
