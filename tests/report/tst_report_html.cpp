// The report from cells a register knows more of: self-discharge sorted, a pack's group
// totals and spreads, and a pack naming a cell the report lacks.
#include "report/batch.h"
#include "report/errors.h"
#include "report/html_report.h"
#include "report/labels.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

struct CellValues {
    const char *label;
    qint64 microohms;
    qint64 microampHours; // 0: unknown
    double discharge; // below zero: unknown
};

report::Batch batchOf(const std::vector<CellValues> &values, const std::vector<QStringList> &groups)
{
    report::Batch batch;
    batch.source = QStringLiteral("register");
    batch.rules.maxSelfDischargeMvPerDay = 3;
    for (const CellValues &v : values) {
        report::Cell cell;
        cell.label = QString::fromLatin1(v.label);
        cell.ohms = {v.microohms, 6};
        cell.volts = {4'100'000, 6};
        if (v.microampHours > 0)
            cell.capacityMicroampHours = v.microampHours;
        if (v.discharge >= 0)
            cell.selfDischargeMvPerDay = v.discharge;
        report::judge(cell, batch.rules);
        batch.cells.push_back(cell);
    }
    batch.pack = report::Pack{QStringLiteral("P1"), groups};
    return batch;
}

QString svgById(const QString &html, const QString &id)
{
    const qsizetype start = html.indexOf(QStringLiteral("<svg id=\"%1\"").arg(id));
    return start < 0 ? QString()
                     : html.mid(start, html.indexOf(QStringLiteral("</svg>"), start) - start);
}

} // namespace

class TestReportHtml : public QObject {
    Q_OBJECT
private slots:
    void packAndDischarge_data();
    void packAndDischarge();
    void unknownPackCell();
    void failingList_data();
    void failingList();
    void userTextVerbatim_data();
    void userTextVerbatim();
    void retiredApart();
};

void TestReportHtml::packAndDischarge_data()
{
    QTest::addColumn<bool>("allCapacities");
    QTest::newRow("every capacity known") << true;
    QTest::newRow("one capacity unknown") << false;
}

void TestReportHtml::packAndDischarge()
{
    QFETCH(bool, allCapacities);
    // Capacities stay exact: a charger's 2399.5 mAh is not rounded to 2400.
    const report::Batch batch = batchOf({{"A1", 40000, 2'500'000, 4.5},
                                         {"A2", 40000, 2'399'500, 0.5},
                                         {"A3", 60000, 2'600'000, -1},
                                         {"A4", 30000, allCapacities ? 2'000'000 : 0, 2.25},
                                         {"A5", 60000, 2'700'000, 1.0}},
                                        {{"A1", "A2"}, {"A3", "A4"}, {"A5"}});
    const QString html = QString::fromUtf8(report::reportHtml(batch, report::Language::English));

    // The cells with a self-discharge, lowest first; the one above the limit is a cross.
    const QString discharge = svgById(html, QStringLiteral("self-discharge"));
    static const QRegularExpression title(QStringLiteral("<title>(A[0-9]):"));
    QStringList order;
    for (const QRegularExpressionMatch &m : title.globalMatch(discharge))
        order << m.captured(1);
    QCOMPARE(order, (QStringList{"A2", "A5", "A4", "A1"}));
    QCOMPARE(discharge.count(QStringLiteral("<path class=\"fail\"")), 1 + 1); // and the legend's

    // Group totals: capacity sums, and 1 / (1/R1 + 1/R2) for the parallel resistance.
    QVERIFY(html.contains(QStringLiteral(">4899.5 mAh<")));
    QVERIFY(html.contains(QStringLiteral(">20 m\u03A9<")));
    QVERIFY(html.contains(QStringLiteral(">2700 mAh<")));
    QVERIFY(html.contains(QStringLiteral(">60 m\u03A9<")));
    QCOMPARE(html.contains(QStringLiteral(">4600 mAh<")), allCapacities);
    QCOMPARE(html.contains(QStringLiteral("id=\"spread-capacity\">2199.5 mAh<")), allCapacities);
    QVERIFY(html.contains(QStringLiteral("id=\"spread-resistance\">40 m\u03A9<")));
}

void TestReportHtml::unknownPackCell()
{
    const report::Batch batch = batchOf({{"A1", 40000, 0, -1}}, {{"A1", "B9"}});
    try {
        report::reportHtml(batch, report::Language::English);
        QFAIL("a pack with a cell the report lacks was drawn");
    } catch (const EUnknownPackCell &e) {
        QCOMPARE(
            e.message(),
            QStringLiteral("pack P1 holds cell B9, which is not among the cells of the report"));
    }
}

void TestReportHtml::failingList_data()
{
    QTest::addColumn<int>("failing");
    QTest::addColumn<int>("listed");
    QTest::newRow("all listed") << 200 << 200;
    QTest::newRow("the rest counted") << 260 << 200;
}

// A long list of failing cells stops at 200 rows and says how many more there are.
void TestReportHtml::failingList()
{
    QFETCH(int, failing);
    QFETCH(int, listed);
    std::vector<CellValues> values(std::size_t(failing) + 10, CellValues{"A1", 40000, 0, 9.0});
    for (std::size_t i = std::size_t(failing); i < values.size(); ++i)
        values[i].discharge = 1.0;
    const QString html =
        QString::fromUtf8(report::reportHtml(batchOf(values, {}), report::Language::English));
    const qsizetype table = html.indexOf(QStringLiteral("<table id=\"failing\">"));
    QCOMPARE(html.mid(table, html.indexOf(QStringLiteral("</table>"), table) - table)
                 .count(QStringLiteral("<tr>")),
             qsizetype(listed + 1));
    QCOMPARE(html.contains(QStringLiteral("and %1 more").arg(failing - listed)), failing > listed);
}

void TestReportHtml::userTextVerbatim_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a marker inside") << "P%1x";
    QTest::newRow("every one-digit marker") << "%1%2%3%4%5%6%7%8%9";
    QTest::newRow("localized, doubled, zero-padded") << "%L1 %%2 %03";
}

// Labels, a pack's name and the cells' source go into every caption, title and label text as
// given: a template's marker in them is never filled in.
void TestReportHtml::userTextVerbatim()
{
    QFETCH(QString, name);
    const QString plain = QString(name).replace(u'%', u'Q'); // as long, and no marker
    const auto named = [](const QString &n) {
        report::Batch batch = batchOf({{"A1", 40000, 2'500'000, 4.5},
                                       {"A2", 41000, 2'400'000, 0.5},
                                       {"A3", 70000, 0, -1},
                                       {"A4", 42000, 2'450'000, 1.0}},
                                      {{"A1", "A2"}, {"A3", "A4"}});
        batch.source = n;
        for (report::Cell &cell : batch.cells)
            cell.label.prepend(n);
        batch.pack->name = n;
        for (QStringList &group : batch.pack->groups)
            for (QString &label : group)
                label.prepend(n);
        return batch;
    };
    for (const report::Language language : {report::Language::English, report::Language::Chinese}) {
        const QString html = QString::fromUtf8(report::reportHtml(named(name), language));
        QCOMPARE(
            html,
            QString::fromUtf8(report::reportHtml(named(plain), language)).replace(plain, name));
    }
    for (const report::Cell &cell : named(name).cells) {
        const report::LabelText text = report::labelText(cell, report::PackPlace{name, 12, 3});
        report::Cell plainCell = cell;
        plainCell.label.replace(name, plain);
        QStringList expected = report::labelText(plainCell, report::PackPlace{plain, 12, 3}).lines;
        QCOMPARE(text.code, cell.label);
        QCOMPARE(text.lines, expected.replaceInStrings(plain, name));
        QCOMPARE(text.lines.back(), name + QStringLiteral(" G12 #3"));
    }
}

// A retired cell is neither a pass nor a failure: counted and listed apart, never a PASS.
void TestReportHtml::retiredApart()
{
    report::Batch batch =
        batchOf({{"A1", 40000, 0, 1.0}, {"A2", 40000, 0, 9.0}, {"A3", 40000, 0, 1.0}}, {});
    batch.pack.reset();
    batch.cells[2].retired = QStringLiteral("dented");
    report::judge(batch.cells[2], batch.rules);
    const QString html = QString::fromUtf8(report::reportHtml(batch, report::Language::English));
    for (const char *count : {"count-pass\">1<", "count-fail\">1<", "count-retired\">1<"})
        QVERIFY2(html.contains(QLatin1String(count)), count);
    const qsizetype retired = html.indexOf(QStringLiteral("<table id=\"retired\">"));
    QVERIFY(html.indexOf(QStringLiteral("<td class=\"text\">dented</td>"), retired) > retired);
    QVERIFY(!html.contains(QStringLiteral("<td class=\"text\">A3</td><td class=\"text\">self")));
    QStringList passing;
    for (const report::LabelText &l :
         report::batchLabels(batch, {report::LabelField::Label, report::LabelField::Verdict}, true))
        passing << l.lines.join(u' ');
    QCOMPARE(passing, QStringList{"A1 PASS"});
    QCOMPARE(report::batchLabels(batch, {report::LabelField::Verdict}).back().lines,
             QStringList{"RETIRED"});
}

QTEST_GUILESS_MAIN(TestReportHtml)
#include "tst_report_html.moc"
