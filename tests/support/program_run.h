#pragma once

#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QTimer>

// What a run of the built program ended with.
struct ProgramRun {
    int status = -1; // the exit status; -1 when it crashed or did not end in time
    QString out;
    QString err;
};

// Waits for a started program in this thread's event loop, not blocked, so that a local server
// of the test (which answers from that loop) can serve it. A program still running after
// timeoutMs is killed.
inline ProgramRun waitForProgram(QProcess& process, int timeoutMs = 60000) {
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    ProgramRun run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
