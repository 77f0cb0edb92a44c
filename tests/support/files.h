#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// The bytes of a file, or "(missing)" when it cannot be read.
QByteArray readFile(const QString &path);
// Makes bytes the whole content of the file at path; false when that failed.
[[nodiscard]] bool writeFile(const QString &path, const QByteArray &bytes);

// Runs body in a child process without root's right to write anywhere (as "nobody" when
// the tests run as root) and returns its exit code; 90 when privileges could not be dropped.
int runUnprivileged(const std::function<int()> &body);

// CPU time this process has used, in seconds.
double processCpuSeconds();
