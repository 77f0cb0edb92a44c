#include "cli/common/input_files.h"

#include "cli/common/errors.h"
#include "cli/common/streams.h"
#include "reading/line_format.h"

#include <QStringDecoder>

namespace cli {

namespace {

// U+2126, the ohm sign some programs write instead of the Greek capital omega.
constexpr char kOhmSignUtf8[] = "\xE2\x84\xA6";

constexpr qsizetype kShownLineLength = 100;

} // namespace

QString notAReadingText(const QString &file, int lineNumber, QByteArrayView line)
{
    QStringDecoder gbk("GBK");
    QString shown = QString::fromUtf8(line);
    if (shown.contains(QChar::ReplacementCharacter))
        shown = gbk.isValid() ? gbk.decode(line) : QString::fromLatin1(line);
    if (shown.size() > kShownLineLength)
        shown = shown.left(kShownLineLength) + QStringLiteral("...");
    return QStringLiteral("%1:%2: not a reading: %3").arg(file, QString::number(lineNumber), shown);
}

void forEachReading(const QStringList &paths, bool strict, const ReadingHandler &f,
                    const std::function<void(const QString &)> &report)
{
    for (int file = 0; file < paths.size() && !InterruptCatcher::caught(); ++file) {
        LineReader reader(paths[file]);
        QByteArrayView line;
        while (reader.next(line)) {
            const int number = reader.lineNumber();
            if (number == 1 && line.startsWith("\xEF\xBB\xBF"))
                line = line.sliced(3); // a UTF-8 byte-order mark
            if (line.isEmpty())
                continue;
            std::optional<reading::Reading> reading = reading::parseBoardLine(line);
            // Another program may have saved the file as UTF-8: its ohm sign (or the Unicode
            // ohm sign) stands where the window writes the GBK one.
            QByteArray recoded;
            if (!reading && (line.contains(reading::kOhmUtf8) || line.contains(kOhmSignUtf8))) {
                recoded = line.toByteArray()
                              .replace(reading::kOhmUtf8, reading::kOhmGbk)
                              .replace(kOhmSignUtf8, reading::kOhmGbk);
                reading = reading::parseBoardLine(recoded);
            }
            if (reading) {
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
