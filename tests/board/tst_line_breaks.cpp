// Line breaks of a loaded file made CR LF, GBK pairs kept whole, the text cut at a zero byte.
#include "board/line_breaks.h"
#include "samples.h"

#include <QRandomGenerator>
#include <QtTest>

using board::normalizeLineBreaks;
using board::normalizeLineBreaksInPlace;

class TestLineBreaks : public QObject {
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
    void agreesWithByteByByteReading();
    void normalTextIsNotCopied();
};

void TestLineBreaks::rules_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("board");
    const auto bytes = [](const char *s, qsizetype n) { return QByteArray(s, n); };
    const QByteArray run(21, 'x'); // puts the breaks after the first eight-byte words
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("CR LF kept") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone LF") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone CR") << QByteArray("a\rb") << QByteArray("a\r\nb");
    QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QByteArray("a\r\n\r\nb");
    QTest::newRow("A CR CR B is three lines") << QByteArray("A\r\rB") << QByteArray("A\r\n\r\nB");
    QTest::newRow("CR as last byte") << QByteArray("a\r") << QByteArray("a\r\n");
    QTest::newRow("breaks past the first words") << run + "\n" + run + "\r" + run + "\r\n"
                                                 << run + "\r\n" + run + "\r\n" + run + "\r\n";
    QTest::newRow("zero byte ends the text") << bytes("ab\r\n\0c\nd", 8) << QByteArray("ab\r\n");
    QTest::newRow("zero byte first") << bytes("\0abc", 4) << QByteArray();
    QTest::newRow("zero byte after a change") << bytes("a\nb\0\n", 5) << QByteArray("a\r\nb");
    QTest::newRow("lead byte keeps its CR") << QByteArray("x\xA6\r\n") << QByteArray("x\xA6\r\r\n");
    QTest::newRow("lead byte keeps its LF") << QByteArray("x\xA6\ny") << QByteArray("x\xA6\ny");
    QTest::newRow("lowest and highest lead")
        << QByteArray("\x81\n\xFE\r") << QByteArray("\x81\n\xFE\r");
    QTest::newRow("lead byte as last byte") << QByteArray("a\n\xA6") << QByteArray("a\r\n\xA6");
    QTest::newRow("lead byte before zero") << bytes("a\xA6\0b", 4) << QByteArray("a\xA6");
    QTest::newRow("ohm sign then LF") << line("4m~\n") << line("4m~\r\n");
    QTest::newRow("three lead bytes")
        << QByteArray("\xA6\xA6\xA6\n\n") << QByteArray("\xA6\xA6\xA6\n\r\n");
    QTest::newRow("80 and FF are no lead bytes")
        << QByteArray("\x80\n\xFF\r") << QByteArray("\x80\r\n\xFF\r\n");
    QTest::newRow("other controls kept")
        << QByteArray("\t\x0B\x0C\x01\x0E") << QByteArray("\t\x0B\x0C\x01\x0E");
}

void TestLineBreaks::rules()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, board);
    QCOMPARE(normalizeLineBreaks(file), board);
    normalizeLineBreaksInPlace(file);
    QCOMPARE(file, board);
}

// The scan skips whole words; a plain reading of the rules, one byte at a time, must agree
// with it wherever in a word the interesting bytes fall.
static QByteArray readByteByByte(const QByteArray &in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == 0)
            break;
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n')
                ++i;
            continue;
        }
        out += char(c);
        if (c >= 0x81 && c <= 0xFE && i + 1 < in.size()) {
            if (in[i + 1] == 0)
                break;
            out += in[++i];
        }
    }
    return out;
}

void TestLineBreaks::agreesWithByteByByteReading()
{
    const char alphabet[] = {'a',    'a',    'a',    'a',    '\r',   '\n',   '\0',   '\x81', '\xA6',
                             '\xB8', '\xFE', '\x80', '\xFF', '\x0D', '\x0E', '\x7F', '\x01'};
    // Every two special bytes side by side, at every place in the words of a line of plain
    // text, with a lead byte or none before them.
    for (const char lead : {'a', '\xA6'})
        for (const char first : alphabet)
            for (const char second : alphabet)
                for (qsizetype at = 0; at < 20; ++at) {
                    QByteArray in(22, 'a');
                    in[at] = lead;
                    in[at + 1] = first;
                    in[at + 2] = second;
                    QCOMPARE(normalizeLineBreaks(in), readByteByByte(in));
                }
    QRandomGenerator rng(20240611);
    for (int round = 0; round < 20000; ++round) {
        QByteArray in(rng.bounded(70), Qt::Uninitialized);
        // Mostly plain text, sometimes dense with special bytes.
        const int plainShare = rng.bounded(4) == 0 ? 0 : 4;
        for (char &c : in)
            c = rng.bounded(8) < plainShare ? 'a' : alphabet[rng.bounded(int(sizeof alphabet))];
        const QByteArray expected = readByteByByte(in);
        QCOMPARE(normalizeLineBreaks(in), expected);
        normalizeLineBreaksInPlace(in);
        QCOMPARE(in, expected);
    }
}

void TestLineBreaks::normalTextIsNotCopied()
{
    QByteArray text = (sample::kLine7 + "\r\n").repeated(1000);
    const char *before = text.constData();
    normalizeLineBreaksInPlace(text);
    QCOMPARE(text.constData(), before);
}

QTEST_GUILESS_MAIN(TestLineBreaks)
#include "tst_line_breaks.moc"
