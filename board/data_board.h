#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace board {

// The data board: the program's only store of readings, one string of 8-bit text (GBK for
// what the program writes) with lines separated by CR LF. It owns the bytes; views observe
// it through its two signals and never hold a copy of their own.
class DataBoard : public QObject {
    Q_OBJECT
public:
    // The largest text a load puts on the board, counted as the board holds it (cut at the
    // first zero byte, line breaks made CR LF), whatever the size of the file; more raises
    // "Text exceeds memo capacity". Far more than any analyzer's memory holds (a million
    // readings are 36 MB), and small enough that a wrong file picked by mistake is refused
    // rather than read whole. Appends have no limit of their own.
    static constexpr qsizetype kMaxLoadBytes = qsizetype(64) * 1024 * 1024;

    explicit DataBoard(QObject *parent = nullptr);

    const QByteArray &text() const { return text_; }

    // Adds one line (no line breaks of its own) at the end. Never fails.
    void AppendLine(const QByteArray &line);
    // Empties the board.
    void ClearBoard();
    // Writes the board text byte for byte to path, replacing the file only once every byte
    // is on disk (in place only where no file can be made beside it; see replaceFileContent).
    // A pipe or device that would keep it waiting is refused at once, and a reader that goes
    // away raises EWriteError rather than ending the program. Raises EFCreateError or
    // EWriteError; the board is never changed.
    void SaveBoard(const QString &path) const;
    // Replaces the board with the text of the regular file at path, up to its first zero
    // byte, line breaks made CR LF. A pipe, a terminal or any other device is refused at once
    // rather than waited on. The text is read whole before the board changes, so a failure
    // (EFOpenError or EInvalidOperation) leaves the board as it was.
    void LoadBoard(const QString &path);

    // The text LoadBoard would put on the board, for readers of board files without a board.
    static QByteArray textOfFile(const QString &path);

signals:
    // `bytes` were added at the end of the text.
    void appended(const QByteArray &bytes);
    // The whole text was replaced (a load) or emptied (a clear).
    void replaced();

private:
    QByteArray text_;
};

} // namespace board
