// The data board's view: what it shows for the board's bytes, when, and where it scrolls.
#include "app/board_view.h"
#include "board/data_board.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const QByteArray kOhmLine = " Group 1       0.300 \xA6\xB8     3.700V";

QByteArray lineNumber(int i)
{
    return " Group " + QByteArray::number(i) + "       056.7m\xA6\xB8     4.123V";
}

QString shown(const QByteArray &boardText)
{
    QString text = QStringDecoder("GBK").decode(boardText);
    return text.replace("\r\n", "\n");
}

} // namespace

class TestBoardView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void appendedLinesAppearOnTheNextTurn();
    void decodesGbk();
    void loadThenAppend_data();
    void loadThenAppend();
    void clearDropsLinesNotYetShown();
    void endStaysAtEnd();
    void topStaysAtTop();
    void userCannotEdit();

private:
    void load(const QByteArray &fileBytes);

    QTemporaryDir dir_;
    std::unique_ptr<board::DataBoard> board_;
    std::unique_ptr<QWidget> parent_;
    app::BoardView *view_ = nullptr;
};

void TestBoardView::init()
{
    board_ = std::make_unique<board::DataBoard>();
    parent_ = std::make_unique<QWidget>();
    view_ = new app::BoardView(*board_, parent_.get());
    view_->setGeometry(0, 0, 377, 313);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(19);
    font.setBold(true);
    view_->setFont(font);
    parent_->resize(400, 400);
    parent_->show();
    QVERIFY(QTest::qWaitForWindowExposed(parent_.get()));
}

void TestBoardView::cleanup()
{
    parent_.reset();
    board_.reset();
}

void TestBoardView::load(const QByteArray &fileBytes)
{
    QFile file(dir_.filePath("board.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(fileBytes);
    file.close();
    board_->LoadBoard(file.fileName());
}

void TestBoardView::appendedLinesAppearOnTheNextTurn()
{
    int changes = 0;
    connect(view_->document(), &QTextDocument::contentsChange, this, [&] { ++changes; });
    for (int i = 0; i < 100; ++i)
        board_->AppendLine(lineNumber(i));
    QVERIFY(view_->toPlainText().isEmpty());
    QCOMPARE(changes, 0);

    QCoreApplication::processEvents();
    QCOMPARE(view_->toPlainText(), shown(board_->text()));
    QCOMPARE(changes, 1); // the hundred lines went in with one insert
    QCOMPARE(view_->document()->blockCount(), 101); // and the empty line after the last
}

void TestBoardView::decodesGbk()
{
    board_->AppendLine(kOhmLine);
    QTRY_COMPARE(view_->toPlainText(),
                 QString::fromUtf16(u" Group 1       0.300 Ω     3.700V\n"));
    QCOMPARE(board_->text(), kOhmLine + "\r\n"); // the board keeps its bytes
}

void TestBoardView::loadThenAppend_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("last line without a break")
        << QByteArray("A\r\nB") << QStringList{"A", "B", "L1", "L2"};
    QTest::newRow("last line with a break")
        << QByteArray("A\nB\n") << QStringList{"A", "B", "L1", "L2", ""};
    QTest::newRow("empty lines") << QByteArray("A\r\r\nB\r\n\r\n")
                                 << QStringList{"A", "", "B", "", "L1", "L2", ""};
    QTest::newRow("empty file") << QByteArray() << QStringList{"L1", "L2", ""};
}

void TestBoardView::loadThenAppend()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);
    board_->AppendLine("stale");
    load(file);
    // A load is shown at once, in one piece.
    QCOMPARE(view_->toPlainText(), shown(board_->text()));
    board_->AppendLine("L1");
    board_->AppendLine("L2");
    QCoreApplication::processEvents();
    QCOMPARE(view_->toPlainText(), lines.join(u'\n'));
    QCOMPARE(view_->toPlainText(), shown(board_->text()));
}

void TestBoardView::clearDropsLinesNotYetShown()
{
    board_->AppendLine("one");
    QCoreApplication::processEvents();
    board_->AppendLine("two");
    board_->ClearBoard();
    QVERIFY(view_->toPlainText().isEmpty());
    QCoreApplication::processEvents();
    QVERIFY(view_->toPlainText().isEmpty());
    board_->AppendLine("three");
    QTRY_COMPARE(view_->toPlainText(), "three\n");
}

void TestBoardView::endStaysAtEnd()
{
    for (int i = 0; i < 200; ++i)
        board_->AppendLine(lineNumber(i));
    QCoreApplication::processEvents();
    QScrollBar *bar = view_->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    const int before = bar->maximum();
    for (int i = 0; i < 50; ++i)
        board_->AppendLine(lineNumber(1000 + i));
    QCoreApplication::processEvents();
    QVERIFY(bar->maximum() > before);
    QCOMPARE(bar->value(), bar->maximum());
    // The last line is on screen, at the bottom.
    const int lastLine = view_->document()->blockCount() - 2;
    const QPoint bottom(5, view_->viewport()->height() - 5);
    QVERIFY(view_->cursorForPosition(bottom).blockNumber() >= lastLine);
}

void TestBoardView::topStaysAtTop()
{
    for (int i = 0; i < 200; ++i)
        board_->AppendLine(lineNumber(i));
    QCoreApplication::processEvents();
    QScrollBar *bar = view_->verticalScrollBar();
    bar->setValue(0);
    board_->AppendLine(lineNumber(1000));
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), 0);
}

void TestBoardView::userCannotEdit()
{
    board_->AppendLine("kept");
    QCoreApplication::processEvents();
    view_->setFocus();
    QTest::keyClicks(view_, "typed");
    QTest::keyClick(view_, Qt::Key_Backspace);
    QTest::keyClick(view_, Qt::Key_Delete);
    QCOMPARE(view_->toPlainText(), "kept\n");
    QCOMPARE(board_->text(), QByteArray("kept\r\n"));
    // Selecting and copying work.
    QTest::keyClick(view_, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view_, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), "kept\n");
}

QTEST_MAIN(TestBoardView)
#include "tst_board_view.moc"
