// Batch summaries: exact minimum, maximum and median, mean and deviation, histogram bins.
#include "analysis/statistics.h"

#include <QtTest>

using Values = std::vector<std::int64_t>;
Q_DECLARE_METATYPE(Values)
Q_DECLARE_METATYPE(std::vector<std::size_t>)

class TestStatistics : public QObject {
    Q_OBJECT
private slots:
    void summaries_data();
    void summaries();
    void histograms_data();
    void histograms();

private:
    void check(const analysis::Summary &s, std::size_t count);
};

void TestStatistics::summaries_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<qint64>("minimum");
    QTest::addColumn<qint64>("maximum");
    QTest::addColumn<QByteArray>("median");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("deviation");
    QTest::newRow("odd count, unsorted") << Values{3, 1, 2} << 0 << qint64(1) << qint64(3)
                                         << QByteArray("2") << 2.0 << std::sqrt(2.0 / 3);
    QTest::newRow("even count: mean of the middle two")
        << Values{4, 1, 3, 2} << 0 << qint64(1) << qint64(4) << QByteArray("2.5") << 2.5
        << std::sqrt(1.25);
    QTest::newRow("one value") << Values{40123} << 6 << qint64(40123) << qint64(40123)
                               << QByteArray("0.040123") << 0.040123 << 0.0;
    QTest::newRow("micro-ohms, median between readings")
        << Values{56700, 123450} << 6 << qint64(56700) << qint64(123450) << QByteArray("0.090075")
        << 0.090075 << 0.033375;
    QTest::newRow("all equal") << Values{3600000, 3600000, 3600000} << 6 << qint64(3600000)
                               << qint64(3600000) << QByteArray("3.6") << 3.6 << 0.0;
}

void TestStatistics::summaries()
{
    QFETCH(Values, values);
    QFETCH(int, decimals);
    // Values counted one by one, or only by distinct value, give the same summary.
    analysis::Tally tally;
    for (std::int64_t v : values)
        tally.add(v);
    for (const analysis::Summary &s :
         {analysis::summarize(values, decimals), analysis::summarize(tally, decimals)})
        check(s, values.size());
}

void TestStatistics::check(const analysis::Summary &s, std::size_t count)
{
    QCOMPARE(s.count, count);
    QTEST(qint64(s.minimum), "minimum");
    QTEST(qint64(s.maximum), "maximum");
    QTEST(reading::decimalText(s.median), "median");
    QFETCH(double, mean);
    QFETCH(double, deviation);
    QVERIFY2(std::abs(s.mean - mean) <= 1e-12 * std::max(1.0, mean),
             qPrintable(QString::number(s.mean, 'g', 17)));
    QVERIFY2(std::abs(s.standardDeviation - deviation) <= 1e-12 * std::max(1.0, deviation),
             qPrintable(QString::number(s.standardDeviation, 'g', 17)));
}

void TestStatistics::histograms_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<int>("bins");
    QTest::addColumn<std::vector<std::size_t>>("counts");
    using C = std::vector<std::size_t>;
    QTest::newRow("maximum in the last bin") << Values{0, 10} << 2 << C{1, 1};
    QTest::newRow("edge goes up") << Values{0, 5, 9, 10} << 2 << C{1, 3};
    QTest::newRow("all equal: first bin") << Values{7, 7, 7} << 3 << C{3, 0, 0};
    QTest::newRow("empty") << Values{} << 2 << C{0, 0};
    QTest::newRow("ten bins") << Values{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << 10
                              << C{1, 1, 1, 1, 1, 1, 1, 1, 1, 2};
}

void TestStatistics::histograms()
{
    QFETCH(Values, values);
    QFETCH(int, bins);
    analysis::Tally tally;
    for (std::int64_t v : values)
        tally.add(v);
    QTEST(analysis::histogram(values, bins), "counts");
    QTEST(analysis::histogram(tally, bins), "counts");
}

QTEST_APPLESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
