// A pack's totals against values worked out by hand.
#include "analysis/pack_totals.h"

#include <QTest>

using analysis::PackCell;
using Groups = std::vector<std::vector<PackCell>>;
Q_DECLARE_METATYPE(Groups)

class TestPackTotals : public QObject {
    Q_OBJECT

private slots:
    void totals_data()
    {
        QTest::addColumn<Groups>("groups");
        QTest::addColumn<qint64>("nominalMv");
        QTest::addColumn<qint64>("measuredUv");
        QTest::addColumn<qint64>("capacityUah"); // -1: unknown
        QTest::addColumn<double>("wattHours");
        QTest::addColumn<double>("ohms");
        const PackCell a{50'000, 4'100'000, 2'500'000}, b{50'000, 4'000'000, 2'000'000},
            c{25'000, 4'200'000, 3'000'000}, unknown{40'000, 4'100'000, std::nullopt};
        // Two groups of 25 mΩ; the weaker group holds 4 500 mAh.
        QTest::newRow("2S2P") << Groups{{a, a}, {a, b}} << qint64(7200) << qint64(8'150'000)
                              << qint64(4'500'000) << 7.2 * 4.5 << 0.050;
        // 50 and 25 mΩ in parallel: 16.67 mΩ.
        QTest::newRow("1S2P, mixed") << Groups{{a, c}} << qint64(3600) << qint64(4'150'000)
                                     << qint64(5'500'000) << 3.6 * 5.5 << 0.05 / 3;
        QTest::newRow("a capacity unknown") << Groups{{a}, {unknown}} << qint64(7200)
                                            << qint64(8'200'000) << qint64(-1) << 0.0 << 0.090;
        QTest::newRow("empty") << Groups{} << qint64(0) << qint64(0) << qint64(-1) << 0.0 << 0.0;
    }
    void totals()
    {
        QFETCH(Groups, groups);
        QFETCH(qint64, nominalMv);
        QFETCH(qint64, measuredUv);
        QFETCH(qint64, capacityUah);
        QFETCH(double, wattHours);
        QFETCH(double, ohms);
        const analysis::PackTotals t = analysis::packTotals(groups);
        QCOMPARE(t.nominalMillivolts, nominalMv);
        QCOMPARE(t.measuredMicrovolts, measuredUv);
        QCOMPARE(t.microampHours.value_or(-1), capacityUah);
        QCOMPARE(t.wattHours.has_value(), capacityUah >= 0);
        QVERIFY(qAbs(t.wattHours.value_or(0) - wattHours) < 1e-9);
        QVERIFY2(qAbs(t.ohms - ohms) < 1e-12, qPrintable(QString::number(t.ohms, 'g', 12)));
    }
};

QTEST_GUILESS_MAIN(TestPackTotals)
#include "tst_pack_totals.moc"
