#pragma once

#include "core/cpu_time.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/types.h>

// The bytes of a file, or "(missing)" when it cannot be read.
QByteArray readFile(const QString &path);
// Makes bytes the whole content of the file at path; false when that failed.
[[nodiscard]] bool writeFile(const QString &path, const QByteArray &bytes);

// The file's inode number, or 0: tells a file overwritten in place from one replaced.
ino_t inodeOf(const QString &path);

// Runs body in a child process without root's right to write anywhere (as the unprivileged
// user 65534 when the tests run as root) and returns its exit code, or
// kCannotDropPrivileges.
inline constexpr int kCannotDropPrivileges = 77;
int runUnprivileged(const std::function<int()> &body);

using core::processCpuSeconds;
