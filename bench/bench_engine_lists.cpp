// Moving engines on the Engine Data page: Add All, then Remove All, over the full-capacity
// catalogue (500 engines, none with options), against filling a list once with the 500
// titles, measured in the same run. Target: each <= 3 × the fill.

#include "app/message_log_view.h"
#include "catalogue/ui/engine_data_page.h"
#include "support/bench_util.h"

#include <QApplication>
#include <QListWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    Engine_Type catalogue;
    QStringList titles;
    for (int i = 1; i <= kMaxEngines; ++i) {
        Engine_Data engine;
        engine.Title = QStringLiteral("Search Engine %1").arg(i, 3, 10, QLatin1Char('0'));
        titles.append(engine.Title);
        catalogue.Items.append(engine);
    }
    catalogue.Count = kMaxEngines;

    QWidget window;
    MessageLogView log(&window);
    EngineDataPage page(catalogue, log, &window);
    window.show();
    QCoreApplication::processEvents();

    constexpr int kRepeats = 21;
    // The baseline: the available list itself filled with the 500 titles, as start-up does.
    QListWidget* available = page.availableList();
    const double fill = medianMilliseconds(kRepeats, [&] {
        available->clear();
        available->addItems(titles);
        QCoreApplication::processEvents();
    });
    page.showCatalogue();
    double addAll = 0;
    double removeAll = 0;
    std::vector<double> adds;
    std::vector<double> removes;
    for (int i = 0; i < kRepeats; ++i) {
        adds.push_back(medianMilliseconds(1, [&] {
            page.SpeedButton10Click();
            QCoreApplication::processEvents();
        }));
        removes.push_back(medianMilliseconds(1, [&] {
            page.SpeedButton11Click();
            QCoreApplication::processEvents();
        }));
    }
    std::sort(adds.begin(), adds.end());
    std::sort(removes.begin(), removes.end());
    addAll = adds[adds.size() / 2];
    removeAll = removes[removes.size() / 2];
    if (page.currentList()->count() != 0 || page.availableList()->count() != kMaxEngines) {
        std::fprintf(stderr, "the lists did not end where they started\n");
        return 2;
    }
    printFigure("fill a list with 500 titles (median)", fill, "ms");
    printFigure("Add All, 500 engines (median)", addAll, "ms");
    printFigure("Remove All, 500 engines (median)", removeAll, "ms");
    const bool addMet = printRatio("Add All / fill", addAll / fill, 3.0);
    const bool removeMet = printRatio("Remove All / fill", removeAll / fill, 3.0);
    return addMet && removeMet ? 0 : 1;
}
