// The data board's view: lines shown one insert per line against a hundred lines per insert,
// and a loaded board shown in one step against the load itself.
#include "harness.h"
#include "app/board_view.h"
#include "board/data_board.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

constexpr int kLines = 2000;
constexpr int kBatch = 100;
constexpr int kLoadedLines = 100000;

QByteArray readingLine(int i)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " Group %d       %05.1fm\xA6\xB8     %5.3fV", i % 256,
                  double(i % 9999) / 10.0, 3.0 + double(i % 1500) / 1000.0);
    return buffer;
}

struct ShownView {
    board::DataBoard board;
    QWidget window;
    app::BoardView *view;

    ShownView() : view(new app::BoardView(board, &window))
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
};

// Seconds per line for kLines appends shown `perInsert` lines at a time, each insert
// followed by a repaint as the event loop would do; the best of three rounds.
double secondsPerLine(const std::vector<QByteArray> &lines, int perInsert)
{
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
        ShownView shown;
        const auto start = bench::Clock::now();
        for (int i = 0; i < kLines; ++i) {
            shown.board.AppendLine(lines[size_t(i)]);
            if ((i + 1) % perInsert == 0) {
                shown.view->flushAppended();
                shown.view->viewport()->repaint();
            }
        }
        best = std::min(best, bench::secondsSince(start) / kLines);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    std::vector<QByteArray> lines;
    for (int i = 0; i < kLines; ++i)
        lines.push_back(readingLine(i));

    const double single = secondsPerLine(lines, 1);
    const double batched = secondsPerLine(lines, kBatch);
    // 2400 baud, 8N1: a six-byte record every 25 ms.
    const double recordGap = 6 * 10 / 2400.0;
    bench::row("view: one line per insert", single * 1e6, "us/line", single / recordGap,
               "x the 25 ms between records at 2400 baud", "<= 0.1");
    bench::row("view: 100 lines per insert", batched * 1e6, "us/line", batched / single,
               "x one line per insert", "<= 0.5");

    // A loaded board reaches the view in one step.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("readings.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < kLoadedLines; ++i)
            file.write(readingLine(i) + "\r\n");
    }
    double loadOnly = 1e300, loadShown = 1e300;
    for (int round = 0; round < 3; ++round) {
        board::DataBoard bare;
        auto start = bench::Clock::now();
        bare.LoadBoard(path);
        loadOnly = std::min(loadOnly, bench::secondsSince(start));

        ShownView shown;
        start = bench::Clock::now();
        shown.board.LoadBoard(path);
        shown.view->viewport()->repaint();
        loadShown = std::min(loadShown, bench::secondsSince(start));
    }
    bench::row("load 100k lines into the shown view", loadShown * 1e3, "ms", loadShown / loadOnly,
               "x the load without a view", "-");
    return 0;
}
