// Start-up time of the main window: from creating TForm1 to its first frame on screen, with a
// full-capacity catalogue (500 engines, about a quarter of a million keys) against an empty
// catalogue, measured alternately in the same run. Target: full <= 1.3 × empty. The time until
// the full catalogue's titles are listed (it is read while the window appears) is printed too.

#include "app/application.h"
#include "app/main_window.h"
#include "platform/app_environment.h"
#include "support/bench_util.h"
#include "support/catalogue_generator.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QWindow>

namespace {

double lastListedMs = 0;

// Creates the main window in directory, shows it and waits until its first frame is drawn;
// then, for a catalogue, until its titles are listed (lastListedMs).
double startOnce(const QString& directory, bool waitForTitles = false) {
    QDir::setCurrent(directory);
    QElapsedTimer timer;
    timer.start();
    TForm1 form;
    form.show();
    // The window's first exposure paints it.
    while (!form.windowHandle() || !form.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double firstFrame = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (waitForTitles) {
        const auto* titles = form.findChild<QListWidget*>(QStringLiteral("ListBox1"));
        while (titles->count() == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        lastListedMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
    return firstFrame;
}

} // namespace

int main(int argc, char* argv[]) {
    prepareApplicationEnvironment();
    QApplication app(argc, argv);
    applyWindowLook();

    QTemporaryDir full;
    QTemporaryDir empty;
    if (writeFullCapacityCatalogue(full.path()).isEmpty()) {
        std::fprintf(stderr, "could not write the catalogue\n");
        return 2;
    }
    // One start of each first, so that fonts, styles and pictures are loaded for both.
    startOnce(empty.path());
    startOnce(full.path());

    constexpr int kRepeats = 41;
    std::vector<double> fullTimes;
    std::vector<double> emptyTimes;
    std::vector<double> listedTimes;
    for (int i = 0; i < kRepeats; ++i) {
        emptyTimes.push_back(startOnce(empty.path()));
        fullTimes.push_back(startOnce(full.path(), true));
        listedTimes.push_back(lastListedMs);
    }
    const auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double emptyMs = median(emptyTimes);
    const double fullMs = median(fullTimes);
    printFigure("start-up, empty catalogue (median)", emptyMs, "ms");
    printFigure("start-up, full catalogue (median)", fullMs, "ms");
    printFigure("full catalogue listed (median, after creation)", median(listedTimes), "ms");
    return printRatio("full / empty", fullMs / emptyMs, 1.3) ? 0 : 1;
}
