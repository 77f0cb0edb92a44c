// The data board at a million lines: appends whose cost does not grow with the board, and
// loads and saves measured against plain read() and write() of the same bytes.
#include "board/data_board.h"
#include "harness.h"
#include "plain_read.h"
#include "samples.h"

#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBoardLines = 1000000;
constexpr int kAppends = 100000;

std::vector<QByteArray> readingLines(int count)
{
    std::vector<QByteArray> lines;
    lines.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        lines.push_back(sample::generatedLine(i));
    return lines;
}

// Seconds for kAppends appends to a board that setUp() prepares; the best of five rounds.
template <class SetUp>
double appendSeconds(const std::vector<QByteArray> &lines, SetUp &&setUp)
{
    double best = 1e300;
    for (int round = 0; round < 5; ++round) {
        board::DataBoard board;
        setUp(board);
        // A view listens to every append.
        qsizetype seen = 0;
        QObject::connect(&board, &board::DataBoard::appended,
                         [&seen](const QByteArray &b) { seen += b.size(); });
        const auto start = bench::Clock::now();
        for (int i = 0; i < kAppends; ++i)
            board.AppendLine(lines[size_t(i)]);
        best = std::min(best, bench::secondsSince(start));
        bench::keep(seen);
    }
    return best;
}

void plainWrite(const char *path, const QByteArray &bytes, bool flush)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    if (flush)
        ::fsync(fd);
    ::close(fd);
}

} // namespace

int main()
{
    const std::vector<QByteArray> lines = readingLines(kBoardLines);
    QTemporaryDir dir;
    const QString boardFile = dir.filePath("board.txt");

    const double toEmpty = appendSeconds(lines, [](board::DataBoard &) {});
    const double toAppended = appendSeconds(lines, [&](board::DataBoard &b) {
        for (const QByteArray &line : lines)
            b.AppendLine(line);
    });
    {
        board::DataBoard full;
        for (const QByteArray &line : lines)
            full.AppendLine(line);
        full.SaveBoard(boardFile);
    }
    const double toLoaded =
        appendSeconds(lines, [&](board::DataBoard &b) { b.LoadBoard(boardFile); });
    bench::row("100k appends, board of 1M appended lines", toAppended * 1e3, "ms",
               toAppended / toEmpty, "x 100k appends to an empty board", "<= 1.5");
    bench::row("100k appends, board of 1M loaded lines", toLoaded * 1e3, "ms", toLoaded / toEmpty,
               "x 100k appends to an empty board", "<= 1.5");

    board::DataBoard board;
    const QByteArray boardName = boardFile.toLocal8Bit();
    const double megabytes = double(QFileInfo(boardFile).size()) / 1e6;
    const double load = bench::secondsPerCall([&] { board.LoadBoard(boardFile); });
    const double read =
        bench::secondsPerCall([&] { bench::keep(bench::plainRead(boardName.constData())); });
    bench::row("load 1M lines (" + std::to_string(int(megabytes)) + " MB)", load * 1e3, "ms",
               load / read, "x read() of the file into memory", "<= 2");

    const QString saved = dir.filePath("saved.txt");
    const QByteArray plainName = dir.filePath("plain.txt").toLocal8Bit();
    const QByteArray &text = board.text();
    const double save = bench::secondsPerCall([&] { board.SaveBoard(saved); });
    const double writeFlushed =
        bench::secondsPerCall([&] { plainWrite(plainName.constData(), text, true); });
    const double writeOnly =
        bench::secondsPerCall([&] { plainWrite(plainName.constData(), text, false); });
    bench::row("save 1M lines, flushed to disk", save * 1e3, "ms", save / writeFlushed,
               "x write() + fsync() of the same bytes", "<= 2");
    bench::row("save 1M lines, flushed to disk", save * 1e3, "ms", save / writeOnly,
               "x write() alone, not flushed (shows the flush's cost)", "none");
    return 0;
}
