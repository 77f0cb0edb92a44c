#pragma once

// battery-analyzer-cli run as a child process, for tests.
#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QStringList>

#include <fcntl.h>

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the tool to its end with no standard input (so it never finds a terminal to ask).
inline ToolRun runTool(const QStringList &args, const QString &folder = QString())
{
    QProcess p;
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(BATTERY_CLI), args);
    p.waitForFinished(60000);
    ToolRun run;
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

// The test's end of a pseudo-terminal must not live on in the tool (openpty leaves it
// inheritable), or pulling the cable would not hang up the tool's side.
inline void keepDescriptorsFromChildren()
{
    for (const QString &name :
         QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        const int fd = name.toInt();
        if (fd > 2)
            ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
}
