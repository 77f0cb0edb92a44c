// The view's row arithmetic without a widget: rows of short lines and of a long line cut into
// pieces, one row each (no wrapping), in a page a few rows high.
#include "board/line_index.h"
#include "boardview/board_rows.h"

#include <QtGui>
#include <QtTest>

using boardview::BoardRows;
using Row = BoardRows::Row;

namespace {

QByteArray boardText()
{
    QByteArray text;
    for (int i = 1; i <= 5; ++i)
        text += "line " + QByteArray::number(i) + "\r\n";
    text += QByteArray(10'000, 'x') + "\r\n";
    for (int i = 7; i <= 9; ++i)
        text += "line " + QByteArray::number(i) + (i < 9 ? "\r\n" : "");
    return text;
}

struct Board {
    Board() : pieces(text, index), rows(index, pieces)
    {
        index.extend(text);
        pieces.setLayout(QFont(), 200, QTextOption::NoWrap);
        Row r;
        all << r;
        while (rows.next(r))
            all << r;
    }
    // A page of `n` rows below the first row's margin.
    qreal height(int n) const { return n * rows.rowHeight() + BoardRows::kMargin + 0.5; }
    int indexOf(const Row &r) const { return int(all.indexOf(r)); }

    const QByteArray text = boardText();
    board::LineIndex index;
    boardview::BoardPieces pieces;
    BoardRows rows;
    QList<Row> all; // every row, as next() walks them
};

} // namespace

class TestBoardRows : public QObject {
    Q_OBJECT
private slots:
    void walkingIsOrderedBothWays();
    void lastPage_data();
    void lastPage();
    void scrolling_data();
    void scrolling();
    void topShowing_data();
    void topShowing();
    void barAndYMapBack();
};

void TestBoardRows::walkingIsOrderedBothWays()
{
    Board b;
    QVERIFY2(b.pieces.chunkCount(5) > 1, "the long line is cut into pieces");
    QCOMPARE(b.all.size(), 8 + b.pieces.chunkCount(5));
    for (qsizetype i = 1; i < b.all.size(); ++i) {
        QVERIFY(b.rows.start(b.all[i - 1]) < b.rows.start(b.all[i]));
        Row back = b.all[i];
        QVERIFY(b.rows.previous(back));
        QCOMPARE(back, b.all[i - 1]);
        QCOMPARE(b.rows.rowOf(b.rows.start(b.all[i])), b.all[i]);
    }
    QCOMPARE(b.rows.moved(Row{}, 1000), b.all.last());
    QCOMPARE(b.rows.moved(b.all.last(), -1000), Row{});
}

void TestBoardRows::lastPage_data()
{
    QTest::addColumn<int>("pageRows");
    QTest::addColumn<int>("fromEnd"); // the last page's top, counted back from the last row
    QTest::newRow("one row") << 1 << 0;
    QTest::newRow("three rows") << 3 << 2;
    // The first row's margin does not fit beside all the others.
    QTest::newRow("all but the first row's margin") << -1 << -2;
    QTest::newRow("more than the board") << 100 << -1;
}

void TestBoardRows::lastPage()
{
    QFETCH(int, pageRows);
    QFETCH(int, fromEnd);
    Board b;
    const int count = int(b.all.size());
    // -1: as many rows as the board has, without room for the margin.
    const qreal height = pageRows > 0 ? b.height(pageRows) : count * b.rows.rowHeight();
    const int expected = fromEnd >= 0 ? count - 1 - fromEnd : fromEnd == -1 ? 0 : 1;
    b.rows.reset(height);
    QCOMPARE(b.indexOf(b.rows.lastTop()), expected);
    QCOMPARE(b.rows.atEnd(), expected == 0);
}

void TestBoardRows::scrolling_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("expected"); // -1: the last page's top
    QTest::newRow("down two") << 0 << 2 << 2;
    QTest::newRow("up two") << 5 << -2 << 3;
    QTest::newRow("down past the last page") << 0 << 1000 << -1;
    QTest::newRow("up past the first row") << 5 << -1000 << 0;
}

void TestBoardRows::scrolling()
{
    QFETCH(int, top);
    QFETCH(int, rows);
    QFETCH(int, expected);
    Board b;
    b.rows.reset(b.height(3));
    b.rows.setTop(b.all[top]);
    const Row to = b.rows.scrolled(rows);
    QCOMPARE(to, expected < 0 ? b.rows.lastTop() : b.all[expected]);
}

void TestBoardRows::topShowing_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("expected"); // -1: shown already, no scrolling
    QTest::newRow("above: it becomes the top") << 4 << 2 << 2;
    QTest::newRow("first row shown") << 4 << 4 << -1;
    QTest::newRow("last row shown") << 4 << 6 << -1;
    QTest::newRow("one below: the bottom row") << 4 << 7 << 5;
    QTest::newRow("far below") << 0 << 10 << 8;
}

void TestBoardRows::topShowing()
{
    QFETCH(int, top);
    QFETCH(int, target);
    QFETCH(int, expected);
    Board b;
    b.rows.reset(b.height(3));
    b.rows.setTop(b.all[top]);
    const auto to = b.rows.topShowing(b.rows.start(b.all[target]), b.height(3));
    QCOMPARE(to.has_value(), expected >= 0);
    if (to)
        QCOMPARE(*to, b.all[expected]);
}

// For every top the view can have: the bar's value leads back to it, and so does the y of
// each row on screen, while a row above the top is one row above the view.
void TestBoardRows::barAndYMapBack()
{
    Board b;
    const qreal height = b.height(3);
    b.rows.reset(height);
    const int last = b.indexOf(b.rows.lastTop());
    for (int t = 0; t <= last; ++t) {
        b.rows.setTop(b.all[t]);
        const BoardRows::Bar bar = b.rows.settle(height);
        b.rows.scrollTo(0, bar.maximum);
        b.rows.scrollTo(bar.value, bar.maximum);
        QCOMPARE(b.indexOf(b.rows.top()), t);
        QCOMPARE(b.rows.atEnd(), t == last);
        for (int i = t; i < t + b.rows.fullRows(height); ++i)
            QCOMPARE(b.rows.rowAt(b.rows.yOf(b.all[i], height)), b.all[i]);
        if (t > 0)
            QCOMPARE(b.rows.yOf(b.all[t - 1], height), -b.rows.rowHeight());
    }
}

QTEST_MAIN(TestBoardRows)
#include "tst_board_rows.moc"
