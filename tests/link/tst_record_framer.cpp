// Records found in what the line delivers, clock in hand: faults of the line, stalls of the
// program, unusual values, and the echo of an adapter.
#include "line_faults.h"
#include "link/command_echo.h"
#include "link/record_framer.h"

#include <QtTest>

using linefault::Step;

Q_DECLARE_METATYPE(QList<Step>)

namespace {

// What the serial control does with the framer: bytes as they arrive, and a quiet call once
// the line has been quiet for its 0.2 s.
struct Run {
    QList<QByteArray> blocks;
    int disturbedAfter = -1;
};

Run frame(const QList<Step> &steps)
{
    constexpr int kQuietMs = 200;
    analyzer::RecordFramer framer;
    framer.beginTransfer();
    qint64 now = 0;
    for (const Step &step : steps) {
        if (step.pauseMs >= kQuietMs)
            framer.lineQuiet();
        now += step.pauseMs;
        framer.receive(step.bytes, now);
    }
    framer.lineQuiet();
    Run run;
    while (framer.hasBlock())
        run.blocks << framer.takeBlock();
    if (framer.disturbance())
        run.disturbedAfter = int(*framer.disturbance());
    return run;
}

QByteArray hex(const char *h)
{
    return QByteArray::fromHex(h);
}

} // namespace

class TestRecordFramer : public QObject {
    Q_OBJECT
private slots:
    void placesRecords_data();
    void placesRecords();
    void echoIsTakenOut_data();
    void echoIsTakenOut();
};

void TestRecordFramer::placesRecords_data()
{
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QList<QByteArray>>("blocks");
    QTest::addColumn<int>("disturbedAfter");
    for (const linefault::Fault &f : linefault::faults())
        QTest::newRow(qPrintable(f.name)) << f.steps << f.records << f.disturbedAfter;

    using linefault::batchRecords;
    const QByteArray all = batchRecords(1, 20);
    QList<QByteArray> batch;
    for (int i = 0; i < all.size(); i += 6)
        batch << all.mid(i, 6);
    // The program itself stalled for a second: what came meanwhile is read in one go.
    QTest::newRow("a stall splits reading 11")
        << QList<Step>{{0, all.left(63)}, {1000, all.mid(63)}} << batch << -1;
    QTest::newRow("a stall splits every reading") << QList<Step>{{0, all.left(3)},
                                                                 {300, all.mid(3, 6)},
                                                                 {300, all.mid(9, 6)},
                                                                 {300, all.mid(15)}}
                                                  << batch << -1;
    const QList<QByteArray> unusual{hex("078C0237101B"), hex("08400237101B"), hex("09FF0237101B")};
    QTest::newRow("unusual flags, not a disturbance")
        << QList<Step>{{0, unusual[0] + unusual[1]}, {300, unusual[2]}} << unusual << -1;
    QTest::newRow("two-byte no-data reply")
        << QList<Step>{{0, hex("0588")}} << QList<QByteArray>{hex("0588")} << -1;
    QTest::newRow("seven-byte no-data reply")
        << QList<Step>{{0, hex("05880000000000")}} << QList<QByteArray>{hex("058800000000")} << -1;
    QTest::newRow("no-data marker after readings is no reply")
        << QList<Step>{{0, batchRecords(1, 2) + hex("05")}, {300, hex("8800") + batchRecords(3, 9)}}
        << QList<QByteArray>{batch.mid(0, 2)} + batch.mid(2, 7) << -1;
}

void TestRecordFramer::placesRecords()
{
    QFETCH(QList<Step>, steps);
    QFETCH(QList<QByteArray>, blocks);
    QFETCH(int, disturbedAfter);
    const Run run = frame(steps);
    QCOMPARE(run.blocks, blocks);
    QCOMPARE(run.disturbedAfter, disturbedAfter);
}

void TestRecordFramer::echoIsTakenOut_data()
{
    QTest::addColumn<QStringList>("events"); // "out HEX": written; "in HEX": received
    QTest::addColumn<QByteArray>("kept");
    const QString r7 = "070502370010";
    QTest::newRow("plain line") << QStringList{"out 5345", "out 534B", "in " + r7}
                                << hex("070502370010");
    QTest::newRow("echoing adapter with an analyzer behind it")
        << QStringList{"out 5345", "in 5345", "out 534B", "in 53", "in 4B" + r7}
        << hex("070502370010");
    QTest::newRow("loopback plug")
        << QStringList{"out 5345", "in 5345", "out 534B", "in 534B"} << QByteArray();
    QTest::newRow("an analyzer already sending when Connect goes out")
        << QStringList{"out 5345", "in 53" + r7} << hex("53070502370010");
    QTest::newRow("bytes before anything was written")
        << QStringList{"in 5345", "out 5345", "in " + r7} << hex("5345070502370010");
    QTest::newRow("an echo that went missing")
        << QStringList{"out 5345", "in 5345", "out 534B", "in " + r7} << hex("070502370010");
}

void TestRecordFramer::echoIsTakenOut()
{
    QFETCH(QStringList, events);
    QFETCH(QByteArray, kept);
    analyzer::CommandEcho echo;
    QByteArray got;
    for (const QString &e : events) {
        const QByteArray bytes = QByteArray::fromHex(e.section(' ', 1).toLatin1());
        if (e.startsWith("out"))
            echo.sent(bytes);
        else
            got += echo.received(bytes);
    }
    QCOMPARE(got, kept);
}

QTEST_GUILESS_MAIN(TestRecordFramer)
#include "tst_record_framer.moc"
