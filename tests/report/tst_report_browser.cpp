// The report as a browser reads it: headless Chromium loads the written file, dumps its
// DOM, takes a screenshot with scripts off and prints it to PDF.
#include "browser.h"
#include "cell_files.h"
#include "register_batch.h"
#include "tool_process.h"

#include "reading/line_format.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The <svg> element with this id in the DOM, or nothing.
QString svgById(const QString &dom, const QString &id)
{
    const qsizetype start = dom.indexOf(QStringLiteral("<svg id=\"%1\"").arg(id));
    const qsizetype end = start < 0 ? -1 : dom.indexOf(QStringLiteral("</svg>"), start);
    return end < 0 ? QString() : dom.mid(start, end - start);
}

QString cellOf(const QString &dom, const QString &id)
{
    const QRegularExpression td(QStringLiteral("<td id=\"%1\">([^<]*)</td>").arg(id));
    return td.match(dom).captured(1);
}

qsizetype sumOfBars(const QString &svg)
{
    static const QRegularExpression bar(QStringLiteral("data-count=\"([0-9]+)\""));
    qsizetype sum = 0;
    for (const QRegularExpressionMatch &m : bar.globalMatch(svg))
        sum += m.captured(1).toLongLong();
    return sum;
}

// The rows of the tool's own stats: quantity name to its five numbers.
QMap<QString, QStringList> statsRows(const QByteArray &out)
{
    QMap<QString, QStringList> rows;
    for (const QString &l : QString::fromUtf8(out).split(u'\n')) {
        const QStringList fields = l.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() == 6
            && (fields[0].startsWith(u"resistance") || fields[0].startsWith(u"voltage")))
            rows.insert(fields[0].section(u'/', 0, 0), fields.mid(1));
    }
    return rows;
}

QString pdfInfo(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    p.waitForFinished(60'000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestReportBrowser : public QObject {
    Q_OBJECT
private slots:
    void report_data();
    void report();
    void openWithoutDisplay();
    void fromRegister_data();
    void fromRegister();

private:
    QTemporaryDir dir;
};

void TestReportBrowser::report_data()
{
    QTest::addColumn<int>("cells");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("packCells");
    QTest::newRow("named cells, a rule and a pack")
        << 20
        << QStringList{"--cells",    "A001..A020", "--max-resistance",     "0.06", "--series", "3",
                       "--parallel", "2",          "--max-voltage-spread", "0.6"}
        << 6;
    QTest::newRow("captions in Chinese")
        << 20 << QStringList{"--first-cell", "A001", "--max-resistance", "0.05", "--language", "zh"}
        << 0;
    // Every row checks that the DOM holds no script element.
    QTest::newRow("names with markup are shown as text")
        << 12
        << QStringList{"--first-cell", "<script>alert(1)</script>A1", "--max-resistance", "0.05"}
        << 0;
    QTest::newRow("a large batch without rules, packed over several figures")
        << 3000 << QStringList{"--series", "20", "--parallel", "4", "--max-voltage-spread", "0.6"}
        << 80;
}

void TestReportBrowser::report()
{
    QFETCH(int, cells);
    QFETCH(QStringList, options);
    QFETCH(int, packCells);
    const QString board = dir.filePath(QStringLiteral("cells-%1.txt").arg(cells));
    const QByteArray text = batchBoardText(cells);
    QVERIFY(writeFile(board, text));
    const QString html = dir.filePath(QStringLiteral("report.html"));
    const ToolRun tool = runTool(QStringList{"report", board, "--output", html} + options);
    QVERIFY2(tool.exitCode == 0, tool.err.constData());

    const BrowserRun dump = runBrowser(html, {"--dump-dom"});
    QVERIFY(dump.finished);
    QCOMPARE(dump.exitCode, 0);
    QCOMPARE(pageErrors(dump.log), QList<QByteArray>{});
    const QString dom = QString::fromUtf8(dump.out);
    QVERIFY(!dom.contains(QStringLiteral("<script")));

    // Every chart is there and holds a mark for every cell.
    const QString resistance = svgById(dom, QStringLiteral("resistance-histogram"));
    const QString voltage = svgById(dom, QStringLiteral("voltage-histogram"));
    const QString scatter = svgById(dom, QStringLiteral("resistance-voltage"));
    QCOMPARE(sumOfBars(resistance), qsizetype(cells));
    QCOMPARE(sumOfBars(voltage), qsizetype(cells));
    // The legend draws one dot and one cross besides the cells'.
    QCOMPARE(scatter.count(QStringLiteral("<circle"))
                 + scatter.count(QStringLiteral("<path class=\"fail\"")),
             qsizetype(cells + 2));
    QVERIFY(dom.contains(QStringLiteral("id=\"no-self-discharge\"")));
    QCOMPARE(dom.count(QStringLiteral("<g class=\"cell ")), qsizetype(packCells));

    // The numbers shown are the tool's own: counts from the readings, statistics as `stats`.
    qint64 limit = INT64_MAX;
    if (const qsizetype at = options.indexOf(QStringLiteral("--max-resistance")); at >= 0)
        limit = qint64(options[at + 1].toDouble() * 1e6 + 0.5);
    int failing = 0;
    for (const QByteArray &l : text.split('\n'))
        if (const auto r = reading::parseBoardLine(l.chopped(l.endsWith('\r') ? 1 : 0)))
            failing += r->microohms() > limit ? 1 : 0;
    QCOMPARE(cellOf(dom, QStringLiteral("count-all")).toInt(), cells);
    QCOMPARE(cellOf(dom, QStringLiteral("count-fail")).toInt(), failing);
    QCOMPARE(cellOf(dom, QStringLiteral("count-pass")).toInt(), cells - failing);
    const ToolRun stats = runTool({"stats", board});
    const QMap<QString, QStringList> rows = statsRows(stats.out);
    QCOMPARE(rows.size(), 2);
    const QStringList columns{"minimum", "maximum", "mean", "median", "deviation"};
    for (int c = 0; c < columns.size(); ++c) {
        // stats shows resistances in mΩ, as the report does.
        const double shown = rows[QStringLiteral("resistance")][c].toDouble();
        const double milliohms = cellOf(dom, QStringLiteral("resistance-") + columns[c]).toDouble();
        QVERIFY2(std::abs(shown - milliohms) < 1e-9, qPrintable(columns[c]));
        QCOMPARE(cellOf(dom, QStringLiteral("voltage-") + columns[c]).toDouble(),
                 rows[QStringLiteral("voltage")][c].toDouble());
    }

    // Drawn, the histogram's bars are on the screenshot. The page's own policy allows no
    // script, so this is the page as a browser with scripts off shows it.
    QVERIFY(
        dom.contains(QStringLiteral("content=\"default-src 'none'; style-src 'unsafe-inline'\"")));
    const QString png = dir.filePath(QStringLiteral("report.png"));
    const BrowserRun shot = runBrowser(html, {"--window-size=1000,1400", "--screenshot=" + png});
    QVERIFY(shot.finished);
    QCOMPARE(pageErrors(shot.log), QList<QByteArray>{});
    const QImage image(png);
    QVERIFY(!image.isNull());
    int barPixels = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            barPixels += image.pixel(x, y) == qRgb(0x56, 0xB4, 0xE9) ? 1 : 0;
    QVERIFY2(barPixels > 500, qPrintable(QString::number(barPixels)));

    // Printed, it gives A4 pages.
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    const BrowserRun print = runBrowser(html, {"--no-pdf-header-footer", "--print-to-pdf=" + pdf});
    QVERIFY(print.finished);
    const QString info = pdfInfo(pdf);
    QVERIFY2(info.contains(QRegularExpression(
                 QStringLiteral("Page size:\\s+[0-9.]+ x [0-9.]+ pts \\(A4\\)"))),
             qPrintable(info));

    // The tallest figures, the pack's, each on one page: a figure's caption and the name of
    // its last group are printed on the same page.
    const int pages =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1).toInt();
    QStringList pageTexts;
    for (int page = 1; page <= pages; ++page) {
        QProcess p;
        p.start(QStringLiteral("pdftotext"),
                {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
        p.waitForFinished(60'000);
        pageTexts << QString::fromUtf8(p.readAllStandardOutput());
    }
    const int groups = packCells == 0
        ? 0
        : packCells / options[options.indexOf(QStringLiteral("--parallel")) + 1].toInt();
    for (int first = 1; first <= groups; first += 8) {
        const int last = std::min(groups, first + 7);
        const QString caption = QStringLiteral("Groups %1 to %2").arg(first).arg(last);
        const QRegularExpression lastGroup(QStringLiteral("group %1(?![0-9])").arg(last));
        const auto pageOf = [&](const auto &needle) {
            for (int i = 0; i < pageTexts.size(); ++i)
                if (pageTexts[i].contains(needle))
                    return i;
            return -1;
        };
        QVERIFY2(pageOf(caption) >= 0 && pageOf(caption) == pageOf(lastGroup), qPrintable(caption));
    }
}

// With no display to show it on, --open still writes the report and says where it is.
void TestReportBrowser::openWithoutDisplay()
{
    const QString board = dir.filePath(QStringLiteral("cells.txt"));
    QVERIFY(writeFile(board, batchBoardText(5)));
    const QString html = dir.filePath(QStringLiteral("open.html"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(BATTERY_CLI), {"report", board, "--output", html, "--open"});
    QVERIFY(p.waitForFinished(60'000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(
        QString::fromUtf8(p.readAllStandardError()),
        QStringLiteral("battery-analyzer-cli: report: no display to open it on; the report is %1\n")
            .arg(html));
    QVERIFY(readFile(html).startsWith("<!DOCTYPE html>"));
}

void TestReportBrowser::fromRegister_data()
{
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("packCells");
    QTest::newRow("resistance, capacity and self-discharge rules, and a pack")
        << QStringList{"--max-resistance",     "0.05", "--min-capacity", "2300",
                       "--max-self-discharge", "1"}
        << QStringList{"--pack", "P1"} << 6;
    QTest::newRow("a rest too short to judge, in Chinese")
        << QStringList{"--max-self-discharge", "1", "--min-days", "30"}
        << QStringList{"--language", "zh"} << 0;
}

// The report of a register shows what `cells` says of it under the same rules.
void TestReportBrowser::fromRegister()
{
    QFETCH(QStringList, rules);
    QFETCH(QStringList, options);
    QFETCH(int, packCells);
    QTemporaryDir folder;
    const QString db = fillRegister(folder.path(), 20, 2, 3);
    QVERIFY(!db.isEmpty());
    const QString html = folder.filePath(QStringLiteral("register.html"));
    const ToolRun tool =
        runTool(QStringList{"report", "--db", db, "--output", html} + rules + options);
    QVERIFY2(tool.exitCode == 0, tool.err.constData());
    const ToolRun cells = runTool(QStringList{"cells", "--db", db, "--format", "json"} + rules);
    QCOMPARE(cells.exitCode, 0);
    const QJsonArray rows = QJsonDocument::fromJson(cells.out).array();
    QCOMPARE(rows.size(), 20);
    int failing = 0, discharges = 0;
    double lowest = 1e9, highest = 0;
    for (const QJsonValue &row : rows) {
        failing += row[QStringLiteral("verdict")] == QStringLiteral("fail") ? 1 : 0;
        discharges += row[QStringLiteral("self_discharge_mv_per_day")].isNull() ? 0 : 1;
        lowest = std::min(lowest, row[QStringLiteral("resistance_ohm")].toDouble() * 1e3);
        highest = std::max(highest, row[QStringLiteral("resistance_ohm")].toDouble() * 1e3);
    }

    const BrowserRun dump = runBrowser(html, {"--dump-dom"});
    QVERIFY(dump.finished);
    QCOMPARE(pageErrors(dump.log), QList<QByteArray>{});
    const QString dom = QString::fromUtf8(dump.out);
    QCOMPARE(cellOf(dom, QStringLiteral("count-all")).toInt(), 20);
    QCOMPARE(cellOf(dom, QStringLiteral("count-fail")).toInt(), failing);
    QCOMPARE(cellOf(dom, QStringLiteral("count-pass")).toInt(), 20 - failing);
    QCOMPARE(cellOf(dom, QStringLiteral("resistance-minimum")).toDouble(), lowest);
    QCOMPARE(cellOf(dom, QStringLiteral("resistance-maximum")).toDouble(), highest);
    QCOMPARE(sumOfBars(svgById(dom, QStringLiteral("resistance-histogram"))), qsizetype(20));
    const QString discharge = svgById(dom, QStringLiteral("self-discharge"));
    QCOMPARE(discharge.isEmpty(), discharges == 0);
    if (discharges > 0)
        QCOMPARE(discharge.count(QStringLiteral("<circle"))
                     + discharge.count(QStringLiteral("<path class=\"fail\"")),
                 qsizetype(discharges + 2));
    QCOMPARE(dom.count(QStringLiteral("<g class=\"cell ")), qsizetype(packCells));
}

QTEST_GUILESS_MAIN(TestReportBrowser)
#include "tst_report_browser.moc"
