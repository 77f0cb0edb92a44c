// The framer and decoder against the truth: every fault of the line and every pause, at every
// place of short batches, must give true lines or a report that comes no later than the first
// line that is not; so must every fault in the first bytes of readings that then look like an
// echo or a no-data reply, behind an echoing adapter or not, and after bytes that came unasked
// before Download; and the echo of an adapter.
#include "line_faults.h"
#include "link/command_echo.h"
#include "link/protocol.h"
#include "link/record_framer.h"

#include <QtTest>

using namespace linefault;

namespace {

QString described(const QList<Edit> &edits, const QList<Pause> &pauses)
{
    QStringList parts;
    for (const Edit &e : edits)
        parts << (e.kind == Edit::Kind::Lose
                      ? QStringLiteral("%1 lost at %2").arg(e.count).arg(e.at)
                      : QStringLiteral("%1 x%2 added at %3")
                            .arg(e.count)
                            .arg(QString::number(quint8(e.value), 16))
                            .arg(e.at));
    for (const Pause &p : pauses)
        parts << QStringLiteral("%1 ms before byte %2").arg(p.ms).arg(p.at);
    return parts.isEmpty() ? QStringLiteral("no fault") : parts.join(QStringLiteral(", "));
}

// Runs one delivery through the framer; the first violation is kept with its description.
struct Checker {
    QList<QByteArray> truth;
    qsizetype runs = 0;
    QString failure;

    // What comes before the answer, and whether the adapter echoes.
    Delivery setting;

    void check(const QList<Edit> &edits, const QList<Pause> &pauses)
    {
        Delivery d = deliver(truth, edits, pauses);
        if (!judgeable(d) || !failure.isEmpty())
            return;
        d.before = setting.before;
        d.beforeTruth = setting.beforeTruth;
        d.askMs = setting.askMs;
        d.echo = setting.echo;
        ++runs;
        const Outcome o = frame(d);
        const QString broken = violation(d, o);
        if (!broken.isEmpty())
            failure = setting.name + (d.echo ? QStringLiteral(", echoing adapter, ") : ", ")
                + described(edits, pauses) + QStringLiteral(": ") + broken + QStringLiteral("\n")
                + linefault::described(d, o);
    }
};

// The single faults of the line: one to five bytes lost, or added as zeros or as 0xFF, at
// every offset of the bytes sent.
QList<Edit> singleFaults(int size)
{
    QList<Edit> faults;
    for (int count = 1; count <= 5; ++count) {
        for (int at = 0; at + count <= size; ++at)
            faults << Edit{Edit::Kind::Lose, at, count};
        for (int at = 0; at <= size; ++at)
            for (const char value : {'\x00', '\xFF'})
                faults << Edit{Edit::Kind::Add, at, count, value};
    }
    return faults;
}

// The faults of the first bytes: one to five lost from each of the first seven offsets, or
// added before each of them as bytes that spell a command, the no-data marker, zeros or 0xFF.
QList<Edit> firstByteFaults()
{
    QList<Edit> faults;
    for (int count = 1; count <= 5; ++count)
        for (int at = 0; at <= 6; ++at) {
            faults << Edit{Edit::Kind::Lose, at, count};
            for (const char value : {'S', 'E', 'K', '\x88', '\x00', '\xFF'})
                faults << Edit{Edit::Kind::Add, at, count, value};
        }
    return faults;
}

constexpr int kPausesMs[] = {40, 50, 60, 200, 1000, 1200};

} // namespace

class TestRecordFramer : public QObject {
    Q_OBJECT
private slots:
    void trueLinesOrAnEarlyReport_data();
    void trueLinesOrAnEarlyReport();
    void firstBytesAndUnaskedBytes_data();
    void firstBytesAndUnaskedBytes();
    void pieceAfterTheAnswerIsDropped();
    void noDataReplies_data();
    void noDataReplies();
    void echoIsTakenOut_data();
    void echoIsTakenOut();
};

void TestRecordFramer::trueLinesOrAnEarlyReport_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("count");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("3 small readings") << int(Shape::Small) << 3 << 1u;
    QTest::newRow("3 other small readings") << int(Shape::Small) << 3 << 2u;
    QTest::newRow("2 small readings") << int(Shape::Small) << 2 << 3u;
    QTest::newRow("3 readings of any bytes") << int(Shape::Wide) << 3 << 4u;
    QTest::newRow("1 reading of any bytes") << int(Shape::Wide) << 1 << 5u;
    QTest::newRow("3 readings full of the no-data marker") << int(Shape::Markers) << 3 << 6u;
}

// Exhaustive over the batch's offsets: no fault or one fault, with no pause or one pause of
// each length before every byte; and two faults together, with no pause or a long one.
void TestRecordFramer::trueLinesOrAnEarlyReport()
{
    QFETCH(int, shape);
    QFETCH(int, count);
    QFETCH(quint32, seed);
    Checker checker;
    checker.truth = batch(Shape(shape), count, seed);
    const int size = count * analyzer::kRecordSize;

    QList<Edit> faults = singleFaults(size);
    QList<QList<Edit>> cases{{}};
    for (const Edit &e : faults)
        cases << QList<Edit>{e};
    for (const QList<Edit> &edits : cases) {
        checker.check(edits, {});
        for (int at = 0; at <= size + 5; ++at)
            for (int ms : kPausesMs)
                checker.check(edits, {{at, ms}});
    }
    for (const Edit &a : faults)
        for (const Edit &b : faults) {
            if (a.at >= b.at)
                continue;
            checker.check({a, b}, {});
            checker.check({a, b}, {{b.at, 1200}});
        }
    QVERIFY2(checker.failure.isEmpty(), qPrintable(checker.failure));
    QVERIFY(checker.runs > 10'000);
}

void TestRecordFramer::firstBytesAndUnaskedBytes_data()
{
    QTest::addColumn<int>("setting"); // which of unasked()
    QTest::addColumn<bool>("echo");
    const QList<Delivery> settings = unasked();
    for (int i = 0; i < settings.size(); ++i)
        for (const bool echo : {false, true})
            QTest::newRow(qPrintable(settings[i].name + (echo ? ", echoing adapter" : "")))
                << i << echo;
}

// Exhaustive over the first bytes: every look-alike first reading alone and before two
// readings, with no fault or one fault in its first bytes; with nothing before Download also
// with one pause of each length before each of them.
void TestRecordFramer::firstBytesAndUnaskedBytes()
{
    QFETCH(int, setting);
    QFETCH(bool, echo);
    Checker checker;
    checker.setting = unasked()[setting];
    checker.setting.echo = echo;
    const QList<Edit> faults = firstByteFaults();
    const QList<QByteArray> more = batch(Shape::Small, 2, 7);
    const QList<int> pausesMs = setting == 0 ? QList<int>{200, 1000, 1200} : QList<int>{};
    for (const QByteArray &first : lookAlikes())
        for (const QList<QByteArray> &truth :
             {QList<QByteArray>{first}, QList<QByteArray>{first} + more}) {
            checker.truth = truth;
            checker.check({}, {});
            for (const Edit &e : faults) {
                checker.check({e}, {});
                for (int at = 1; at <= 8; ++at)
                    for (const int ms : pausesMs)
                        checker.check({e}, {{at, ms}});
            }
        }
    QVERIFY2(checker.failure.isEmpty(), qPrintable(checker.failure));
    QVERIFY(checker.runs > 2'000);
}

// Half a record long after the answer, then two records after two seconds of silence: the
// piece is reported and dropped, never joined to the records after it.
void TestRecordFramer::pieceAfterTheAnswerIsDropped()
{
    const QByteArray r7 = batchRecord(7), r12 = batchRecord(12);
    Delivery d;
    d.steps << Step{0, r7 + r12} << Step{3000, batchRecord(1).left(3)} << Step{2000, r7 + r12};
    const Outcome o = frame(d);
    const auto line = [](const QByteArray &r) { return analyzer::decodeRecord(r, true).line; };
    QCOMPARE(o.lines, (QList<QByteArray>{line(r7), line(r12), line(r7), line(r12)}));
    QCOMPARE(o.certain.value_or(-1), 0);
}

void TestRecordFramer::noDataReplies_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("later"); // after 0.3 s
    QTest::addColumn<bool>("noData");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("certain"); // -1: no report
    const QByteArray record = batchRecord(7);
    const QByteArray none;
    const auto hex = [](const char *h) { return QByteArray::fromHex(h); };
    QTest::newRow("two bytes") << hex("0588") << none << true << 0 << -1;
    QTest::newRow("six bytes") << hex("058800000000") << none << true << 0 << -1;
    // A no-data reply with more bytes behind it is readings that lost their place: a
    // disturbance and nothing else, wherever the reply falls.
    QTest::newRow("seven bytes") << hex("05880000000000") << none << false << 0 << 0;
    QTest::newRow("six bytes, then a record")
        << hex("058800000000") + record << none << false << 1 << 0;
    QTest::newRow("seven bytes, then a record")
        << hex("05880000000000") + record << none << false << 1 << 0;
    QTest::newRow("two bytes, a record 0.3 s later") << hex("0588") << record << false << 0 << 0;
    QTest::newRow("six bytes, a record 0.3 s later")
        << hex("058800000000") << record << false << 1 << 0;
    QTest::newRow("marker after a record") << record + hex("0588") << none << false << 1 << 0;
    QTest::newRow("a record, a reply, a record")
        << record + hex("058800000000") + record << none << false << 2 << 0;
    // What a line leaves of readings full of the marker's byte can look like a short reply.
    QTest::newRow("a short reply, then whole records of the marker")
        << hex("8888888801") << hex("888888888888") << false << 0 << 0;
}

void TestRecordFramer::noDataReplies()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, later);
    QFETCH(bool, noData);
    QFETCH(int, lines);
    QFETCH(int, certain);
    Delivery d;
    d.steps << Step{0, answer};
    if (!later.isEmpty())
        d.steps << Step{300, later};
    const Outcome o = frame(d);
    QCOMPARE(o.noData, noData);
    QCOMPARE(o.lines.size(), lines);
    QCOMPARE(o.certain.value_or(-1), certain);
}

void TestRecordFramer::echoIsTakenOut_data()
{
    QTest::addColumn<QStringList>("events"); // "out HEX": written; "in HEX": received
    QTest::addColumn<QByteArray>("kept");
    const QString r7 = "070502370010";
    const QByteArray hex7 = QByteArray::fromHex("070502370010");
    QTest::newRow("plain line") << QStringList{"out 5345", "out 534B", "in " + r7} << hex7;
    QTest::newRow("echoing adapter with an analyzer behind it")
        << QStringList{"out 5345", "in 5345", "out 534B", "in 53", "in 4B" + r7} << hex7;
    QTest::newRow("loopback plug")
        << QStringList{"out 5345", "in 5345", "out 534B", "in 534B"} << QByteArray();
    QTest::newRow("an analyzer already sending when Connect goes out")
        << QStringList{"out 5345", "in 53" + r7} << QByteArray::fromHex("53070502370010");
    QTest::newRow("bytes before anything was written")
        << QStringList{"in 5345", "out 5345", "in " + r7}
        << QByteArray::fromHex("5345070502370010");
    // Decided before Download goes out: the answer's first bytes may spell the commands.
    QTest::newRow("a reading in group 83 that lost two bytes, first on a plain line")
        << QStringList{"out 5345", "download", "out 534B", "in 5345534B" + r7}
        << QByteArray::fromHex("5345534B070502370010");
    QTest::newRow("an echo that went missing")
        << QStringList{"out 5345", "in 5345", "out 534B", "in " + r7} << hex7;
}

void TestRecordFramer::echoIsTakenOut()
{
    QFETCH(QStringList, events);
    QFETCH(QByteArray, kept);
    analyzer::CommandEcho echo;
    QByteArray got;
    for (const QString &e : events) {
        const QByteArray bytes = QByteArray::fromHex(e.section(' ', 1).toLatin1());
        if (e == "download")
            echo.decideBeforeAnswer();
        else if (e.startsWith("out"))
            echo.sent(bytes);
        else
            got += echo.received(bytes);
    }
    QCOMPARE(got, kept);
}

QTEST_GUILESS_MAIN(TestRecordFramer)
#include "tst_record_framer.moc"
