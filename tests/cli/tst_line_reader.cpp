// The tool's file reader against the board's reading of the whole file: the same lines
// wherever the pieces it reads happen to end.
#include "files.h"

#include "board/line_breaks.h"
#include "cli/common/errors.h"
#include "cli/common/streams.h"

#include <QTemporaryDir>
#include <QtTest>

#include <random>

namespace {

// The lines of text as the board holds it, each cut as the reader cuts long ones.
QList<QByteArray> boardLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    const QByteArray normal = board::normalizeLineBreaks(text);
    for (qsizetype start = 0; start < normal.size();) {
        qsizetype end = normal.indexOf("\r\n", start);
        if (end < 0)
            end = normal.size();
        lines << normal.sliced(start, std::min(end - start, cli::LineReader::kLongestLine));
        start = end + 2;
    }
    return lines;
}

QList<QByteArray> readerLines(const QString &path, qsizetype chunk)
{
    QList<QByteArray> lines;
    cli::LineReader reader(path, chunk);
    QByteArrayView line;
    while (reader.next(line)) {
        lines << line.toByteArray();
        if (reader.lineNumber() != lines.size())
            return {"line number " + QByteArray::number(reader.lineNumber())};
    }
    return lines;
}

// Pieces that break lines, or look as if they might: every kind of break, GBK characters
// whose second byte is a CR or LF, a lead byte at the very end, an empty line, a line too
// long to keep.
const char *const kPieces[] = {
    "\r\n",   "\r",     "\n",       "\n\r", " Group 1       040.0m\xA6\xB8     3.600V",
    "\xC4\r", "\x81\n", "\xC4\xE3", "ab",   "\xEF\xBB\xBF"};

} // namespace

class TestLineReader : public QObject {
    Q_OBJECT
private slots:
    void everyCut();
    void zeroByte_data();
    void zeroByte();

private:
    QTemporaryDir dir;
};

void TestLineReader::everyCut()
{
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        QByteArray text;
        const int pieces = std::uniform_int_distribution(0, 40)(random);
        for (int i = 0; i < pieces; ++i)
            text += kPieces[std::uniform_int_distribution<std::size_t>(0, std::size(kPieces) - 1)(
                random)];
        if (round % 10 == 9) // longer than any chunk below, and than what is kept of a line
            text.insert(text.size() / 2, QByteArray(cli::LineReader::kLongestLine + 3, 'x'));
        if (round % 7 == 3)
            text += '\xC4';
        QVERIFY(writeFile(dir.filePath("in.txt"), text));
        const QList<QByteArray> expected = boardLines(text);
        for (const qsizetype chunk : {1, 2, 3, 5, 8, 13, 64, 4099, 1 << 20})
            QVERIFY2(readerLines(dir.filePath("in.txt"), chunk) == expected,
                     qPrintable(QStringLiteral("chunk %1 of %2").arg(chunk).arg(text.toHex())));
    }
}

// A zero byte refuses the file before its first line, naming the line the board would
// end at, however the pieces fall.
void TestLineReader::zeroByte_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::newRow("first byte") << QByteArray("\0a\r\n", 4) << 1;
    QTest::newRow("after CR LF, CR, LF") << QByteArray("a\r\nb\rc\nd\0", 9) << 4;
    QTest::newRow("second byte of a GBK character") << QByteArray("a\n\xC4\0", 4) << 2;
    QTest::newRow("after a lone CR at a piece's end") << QByteArray("abc\r\0", 5) << 2;
}

void TestLineReader::zeroByte()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QVERIFY(writeFile(dir.filePath("zero.txt"), text));
    for (const qsizetype chunk : {1, 4, 1 << 20}) {
        try {
            cli::LineReader reader(dir.filePath("zero.txt"), chunk);
            QFAIL("the file was not refused");
        } catch (const EInputFile &e) {
            QVERIFY2(e.message().contains(QStringLiteral(":%1: a NUL byte").arg(line)),
                     qPrintable(e.message()));
        }
    }
}

QTEST_GUILESS_MAIN(TestLineReader)
#include "tst_line_reader.moc"
