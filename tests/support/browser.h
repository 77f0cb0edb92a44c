#pragma once

// Headless Chromium run on a local file, one job per run (DOM, screenshot or PDF), with a
// fresh profile each time and the browser's own log on its standard error.
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <unistd.h>

struct BrowserRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray log;
};

// The flags every headless run here needs: no GPU, no first-run or background traffic, a
// profile of its own; and no sandbox for root, inside which Chromium refuses to run.
inline QStringList headlessChromiumArgs(const QString &profile)
{
    QStringList args{"--headless",
                     "--disable-gpu",
                     "--no-first-run",
                     "--disable-background-networking",
                     "--disable-component-update",
                     "--disable-sync",
                     "--user-data-dir=" + profile};
    if (geteuid() == 0)
        args << "--no-sandbox";
    return args;
}

inline BrowserRun runBrowser(const QString &htmlPath, const QStringList &job)
{
    QTemporaryDir profile;
    const QStringList args = headlessChromiumArgs(profile.path())
        + QStringList{"--hide-scrollbars", "--enable-logging=stderr", "--v=0"};
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral("chromium"), args + job + QStringList{"file://" + htmlPath});
    BrowserRun run;
    run.finished = p.waitForFinished(180'000);
    if (!run.finished)
        p.kill(), p.waitForFinished();
    run.exitCode = p.exitCode();
    run.out = p.readAllStandardOutput();
    run.log = p.readAllStandardError();
    return run;
}

// The lines of the browser's log that report the page's own troubles: console messages
// (a blocked load, a policy violation, a script error) and failed requests.
inline QList<QByteArray> pageErrors(const QByteArray &log)
{
    QList<QByteArray> errors;
    for (const QByteArray &l : log.split('\n'))
        if (l.contains(":CONSOLE") || l.contains("net::ERR"))
            errors << l;
    return errors;
}
