#include "cli/input_files.h"

#include "board/data_board.h"
#include "cli/errors.h"

#include <QStringDecoder>

namespace cli {

namespace {

constexpr qsizetype kShownLineLength = 100;

} // namespace

QString notAReadingText(const QString &file, int lineNumber, QByteArrayView line)
{
    QStringDecoder gbk("GBK");
    QString shown = gbk.isValid() ? gbk.decode(line) : QString::fromLatin1(line);
    if (shown.size() > kShownLineLength)
        shown = shown.left(kShownLineLength) + QStringLiteral("...");
    return QStringLiteral("%1:%2: not a reading: %3").arg(file).arg(lineNumber).arg(shown);
}

void forEachReading(const QStringList &paths, bool strict, const ReadingHandler &f,
                    const std::function<void(const QString &)> &report)
{
    for (int file = 0; file < paths.size(); ++file) {
        const QByteArray text = board::DataBoard::textOfFile(paths[file]);
        qsizetype start = 0;
        int number = 0;
        while (start < text.size()) {
            qsizetype end = text.indexOf("\r\n", start);
            const qsizetype next = end < 0 ? text.size() : end + 2;
            if (end < 0)
                end = text.size();
            ++number;
            const QByteArrayView line(text.constData() + start, end - start);
            start = next;
            if (line.isEmpty())
                continue;
            if (const auto reading = analysis::parseReading(line)) {
                f(file, number, *reading);
            } else {
                const QString message = notAReadingText(paths[file], number, line);
                if (strict)
                    throw ENotAReading(message);
                report(message);
            }
        }
    }
}

} // namespace cli
