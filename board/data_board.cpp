#include "board/data_board.h"

#include "board/errors.h"
#include "board/line_breaks.h"
#include "board/text_file.h"

namespace board {

DataBoard::DataBoard(QObject *parent) : QObject(parent)
{ }

void DataBoard::AppendLine(const QByteArray &line)
{
    // After loading a file whose last line had no break the board ends inside a line; the
    // new line then goes on a line of its own and the board again ends without a break.
    QByteArray added;
    if (text_.isEmpty() || text_.endsWith("\r\n"))
        added = line + "\r\n";
    else
        added = "\r\n" + line;
    text_ += added;
    emit appended(added);
}

void DataBoard::ClearBoard()
{
    text_.clear();
    emit replaced();
}

void DataBoard::SaveBoard(const QString &path) const
{
    replaceFileContent(path, text_);
}

QByteArray DataBoard::textOfFile(const QString &path)
{
    // Line breaks can only add bytes, so a text too long before they are made CR LF is too
    // long after, and the read stops there.
    QByteArray text = readFileText(path, kMaxLoadBytes);
    normalizeLineBreaksInPlace(text);
    if (text.size() > kMaxLoadBytes)
        throw textExceedsCapacity();
    return text;
}

void DataBoard::LoadBoard(const QString &path)
{
    QByteArray text = textOfFile(path);
    // Readings appended after a load would otherwise copy the whole text at the first one;
    // the room costs address space only until it is written.
    text.reserve(text.size() + text.size() / 2);
    text_ = std::move(text);
    emit replaced();
}

} // namespace board

// Compiled with this file rather than on its own: Qt's headers are read once.
#include "moc_data_board.cpp"
