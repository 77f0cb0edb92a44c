// The data board's view: what it shows for the board's bytes, when, where it scrolls, what
// can be selected and copied, and what a screen reader reads.
#include "board/data_board.h"
#include "boardview/board_view.h"
#include "boardview/board_view_accessible.h"
#include "samples.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const QByteArray kOhmLine = sample::kLine1;
const auto lineNumber = sample::numberedLine;

QString shown(const QByteArray &boardText)
{
    QString text = QStringDecoder("GBK").decode(boardText);
    return text.replace("\r\n", "\n");
}

// Words of five letters and a blank, with no line break: a reading file gone wrong.
QByteArray oneLongLine(qsizetype bytes)
{
    QByteArray line;
    line.reserve(bytes);
    for (int i = 0; line.size() < bytes; ++i)
        line += QByteArray::number(10000 + i % 90000) + ' ';
    line.truncate(bytes);
    return line;
}

} // namespace

class TestBoardView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void appendedLinesAppearOnTheNextTurn();
    void decodesGbk();
    void lineBreaks_data();
    void lineBreaks();
    void loadThenAppend_data();
    void loadThenAppend();
    void clearDropsLinesNotYetShown();
    void aStreamIsPaintedOnceAFrame();
    void scrolledPosition_data();
    void scrolledPosition();
    void millionLinesEndWithTheLastLine();
    void longLineWrapsAndScrolls();
    void keysMoveTheCaret_data();
    void keysMoveTheCaret();
    void wheelScrollsByRows();
    void dragPastTheEdgeScrollsOn();
    void selectAndCopy_data();
    void selectAndCopy();
    void userCannotEdit();
    void screenReaderReadsTheText();
    void screenReaderCostDoesNotGrow_data();
    void screenReaderCostDoesNotGrow();

private:
    void load(const QByteArray &fileBytes);
    void fill(int lines);
    QPoint pointOf(qsizetype pos) const { return view_->characterRect(pos).center(); }

    QTemporaryDir dir_;
    std::unique_ptr<board::DataBoard> board_;
    std::unique_ptr<QWidget> parent_;
    boardview::BoardView *view_ = nullptr;
};

void TestBoardView::init()
{
    board_ = std::make_unique<board::DataBoard>();
    parent_ = std::make_unique<QWidget>();
    view_ = new boardview::BoardView(*board_, parent_.get());
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

void TestBoardView::fill(int lines)
{
    for (int i = 0; i < lines; ++i)
        board_->AppendLine(lineNumber(i));
    QCoreApplication::processEvents();
}

void TestBoardView::appendedLinesAppearOnTheNextTurn()
{
    for (int i = 0; i < 100; ++i)
        board_->AppendLine(lineNumber(i));
    QVERIFY(view_->toPlainText().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(view_->toPlainText(), shown(board_->text()));
}

void TestBoardView::decodesGbk()
{
    board_->AppendLine(kOhmLine);
    QTRY_COMPARE(view_->toPlainText(), QString::fromUtf16(u" Group 1       0.300 Ω     3.700V\n"));
    QCOMPARE(board_->text(), kOhmLine + "\r\n"); // the board keeps its bytes
}

void TestBoardView::lineBreaks_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("appended");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF, lone CR, lone LF")
        << QByteArray("a\r\nb\rc\nd") << QByteArray() << QStringList{"a", "b", "c", "d"};
    QTest::newRow("LF CR is two breaks")
        << QByteArray("a\n\rb") << QByteArray() << QStringList{"a", "", "b"};
    QTest::newRow("the byte after a lead byte is no break")
        << QByteArray("a\xA6\nb\r\n") << QByteArray() << QStringList{"a\uFFFDb", ""};
    QTest::newRow("lead byte split from its trail by an append")
        << QByteArray("x\xA6") << QByteArray("y")
        << QStringList{"x\uFFFD", "y"}; // the lead byte takes the CR, the LF breaks
    QTest::newRow("lead byte at the end is held back")
        << QByteArray("a\r\n\xA6") << QByteArray() << QStringList{"a", ""};
}

void TestBoardView::lineBreaks()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, appended);
    QFETCH(QStringList, lines);
    load(file);
    if (!appended.isEmpty())
        board_->AppendLine(appended);
    view_->flushAppended();
    QCOMPARE(view_->toPlainText(), lines.join(u'\n'));
    // Each line starts where its own row does.
    view_->setFocus();
    QTest::keyClick(view_, Qt::Key_Home, Qt::ControlModifier);
    for (const QString &line : lines) {
        QTest::keyClick(view_, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(view_->selectedText(), line);
        QTest::keyClick(view_, Qt::Key_Right);
    }
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

void TestBoardView::aStreamIsPaintedOnceAFrame()
{
    fill(100);
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    view_->viewport()->installEventFilter(&counter);
    QElapsedTimer streaming;
    streaming.start();
    int lines = 0;
    while (streaming.elapsed() < 200) {
        board_->AppendLine(lineNumber(lines++));
        QCoreApplication::processEvents();
    }
    const qint64 frames = streaming.elapsed() / 16 + 2;
    QVERIFY2(counter.paints <= frames,
             qPrintable(QStringLiteral("%1 paints in %2 frames, %3 lines")
                            .arg(counter.paints)
                            .arg(frames)
                            .arg(lines)));
    QTRY_COMPARE(view_->textEnd(), board_->text().size());
}

void TestBoardView::scrolledPosition_data()
{
    QTest::addColumn<bool>("atEnd");
    QTest::newRow("at the end, follows new lines") << true;
    QTest::newRow("scrolled up, stays put") << false;
}

void TestBoardView::scrolledPosition()
{
    QFETCH(bool, atEnd);
    fill(200);
    QScrollBar *bar = view_->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(atEnd ? bar->maximum() : bar->maximum() / 2);
    const auto before = view_->visibleLines();
    const int maximum = bar->maximum();
    // What is on screen after lines arrive one by one, each shown before the next.
    QWidget *viewport = view_->viewport();
    const QRect area(viewport->mapTo(parent_.get(), QPoint()), viewport->size());
    const auto onScreen = [&] {
        return parent_->screen()
            ->grabWindow(parent_->winId(), area.x(), area.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB888);
    };
    for (int i = 0; i < 50; ++i) {
        board_->AppendLine(lineNumber(1000 + i));
        view_->flushAppended();
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents(); // the paint the last line asked for
    const QImage shownByLines = onScreen();
    viewport->repaint();
    QCOMPARE(shownByLines, onScreen()); // the same as painted afresh
    QVERIFY(bar->maximum() > maximum);
    if (atEnd) {
        QCOMPARE(bar->value(), bar->maximum());
        // The last line is on screen, at the bottom: its row and nothing below.
        QCOMPARE(view_->visibleLines().second, 250); // the empty line after the last break
        const QPoint bottom(5, view_->viewport()->height() - 34);
        QCOMPARE(view_->textBetween(view_->positionAt(bottom), view_->textEnd()),
                 shown(lineNumber(1049) + "\r\n"));
    } else {
        QCOMPARE(view_->visibleLines(), before);
    }
}

void TestBoardView::millionLinesEndWithTheLastLine()
{
    constexpr int kLines = 1000000;
    QByteArray file;
    file.reserve(kLines * 40);
    for (int i = 0; i < kLines; ++i)
        file += lineNumber(i) + "\r\n";
    file += "the end";
    load(file);
    QCOMPARE(view_->visibleLines().first, 0);
    view_->setFocus();
    QTest::keyClick(view_, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(view_->visibleLines().second, kLines);
    const QPoint bottom(5, view_->viewport()->height() - 12);
    QCOMPARE(view_->textBetween(view_->positionAt(bottom), view_->textEnd()), "the end");
    // What was painted there: the rows just above the bottom hold ink, as the board's
    // own last lines do.
    const QImage painted = view_->viewport()->grab().toImage();
    QVERIFY(painted.copy(0, bottom.y() - 8, 60, 16) != QImage(60, 16, painted.format()));
    QCOMPARE(view_->verticalScrollBar()->value(), view_->verticalScrollBar()->maximum());
}

void TestBoardView::longLineWrapsAndScrolls()
{
    const QByteArray line = oneLongLine(2 * 1024 * 1024);
    load(line);
    QCOMPARE(view_->toPlainText(), QString::fromLatin1(line));
    // The line is broken between words at the board's width.
    const qsizetype firstRowEnd = view_->positionAt(QPointF(view_->viewport()->width() - 1, 8));
    QVERIFY2(firstRowEnd > 20 && firstRowEnd < 60, QByteArray::number(firstRowEnd));
    const qsizetype secondRow = view_->positionAt(QPointF(1, 30));
    QVERIFY(secondRow >= firstRowEnd && secondRow - firstRowEnd <= 1);
    QCOMPARE(line.at(secondRow - 1), ' ');

    // Scrolled to any part of it, the view shows that part; row after row, nothing is lost
    // or doubled where the line is laid out in pieces.
    QScrollBar *bar = view_->verticalScrollBar();
    for (int step = 0; step < 5; ++step) {
        // The first pair of steps puts the end of the first piece on screen.
        if (step < 2) {
            view_->ensureVisible(4200 + 300 * step);
        } else {
            const int value = bar->maximum() * (step - 1) / 3;
            bar->setValue(value);
            const double expected = double(value) / bar->maximum() * line.size();
            QVERIFY(std::abs(view_->positionAt(QPointF(1, 1)) - expected) < 1000);
        }
        const qsizetype top = view_->positionAt(QPointF(1, 1));
        qsizetype previous = top;
        for (int row = 1; row * 22 + 8 < view_->viewport()->height(); ++row) {
            const qsizetype next = view_->positionAt(QPointF(1, row * 22 + 8));
            QVERIFY(next > previous && next - previous < 60);
            previous = next;
        }
    }
    QCOMPARE(bar->value(), bar->maximum());
    const QPoint lastRow(view_->viewport()->width() - 1, view_->viewport()->height() - 12);
    QCOMPARE(view_->positionAt(lastRow), line.size());
    // Ctrl+Home brings back the start.
    view_->setFocus();
    QTest::keyClick(view_, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(view_->positionAt(QPointF(1, 8)), 0);
}

void TestBoardView::keysMoveTheCaret_data()
{
    QTest::addColumn<QKeyCombination>("key");
    QTest::addColumn<qsizetype>("line");
    QTest::addColumn<qsizetype>("column");
    QTest::addColumn<qsizetype>("topLine");
    // From the start of line 100 with line 100 at the top. Lines are one row each.
    // Fourteen rows fit; a page keeps one of them.
    QTest::newRow("Page Down") << (Qt::Key_PageDown | Qt::NoModifier) << qsizetype(113)
                               << qsizetype(0) << qsizetype(113);
    QTest::newRow("Page Up") << (Qt::Key_PageUp | Qt::NoModifier) << qsizetype(87) << qsizetype(0)
                             << qsizetype(87);
    QTest::newRow("Down") << (Qt::Key_Down | Qt::NoModifier) << qsizetype(101) << qsizetype(0)
                          << qsizetype(100);
    QTest::newRow("Up scrolls") << (Qt::Key_Up | Qt::NoModifier) << qsizetype(99) << qsizetype(0)
                                << qsizetype(99);
    QTest::newRow("End") << (Qt::Key_End | Qt::NoModifier) << qsizetype(100)
                         << shown(lineNumber(100)).size() << qsizetype(100);
    QTest::newRow("Left goes to the line before")
        << (Qt::Key_Left | Qt::NoModifier) << qsizetype(99) << shown(lineNumber(99)).size()
        << qsizetype(99);
    QTest::newRow("Ctrl+Home") << (Qt::Key_Home | Qt::ControlModifier) << qsizetype(0)
                               << qsizetype(0) << qsizetype(0);
    QTest::newRow("Ctrl+End") << (Qt::Key_End | Qt::ControlModifier) << qsizetype(200)
                              << qsizetype(0) << qsizetype(187);
}

void TestBoardView::keysMoveTheCaret()
{
    QFETCH(QKeyCombination, key);
    QFETCH(qsizetype, line);
    QFETCH(qsizetype, column);
    QFETCH(qsizetype, topLine);
    fill(200);
    qsizetype start = 0;
    for (int i = 0; i < 100; ++i)
        start += lineNumber(i).size() + 2;
    view_->setFocus();
    view_->verticalScrollBar()->setValue(int(start));
    view_->setSelection(start, start);
    QTest::keyClick(view_, key.key(), key.keyboardModifiers());
    const qsizetype pos = view_->cursorPosition();
    const QString before = view_->textBetween(0, pos);
    QCOMPARE(before.count(u'\n'), line);
    QCOMPARE(before.size() - before.lastIndexOf(u'\n') - 1, column);
    QCOMPARE(view_->visibleLines().first, topLine);
}

void TestBoardView::wheelScrollsByRows()
{
    fill(200);
    view_->verticalScrollBar()->setValue(0);
    const int rows = QApplication::wheelScrollLines();
    // Over the text and over the bar alike, a notch scrolls a few rows.
    const struct {
        QWidget *target;
        int notch;
        int topLine;
    } steps[] = {{view_->viewport(), -120, rows},
                 {view_->verticalScrollBar(), -120, 2 * rows},
                 {view_->viewport(), 120, rows}};
    for (const auto &step : steps) {
        QWheelEvent wheel(QPointF(5, 5), step.target->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, step.notch), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(step.target, &wheel);
        QCOMPARE(view_->visibleLines().first, step.topLine);
    }
}

void TestBoardView::dragPastTheEdgeScrollsOn()
{
    fill(200);
    view_->verticalScrollBar()->setValue(0);
    QWidget *viewport = view_->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(viewport, QPoint(5, viewport->height() + 20));
    // The mouse held still below the board: the view scrolls on and the selection grows.
    QTRY_VERIFY(view_->visibleLines().first >= 5);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() + 20));
    QVERIFY(view_->selectedText().count(u'\n') >= 5 + 13);
    QVERIFY(view_->selectedText().startsWith(shown(lineNumber(0))));
}

void TestBoardView::selectAndCopy_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("copied");
    QTest::newRow("drag") << "drag"
                          << " Group 1 \n Group 22";
    QTest::newRow("shift and arrows") << "keys"
                                      << " Group 1 \n";
    QTest::newRow("double-click a word") << "word"
                                         << "Group";
    QTest::newRow("select all, context menu") << "all"
                                              << " Group 1 \n Group 22 \n Group 333 \n";
}

void TestBoardView::selectAndCopy()
{
    QFETCH(QString, how);
    QFETCH(QString, copied);
    for (const char *line : {" Group 1 ", " Group 22 ", " Group 333 "})
        board_->AppendLine(line);
    QCoreApplication::processEvents();
    QGuiApplication::clipboard()->clear();
    view_->setFocus();
    QWidget *viewport = view_->viewport();
    const QString text = view_->toPlainText();
    if (how == "drag") {
        QTest::mousePress(viewport, Qt::LeftButton, {}, pointOf(0) - QPoint(3, 0));
        QTest::mouseMove(viewport, pointOf(text.indexOf("22") + 2) + QPoint(3, 0));
        QTest::mouseRelease(viewport, Qt::LeftButton, {},
                            pointOf(text.indexOf("22") + 2) + QPoint(3, 0));
    } else if (how == "keys") {
        QTest::keyClick(view_, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(view_, Qt::Key_Down, Qt::ShiftModifier);
    } else if (how == "word") {
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, pointOf(4));
    } else {
        QTest::keyClick(view_, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    viewport->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(viewport, &menuEvent);
        QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *copyAction = menu->findChild<QAction *>("copy");
        QVERIFY(copyAction && copyAction->isEnabled());
        copyAction->trigger();
        menu->close();
    }
    if (how != "all")
        QTest::keyClick(view_, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TestBoardView::userCannotEdit()
{
    board_->AppendLine("kept");
    QCoreApplication::processEvents();
    view_->setFocus();
    QTest::keyClicks(view_, "typed");
    QTest::keyClick(view_, Qt::Key_Backspace);
    QTest::keyClick(view_, Qt::Key_Delete);
    QTest::keyClick(view_, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(view_->toPlainText(), "kept\n");
    QCOMPARE(board_->text(), QByteArray("kept\r\n"));
}

void TestBoardView::screenReaderReadsTheText()
{
    board_->AppendLine(kOhmLine);
    board_->AppendLine("second");
    QCoreApplication::processEvents();
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(view_);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QVERIFY(accessible->state().readOnly);
    QAccessibleTextInterface *text = accessible->textInterface();
    QVERIFY(text);
    const QString expected = shown(board_->text());
    QCOMPARE(text->characterCount(), expected.size());
    QCOMPARE(text->text(0, text->characterCount()), expected);
    QCOMPARE(text->text(expected.indexOf("second"), expected.size() - 1), "second");

    // Offsets count characters: "Ω" is one, though two bytes on the board.
    const int omega = int(expected.indexOf(u'Ω'));
    text->setSelection(0, omega, omega + 5);
    QCOMPARE(view_->selectedText(), expected.mid(omega, 5));
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    QCOMPARE(std::pair(start, end), std::pair(omega, omega + 5));
    QCOMPARE(text->cursorPosition(), omega + 5);
    text->setCursorPosition(omega + 1);
    QCOMPARE(text->selectionCount(), 0);
    QCOMPARE(view_->textBetween(view_->cursorPosition(), view_->textEnd()),
             expected.mid(omega + 1));
    // The character's place on screen, and back.
    const QRect rect = text->characterRect(omega);
    QVERIFY(rect.width() > 3 && rect.height() > 10);
    QCOMPARE(text->offsetAtPoint(rect.center()), omega);
}

namespace {

// What an accessibility bridge is handed: the longest text any event carried.
qsizetype longestEventText = 0;

void noteEvent(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::TextInserted)
        longestEventText =
            std::max(longestEventText,
                     static_cast<QAccessibleTextInsertEvent *>(event)->textInserted().size());
    if (event->type() == QAccessible::TextUpdated)
        longestEventText =
            std::max(longestEventText,
                     static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted().size());
}

} // namespace

void TestBoardView::screenReaderCostDoesNotGrow_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("appended");
    QByteArray shortLines;
    for (int i = 0; i < 200000; ++i)
        shortLines += "1\r\n";
    QByteArray readings;
    for (int i = 0; i < 50000; ++i)
        readings += lineNumber(i) + "\r\n";
    QTest::newRow("many short lines") << shortLines << 0;
    QTest::newRow("readings, then a burst of appends") << readings << 20000;
    QTest::newRow("one long line") << oneLongLine(3 << 20) << 0;
}

void TestBoardView::screenReaderCostDoesNotGrow()
{
    QFETCH(QByteArray, file);
    QFETCH(int, appended);
    QAccessible::setActive(true);
    QAccessible::installUpdateHandler(noteEvent);
    const auto detach = qScopeGuard([] {
        QAccessible::installUpdateHandler(nullptr);
        QAccessible::setActive(false);
    });
    longestEventText = 0;
    load(file);
    for (int i = 0; i < appended; ++i)
        board_->AppendLine(lineNumber(i));
    view_->flushAppended();
    QVERIFY2(longestEventText <= 4096, qPrintable(QString::number(longestEventText)));

    QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(view_)->textInterface();
    const QString expected = shown(board_->text());
    QCOMPARE(text->characterCount(), expected.size());
    QCOMPARE(text->text(0, text->characterCount()),
             expected.left(boardview::BoardViewAccessible::kMostCharacters));
    // The caret's line, in the middle of the board, is what a screen reader reads there.
    const int caret = int(expected.size() / 2);
    text->setCursorPosition(caret);
    const qsizetype lineStart = expected.lastIndexOf(u'\n', caret - 1) + 1;
    qsizetype lineEnd = expected.indexOf(u'\n', caret);
    if (lineEnd < 0)
        lineEnd = expected.size();
    int start = -1, end = -1;
    const QString line = text->textAtOffset(caret, QAccessible::LineBoundary, &start, &end);
    QCOMPARE(line, expected.sliced(start, end - start));
    QVERIFY(start <= caret && caret < end);
    if (lineEnd - lineStart < 4096) {
        QCOMPARE(start, lineStart);
        QCOMPARE(end, lineEnd + 1);
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(view_)->text(QAccessible::Value), line);
    const QString next = text->textAfterOffset(caret, QAccessible::LineBoundary, &start, &end);
    QCOMPARE(next, start < 0 ? QString() : expected.sliced(start, end - start));
}

QTEST_MAIN(TestBoardView)
#include "tst_board_view.moc"
