// Capacity files as chargers and spreadsheets write them: every dialect of a generated
// file reads back the capacities written, and every fault of a file is named in one read.
#include "cellregister/capacity_file.h"

#include <QRandomGenerator>
#include <QTest>

using namespace cellregister;

namespace {

struct Dialect {
    QChar separator;
    QString lineEnd;
    bool bom;
    QString labelHeader;
    QString capacityHeader;
    bool ampHours; // values in Ah (with the unit in the header or the cell)
    bool unitInCell;
    QChar thousands; // none, or the mark grouping thousands
};

// The capacity as a charger would write it in this dialect.
QString written(std::int64_t uah, const Dialect &d)
{
    const int places = d.ampHours ? 6 : 3;
    const std::int64_t scale = d.ampHours ? 1'000'000 : 1'000;
    QString whole = QString::number(uah / scale);
    QString fraction = QString::number(uah % scale).rightJustified(places, u'0');
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    const QChar decimal = d.thousands == u',' ? u'.' : (d.separator == u';' ? u',' : u'.');
    if (!d.thousands.isNull()) {
        for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
            whole.insert(at, d.thousands);
        // A single mark before three digits could be either: a grouped number shows its
        // decimals, as spreadsheets set to a fixed number of places do.
        if (fraction.isEmpty())
            fraction = QStringLiteral("0");
    }
    QString text = fraction.isEmpty() ? whole : whole + decimal + fraction;
    if (d.unitInCell)
        text += d.ampHours ? QStringLiteral(" Ah") : QStringLiteral("mAh");
    if (text.contains(d.separator))
        text = u'"' + text + u'"';
    return text;
}

} // namespace

class TestCapacityFile : public QObject {
    Q_OBJECT

private slots:
    // Every dialect reads back exactly what was written, skipping blank values and lines.
    void readsEveryDialect()
    {
        QRandomGenerator random(2026);
        const QString labelHeaders[] = {"id", "Cell ID", "label", "barcode"};
        const QString mahHeaders[] = {"capacity_mah", "Capacity (mAh)", "Discharge mAh", "cap"};
        int files = 0;
        for (const QChar separator : {u',', u';', u'\t'})
            for (const char *lineEnd : {"\n", "\r\n", "\r"})
                for (const bool ampHours : {false, true})
                    for (const bool unitInCell : {false, true})
                        for (const QChar thousands :
                             {QChar(), QChar(u','), QChar(u'.'), QChar(u' ')}) {
                            if (thousands == u'.' && separator != u';')
                                continue; // a decimal comma needs a file not split by commas
                            const Dialect d{separator,
                                            QString::fromLatin1(lineEnd),
                                            files % 2 == 0,
                                            labelHeaders[files % 4],
                                            ampHours && !unitInCell
                                                ? QStringLiteral("Capacity (Ah)")
                                                : mahHeaders[files % 4],
                                            ampHours,
                                            unitInCell,
                                            thousands};
                            ++files;
                            QString text = d.bom ? QString(QChar(0xFEFF)) : QString();
                            text += QStringLiteral("note") + d.separator + d.labelHeader
                                + d.separator + d.capacityHeader + d.lineEnd;
                            std::vector<std::pair<QString, std::int64_t>> truth;
                            int blanks = 0;
                            for (int i = 0; i < 40; ++i) {
                                const QString label =
                                    QStringLiteral("C%1").arg(i, 4, 10, QChar(u'0'));
                                if (random.bounded(8) == 0) {
                                    text += QStringLiteral("x") + d.separator + label + d.separator
                                        + d.lineEnd + d.lineEnd;
                                    ++blanks;
                                    continue;
                                }
                                // From a coin cell to a large pack, to the µAh.
                                const std::int64_t uah = random.bounded(3) == 0
                                    ? std::int64_t(random.bounded(1, 100'000)) * 1000
                                    : std::int64_t(random.bounded(1000, 2'000'000)) * 1000
                                        + (ampHours ? 0 : random.bounded(1000));
                                truth.emplace_back(label, uah);
                                text += QStringLiteral("n") + d.separator + label + d.separator
                                    + written(uah, d) + d.lineEnd;
                            }
                            const CapacityFile f = readCapacityFile(text, {});
                            const QString context =
                                QStringLiteral("%1 in\n%2")
                                    .arg(f.problems.empty() ? QString() : f.problems.front().value,
                                         text.left(300));
                            QVERIFY2(f.problems.empty(), qPrintable(context));
                            QCOMPARE(f.blankValues, blanks);
                            QCOMPARE(f.rows.size(), truth.size());
                            for (std::size_t i = 0; i < truth.size(); ++i) {
                                QCOMPARE(f.rows[i].label, truth[i].first);
                                QVERIFY2(f.rows[i].microampHours == truth[i].second,
                                         qPrintable(written(truth[i].second, d)));
                            }
                        }
        QVERIFY(files > 60);
    }

    // One value in a file of its own: what it is read as, or why not.
    void readsValues_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("value");
        QTest::addColumn<qint64>("microampHours"); // -1: refused
        QTest::addColumn<int>("problem");
        const struct {
            const char *header, *value;
            qint64 uah;
            int problem;
        } rows[] = {
            {"id;capacity", "1.522,4", 1'522'400, -1},
            {"id;capacity", "\"1,522.4\"", 1'522'400, -1},
            {"id;capacity", "1522 mAh", 1'522'000, -1},
            {"id;capacity", "1,5 Ah", 1'500'000, -1},
            {"id;capacity_ah", "2,45", 2'450'000, -1},
            {"id;capacity", "0.522", 522, -1},
            {"id;capacity", "12.345.678", 12'345'678'000, -1},
            {"id;capacity", "2 450", 2'450'000, -1},
            {"id;capacity", "2450.1230", 2'450'123, -1},
            {"id;capacity", "1,522", -1, CapacityProblem::Ambiguous},
            {"id;capacity", "1.522", -1, CapacityProblem::Ambiguous},
            {"id;capacity", "1,52,2", -1, CapacityProblem::NotACapacity},
            {"id;capacity", "-5", -1, CapacityProblem::NotACapacity},
            {"id;capacity", "2450.1234", -1, CapacityProblem::NotACapacity},
            {"id;capacity", "1.2.3", -1, CapacityProblem::NotACapacity},
            {"id;capacity", "2450 Wh", -1, CapacityProblem::NotACapacity},
            {"id;capacity", "1234567890", -1, CapacityProblem::NotACapacity},
            {"id,capacity", "1,522", -1, CapacityProblem::TooManyFields},
        };
        for (const auto &r : rows)
            QTest::newRow(r.value) << QString::fromLatin1(r.header) << QString::fromUtf8(r.value)
                                   << r.uah << r.problem;
    }
    void readsValues()
    {
        QFETCH(QString, header);
        QFETCH(QString, value);
        QFETCH(qint64, microampHours);
        QFETCH(int, problem);
        const QChar separator = header.contains(u';') ? u';' : u',';
        const CapacityFile f =
            readCapacityFile(header + QStringLiteral("\nA1") + separator + value + u'\n', {});
        if (microampHours >= 0) {
            QVERIFY2(f.problems.empty(),
                     f.problems.empty() ? "" : qPrintable(f.problems.front().value));
            QCOMPARE(f.rows.size(), std::size_t(1));
            QCOMPARE(f.rows.front().microampHours, microampHours);
        } else {
            QVERIFY(f.rows.empty());
            QCOMPARE(f.problems.size(), std::size_t(1));
            QCOMPARE(int(f.problems.front().kind), problem);
            QCOMPARE(f.problems.front().line, 2);
        }
    }

    // What a charger writes around its values: the file's other values decide a mark that one
    // value alone leaves open, and the summary lines after the cells are skipped.
    void readsTheFileAsAWhole_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<qint64>>("microampHours"); // empty: refused
        QTest::addColumn<QList<int>>("summaryLines");
        const struct {
            const char *name, *file;
            QList<qint64> uah;
            QList<int> summary;
        } rows[] = {
            {"decimal commas make a dot thousands",
             "id;mah\nA1;2.480,5\nA2;1.522\n",
             {2'480'500, 1'522'000},
             {}},
            {"decimal commas alone", "id;mah\nA1;2480,5\nA2;1.522\n", {2'480'500, 1'522'000}, {}},
            {"decimal points make a comma thousands",
             "id;mah\nA1;2480.25\nA2;1,522\n",
             {2'480'250, 1'522'000},
             {}},
            {"decimal points make a dot decimals",
             "id;mah\nA1;2480.25\nA2;1.522\n",
             {2'480'250, 1'522},
             {}},
            {"marks that disagree decide nothing",
             "id;mah\nA1;2480.25\nA2;2480,5\nA3;1.522\n",
             {},
             {}},
            {"a summary after the cells",
             "slot;id;mah\n1;A1;2480\n2;A2;2500\n\nAverage;;2490\nSum;;4980\n",
             {2'480'000, 2'500'000},
             {5, 6}},
            {"a summary in the label column", "id;mah\nA1;2480\nTotal;2480\n", {2'480'000}, {3}},
            {"a cell after a summary word is a cell",
             "id;mah\nTotal;2480\nA1;2500\n",
             {2'480'000, 2'500'000},
             {}},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QString::fromUtf8(r.file) << r.uah << r.summary;
    }
    void readsTheFileAsAWhole()
    {
        QFETCH(QString, file);
        QFETCH(QList<qint64>, microampHours);
        QFETCH(QList<int>, summaryLines);
        const CapacityFile f = readCapacityFile(file, {});
        QList<qint64> read;
        for (const CapacityRow &row : f.rows)
            read << row.microampHours;
        QList<int> skipped;
        for (const auto &[line, word] : f.summaryLines)
            skipped << line;
        QCOMPARE(skipped, summaryLines);
        if (microampHours.isEmpty()) {
            QCOMPARE(f.problems.size(), std::size_t(1));
            QCOMPARE(f.problems.front().kind, CapacityProblem::Ambiguous);
        } else {
            QVERIFY(f.problems.empty());
            QCOMPARE(read, microampHours);
        }
    }

    // Every problem of a file in one read, with its line; the columns found by name.
    void namesEveryProblem()
    {
        using P = CapacityProblem;
        const QString file = QStringLiteral("Serial,Voltage,mAh\n"
                                            "A1,4.1,2000\n"
                                            "a1,4.1,2100\n"
                                            ",4.1,1900\n"
                                            "A2,4.1,lots\n"
                                            "A3,4.1,\n"
                                            "A4,4.1,2050\n");
        CapacityFile f = readCapacityFile(file, {});
        QCOMPARE(f.labelColumn, QStringLiteral("Serial"));
        QCOMPARE(f.capacityColumn, QStringLiteral("mAh"));
        const std::vector<P> expected = {
            {P::Repeated, 3, "a1", 2}, {P::NoLabel, 4, {}, 0}, {P::NotACapacity, 5, "lots"}};
        QCOMPARE(f.problems, expected);
        QCOMPARE(f.blankValues, 1);
        // The last one wins when the user says so; labels match without case.
        f = readCapacityFile(file, {{}, {}, RepeatedLabel::LastWins});
        QCOMPARE(f.rows.front().microampHours, 2'100'000);
        QCOMPARE(f.problems.size(), std::size_t(2));

        const std::vector<P> noColumn = {{P::NoCapacityColumn, 1, "Capacity"}};
        QCOMPARE(readCapacityFile(file, {{}, QStringLiteral("Capacity")}).problems, noColumn);
        QCOMPARE(readCapacityFile(file, {QStringLiteral("voltage"), QStringLiteral("mah")})
                     .rows.front()
                     .label,
                 QStringLiteral("4.1"));
        const std::vector<P> noHeader = {{P::NoHeader, 1, {}, 0}};
        QCOMPARE(readCapacityFile(u"\r\n\n", {}).problems, noHeader);
        const std::vector<P> noLabel = {{P::NoLabelColumn, 1, {}, 0}};
        QCOMPARE(readCapacityFile(u"what,capacity\nA1,2\n", {}).problems, noLabel);
    }
};

QTEST_GUILESS_MAIN(TestCapacityFile)
#include "tst_capacity_file.moc"
