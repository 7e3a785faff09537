// Process start of the program against a bare Qt Widgets window (probe/minimal_window), measured
// alternately in the same run: from starting the process to its main window's first frame, and
// the memory of all its processes once idle (proportional set size, summed over the process and
// every process it started, so shared libraries count once across them). Targets: time <= 1.5 ×
// and memory <= 2 × the bare window. The program is probe/start_probe, which makes the windows
// as the program does (see there). The figures after the Submit Now page was shown, when the
// web engine is running, are printed too (the web engine's own cost; no target), and the processor
// time each used to its first frame (no target: on a shared machine the clock time varies with the
// load of other programs, the processor time much less). Run on a display
// with OpenGL (bench/run.sh gives it a virtual one): the display is named with the figures.

#include "support/bench_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <vector>

namespace {

// The process ids of pid and all of its descendants.
void collectProcesses(qint64 pid, std::vector<qint64>& into) {
    into.push_back(pid);
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + QStringLiteral("/children")));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& child : children.readAll().split(' ')) {
            bool ok = false;
            const qint64 id = child.trimmed().toLongLong(&ok);
            if (ok)
                collectProcesses(id, into);
        }
    }
}

// The proportional set size of pid and its descendants, in MiB.
double treeMemoryMiB(qint64 pid) {
    std::vector<qint64> processes;
    collectProcesses(pid, processes);
    qint64 kib = 0;
    for (const qint64 id : processes) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(id));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : rollup.readAll().split('\n')) {
            if (line.startsWith("Pss:"))
                kib += line.mid(4).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return static_cast<double>(kib) / 1024.0;
}

// The processor time pid's threads have used so far, in ms (the kernel's scheduler figures, in
// ns): unlike the time on the clock, hardly changed by other programs that share the processors.
double processorMs(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    qint64 ns = 0;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (schedstat.open(QIODevice::ReadOnly))
            ns += schedstat.readAll().split(' ').value(0).toLongLong();
    }
    return static_cast<double>(ns) / 1e6;
}

// Waits for the line `expected` on the process's output; false after 60 s or when it ended.
bool waitForLine(QProcess& process, const QByteArray& expected) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000) {
        while (process.canReadLine()) {
            if (process.readLine().trimmed() == expected)
                return true;
        }
        if (process.state() != QProcess::Running)
            return false;
        process.waitForReadyRead(100);
    }
    return false;
}

struct Start {
    double shownMs = -1;
    double shownCpuMs = 0; // processor time to the first frame
    double idleMiB = 0;
    double pageMs = -1;
    double pageMiB = 0;
};

constexpr int kSettleMs = 1500; // idle time before memory is read

// Starts program in an empty folder, waits for its first frame and its idle memory; with
// showPage, shows the Submit Now page and measures again.
Start startOnce(const QString& program, const QString& folder, bool showPage) {
    Start result;
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    if (!process.waitForStarted() || !waitForLine(process, "shown"))
        return result;
    result.shownMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    result.shownCpuMs = processorMs(process.processId());
    QThread::msleep(kSettleMs);
    result.idleMiB = treeMemoryMiB(process.processId());
    if (showPage) {
        timer.restart();
        process.write("page\n");
        if (waitForLine(process, "page")) {
            result.pageMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            QThread::msleep(3 * kSettleMs);
            result.pageMiB = treeMemoryMiB(process.processId());
        }
    }
    process.write("quit\n");
    process.closeWriteChannel();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString probes = QCoreApplication::applicationDirPath() + u'/';
    const QString torvane = probes + QStringLiteral("start_probe");
    const QString bare = probes + QStringLiteral("minimal_window");
    QTemporaryDir empty;

    // One start of each first, so that both find their libraries and fonts in the page cache.
    startOnce(bare, empty.path(), false);
    startOnce(torvane, empty.path(), false);

    constexpr int kRepeats = 9;
    std::vector<double> bareMs, bareMiB, torvaneMs, torvaneMiB, bareCpuMs, torvaneCpuMs;
    for (int i = 0; i < kRepeats; ++i) {
        const Start b = startOnce(bare, empty.path(), false);
        const Start t = startOnce(torvane, empty.path(), false);
        if (b.shownMs < 0 || t.shownMs < 0) {
            std::fprintf(stderr, "a probe did not show its window\n");
            return 2;
        }
        bareMs.push_back(b.shownMs);
        bareCpuMs.push_back(b.shownCpuMs);
        torvaneCpuMs.push_back(t.shownCpuMs);
        bareMiB.push_back(b.idleMiB);
        torvaneMs.push_back(t.shownMs);
        torvaneMiB.push_back(t.idleMiB);
    }
    std::vector<double> pageMs, pageMiB;
    for (int i = 0; i < 3; ++i) {
        const Start t = startOnce(torvane, empty.path(), true);
        if (t.pageMs < 0) {
            std::fprintf(stderr, "the Submit Now page was not shown with its web view\n");
            return 2;
        }
        pageMs.push_back(t.pageMs);
        pageMiB.push_back(t.pageMiB);
    }

    const QByteArray display = qgetenv("DISPLAY");
    std::printf("display: %s\n", display.isEmpty() ? "none, so no OpenGL driver is ever loaded" : display.constData());
    printFigure("bare window: start to first frame (median)", median(bareMs), "ms");
    printFigure("Torvane: start to first frame (median)", median(torvaneMs), "ms");
    printFigure("bare window: CPU time to first frame (median)", median(bareCpuMs), "ms");
    printFigure("Torvane: CPU time to first frame (median)", median(torvaneCpuMs), "ms");
    printFigure("bare window: idle memory, all processes", median(bareMiB), "MiB");
    printFigure("Torvane: idle memory, all processes", median(torvaneMiB), "MiB");
    printFigure("Torvane: Submit Now page shown (median)", median(pageMs), "ms");
    printFigure("Torvane: memory after Submit Now page shown", median(pageMiB), "MiB");
    const bool time = printRatio("start time / bare window", median(torvaneMs) / median(bareMs), 1.5);
    const bool memory = printRatio("idle memory / bare window", median(torvaneMiB) / median(bareMiB), 2.0);
    printFigure("memory after Submit Now / bare window", median(pageMiB) / median(bareMiB), "x");
    // No target: shows how much of the time on the clock the load of other programs explains.
    printFigure("CPU time to first frame / bare window", median(torvaneCpuMs) / median(bareCpuMs), "x");
    return time && memory ? 0 : 1;
}
