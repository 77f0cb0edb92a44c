#pragma once

// battery-analyzer-cli run as a child process, for tests.
#include <QByteArray>
#include <QProcess>
#include <QStringList>

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
