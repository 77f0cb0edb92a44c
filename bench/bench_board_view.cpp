// The data board's view: lines shown one insert per line against a hundred lines per insert,
// appends to a board of a million lines, loaded boards (a million lines, one line of 10 MB)
// shown against the load alone, the view's memory against the board's bytes, and scrolling
// through the long line against a repaint that does not scroll.
#include "board/data_board.h"
#include "boardview/board_view.h"
#include "harness.h"
#include "samples.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int kLines = 2000;
constexpr int kBatch = 100;
constexpr int kLoadedLines = 1000000;
constexpr int kStreamedLines = 20000;
constexpr int kShortLines = 20000000;
constexpr qsizetype kLongLineBytes = 10 * 1000 * 1000;

// Heap bytes in use, mapped blocks included.
qsizetype heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qsizetype(info.uordblks + info.hblkhd);
}

struct ShownView {
    board::DataBoard board;
    QWidget window;
    boardview::BoardView *view;

    ShownView() : view(new boardview::BoardView(board, &window))
    {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(19);
        font.setBold(true);
        view->setFont(font);
        view->setGeometry(8, 88, 377, 313);
        window.resize(502, 406);
        window.show();
        QApplication::processEvents();
    }

    // An insert as the event loop shows it: the view's update, then the paint of what
    // changed on screen.
    void showAppended()
    {
        view->flushAppended();
        QApplication::processEvents();
    }
};

// Seconds per line for kLines appends shown `perInsert` lines at a time, each insert
// painted as the event loop would do; the best of three rounds.
double secondsPerLine(const std::vector<QByteArray> &lines, int perInsert)
{
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
        ShownView shown;
        const auto start = bench::Clock::now();
        for (int i = 0; i < kLines; ++i) {
            shown.board.AppendLine(lines[size_t(i)]);
            if ((i + 1) % perInsert == 0)
                shown.showAppended();
        }
        best = std::min(best, bench::secondsSince(start) / kLines);
    }
    return best;
}

bool writeFile(const QString &path, const std::function<void(QFile &)> &write)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    write(file);
    return true;
}

struct LoadTimes {
    double loadOnly = 1e300;
    double loadShown = 1e300;
};

// The board's load alone against the load shown up to its first painted frame, alternately,
// the best of three each.
LoadTimes timeLoads(const QString &path)
{
    LoadTimes times;
    for (int round = 0; round < 3; ++round) {
        {
            board::DataBoard bare;
            const auto start = bench::Clock::now();
            bare.LoadBoard(path);
            times.loadOnly = std::min(times.loadOnly, bench::secondsSince(start));
        }
        ShownView shown;
        const auto start = bench::Clock::now();
        shown.board.LoadBoard(path);
        shown.view->viewport()->repaint();
        times.loadShown = std::min(times.loadShown, bench::secondsSince(start));
    }
    return times;
}

// A screen reader at the other end of the accessibility bus: it takes each event's text and
// asks what changed.
qsizetype heardCharacters = 0;

void screenReader(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::TextUpdated)
        heardCharacters += static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted().size();
    if (event->type() == QAccessible::TextInserted)
        heardCharacters += static_cast<QAccessibleTextInsertEvent *>(event)->textInserted().size();
    QAccessibleTextInterface *text =
        event->accessibleInterface() ? event->accessibleInterface()->textInterface() : nullptr;
    if (!text)
        return;
    int start = 0, end = 0;
    heardCharacters += text->characterCount()
        + text->textAtOffset(text->cursorPosition(), QAccessible::LineBoundary, &start, &end)
              .size();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    std::vector<QByteArray> lines;
    for (int i = 0; i < kLines; ++i)
        lines.push_back(sample::generatedLine(i));

    const double single = secondsPerLine(lines, 1);
    const double batched = secondsPerLine(lines, kBatch);
    // 2400 baud, 8N1: a six-byte record every 25 ms.
    const double recordGap = 6 * 10 / 2400.0;
    bench::row("view: one line per insert", single * 1e6, "us/line", single / recordGap,
               "x the 25 ms between records at 2400 baud", "<= 0.1");
    bench::row("view: 100 lines per insert", batched * 1e6, "us/line", batched / single,
               "x one line per insert", "<= 0.5");

    QTemporaryDir dir;
    const QString readings = dir.filePath(QStringLiteral("readings.txt"));
    const QString oneLine = dir.filePath(QStringLiteral("one-line.txt"));
    const bool written = writeFile(readings,
                                   [](QFile &file) {
                                       for (int i = 0; i < kLoadedLines; ++i)
                                           file.write(sample::generatedLine(i) + "\r\n");
                                   })
        && writeFile(oneLine, [](QFile &file) {
                             QByteArray line;
                             for (int i = 0; line.size() < kLongLineBytes; ++i)
                                 line += QByteArray::number(10000 + i % 90000) + ' ';
                             line.truncate(kLongLineBytes);
                             file.write(line);
                         });
    if (!written)
        return 1;

    const LoadTimes million = timeLoads(readings);
    bench::row("view: load+show 1M lines (36 MB)", million.loadShown * 1e3, "ms",
               million.loadShown / million.loadOnly, "x the load without a view", "<= 8, 0.3 s");

    // What the view holds beyond the board: the heap in use with a shown board (scrolled to
    // its end) against the same load without a view.
    {
        const qsizetype before = heapInUse();
        qsizetype boardBytes = 0;
        qsizetype bare = 0;
        {
            board::DataBoard board;
            board.LoadBoard(readings);
            boardBytes = board.text().size();
            bare = heapInUse() - before;
        }
        ShownView shown;
        const qsizetype empty = heapInUse();
        shown.board.LoadBoard(readings);
        shown.view->viewport()->repaint();
        shown.view->verticalScrollBar()->setValue(shown.view->verticalScrollBar()->maximum());
        shown.view->viewport()->repaint();
        const qsizetype added = heapInUse() - empty - bare;
        bench::row("view: memory beside 1M lines", double(added) / (1 << 20), "MiB",
                   double(added) / double(boardBytes), "x the board's bytes", "<= 0.25");

        // Appends at the end of that board, one line per insert: the view's own work (its
        // window hidden, so that nothing is moved or painted on screen), then shown as the
        // event loop shows it.
        shown.window.hide();
        auto start = bench::Clock::now();
        for (int i = 0; i < kLines; ++i) {
            shown.board.AppendLine(lines[size_t(i)]);
            shown.view->flushAppended();
        }
        const double update = bench::secondsSince(start) / kLines;
        shown.window.show();
        QApplication::processEvents();
        // As lines arrive: each through the event loop, shown and painted as often as the
        // view chooses, the last one shown at the end.
        start = bench::Clock::now();
        for (int i = 0; i < kStreamedLines; ++i) {
            shown.board.AppendLine(lines[size_t(i % kLines)]);
            QApplication::processEvents();
        }
        shown.showAppended();
        const double painted = bench::secondsSince(start) / kStreamedLines;
        bench::row("view: append to 1M lines, view's own work", update * 1e6, "us/line",
                   update / single, "x one painted insert to an empty view", "<= 20 us");
        bench::row("view: append to 1M lines, painted", painted * 1e6, "us/line", painted / single,
                   "x one painted insert to an empty view", "<= 20 us");
    }

    // The same loads with a screen reader listening: every event handed over with its text,
    // and the questions a reader asks on a change (length, caret, the caret's line).
    {
        const QString shortLines = dir.filePath(QStringLiteral("short-lines.txt"));
        if (!writeFile(shortLines, [](QFile &file) {
                const QByteArray block = QByteArray("1\n").repeated(1000);
                for (int i = 0; i < kShortLines / 1000; ++i)
                    file.write(block);
            }))
            return 1;
        for (const auto &[name, path] :
             {std::pair{"20M short lines", shortLines}, std::pair{"1M readings", readings},
              std::pair{"one 10 MB line", oneLine}}) {
            const LoadTimes quiet = timeLoads(path);
            QAccessible::setActive(true);
            QAccessible::installUpdateHandler(screenReader);
            const LoadTimes listened = timeLoads(path);
            QAccessible::installUpdateHandler(nullptr);
            QAccessible::setActive(false);
            bench::row(std::string("view: load+show ") + name + ", screen reader",
                       listened.loadShown * 1e3, "ms", listened.loadShown / quiet.loadShown,
                       "x the same without a screen reader", "< 3 s");
        }
    }

    const LoadTimes longLine = timeLoads(oneLine);
    bench::row("view: load+show one 10 MB line", longLine.loadShown * 1e3, "ms",
               longLine.loadShown / longLine.loadOnly, "x the load without a view", "0.5 s");

    // Scrolling through it: page by page and by jumps of the thumb, each step painted.
    {
        ShownView shown;
        shown.board.LoadBoard(oneLine);
        shown.view->setFocus();
        QScrollBar *bar = shown.view->verticalScrollBar();
        double repaint = 1e300;
        for (int i = 0; i < 20; ++i) {
            const auto start = bench::Clock::now();
            shown.view->viewport()->repaint();
            repaint = std::min(repaint, bench::secondsSince(start));
        }
        std::mt19937 random(13);
        double slowest = 0;
        const qsizetype heapBefore = heapInUse();
        for (int step = 0; step < 200; ++step) {
            const auto start = bench::Clock::now();
            if (step % 2)
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            else
                bar->setValue(int(random() % uint(bar->maximum())));
            shown.view->viewport()->repaint();
            slowest = std::max(slowest, bench::secondsSince(start));
        }
        bench::row("view: slowest scroll step, 10 MB line", slowest * 1e3, "ms", slowest / repaint,
                   "x a repaint without scrolling", "< 50 ms");
        const qsizetype added = heapInUse() - heapBefore;
        bench::row("view: memory after scrolling the 10 MB line", double(added) / (1 << 20), "MiB",
                   double(added) / double(kLongLineBytes), "x the board's bytes", "<= 0.25");
    }
    bench::keep(heardCharacters);
    return 0;
}
