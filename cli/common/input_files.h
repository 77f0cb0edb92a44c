#pragma once

#include "reading/line_format.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace cli {

// "FILE:LINE: not a reading: <the line>", the line shown as text (GBK) and shortened when long.
QString notAReadingText(const QString &file, int lineNumber, QByteArrayView line);

// Every reading of the files, in order: f(file index, line number from 1, reading). The
// reading's texts point into the line read and are valid only during the call. A line
// that is not a reading goes to `report` (or raises ENotAReading when strict); empty
// lines are skipped. Files are read one at a time, each as a stream (see LineReader), so
// that any size takes the same memory; once an InterruptCatcher caught a signal no more
// lines are read.
using ReadingHandler = std::function<void(int file, int line, const reading::Reading &reading)>;
void forEachReading(const QStringList &paths, bool strict, const ReadingHandler &f,
                    const std::function<void(const QString &)> &report);

} // namespace cli
