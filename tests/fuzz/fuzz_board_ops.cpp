// A sequence of board operations read from the input: appends, loads of arbitrary files,
// saves and clears. After every step the board holds no zero byte, an append never changes
// what was there, and loading what was just saved gives the same board back.
#include "board/data_board.h"
#include "board/errors.h"
#include "board/line_breaks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

bool isLeadByte(char c)
{
    return std::uint8_t(c) >= 0x81 && std::uint8_t(c) <= 0xFE;
}

// Every double-byte character is whole and holds no line break, so a load reads the lines
// back exactly as they stand.
bool pairsAreWhole(const QByteArray &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLeadByte(text[i])) {
            if (i + 1 >= text.size() || text[i + 1] == '\r' || text[i + 1] == '\n')
                return false;
            ++i;
        }
    }
    return true;
}

QString folder()
{
    static QTemporaryDir dir(QFileInfo::exists(QStringLiteral("/dev/shm"))
                                 ? QStringLiteral("/dev/shm/board-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/board-fuzz-XXXXXX"));
    return dir.path();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString savePath = folder() + QStringLiteral("/saved.txt");
    const QString loadPath = folder() + QStringLiteral("/loaded.txt");
    board::DataBoard board;
    std::size_t i = 0;
    // Each step: an operation byte, a length byte, then that many bytes of payload.
    while (i + 2 <= size) {
        const std::uint8_t op = data[i] % 4;
        const std::size_t length = std::min<std::size_t>(data[i + 1], size - i - 2);
        QByteArray payload(reinterpret_cast<const char *>(data + i + 2), qsizetype(length));
        i += 2 + length;

        switch (op) {
        case 0: {
            // A line as the decoder builds it never holds a line break or a zero byte.
            payload.replace('\r', ' ').replace('\n', ' ').replace('\0', ' ');
            const QByteArray before = board.text();
            board.AppendLine(payload);
            require(board.text().startsWith(before));
            require(board.text().contains(payload));
            break;
        }
        case 1: {
            QFile file(loadPath);
            require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            require(file.write(payload) == payload.size());
            file.close();
            board.LoadBoard(loadPath);
            require(board.text() == board::normalizeLineBreaks(payload));
            break;
        }
        case 2: {
            const QByteArray before = board.text();
            board.SaveBoard(savePath);
            QFile file(savePath);
            require(file.open(QIODevice::ReadOnly));
            require(file.readAll() == before);
            board.LoadBoard(savePath);
            if (pairsAreWhole(before))
                require(board.text() == before);
            break;
        }
        default:
            board.ClearBoard();
            require(board.text().isEmpty());
            break;
        }
        require(!board.text().contains('\0'));
    }
    return 0;
}
