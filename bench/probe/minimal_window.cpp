// The baseline of bench_process_start: a bare Qt Widgets window of the main window's size, with
// a menu bar, and nothing else. It speaks the same protocol as start_probe (see there).

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QSocketNotifier>
#include <QWindow>
#include <cstdio>
#include <unistd.h>

namespace {

class ExposeReporter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            std::printf("shown\n");
            std::fflush(stdout);
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("File"));
    window.setCentralWidget(new QWidget);
    window.centralWidget()->setFixedSize(479, 388);
    ExposeReporter reporter;
    window.winId();
    window.windowHandle()->installEventFilter(&reporter);
    window.show();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char line[64] = {};
        if (::read(STDIN_FILENO, line, sizeof line - 1) <= 0 || line[0] == 'q') {
            QCoreApplication::quit();
            return;
        }
        std::printf("page\n"); // nothing more to show
        std::fflush(stdout);
    });
    return app.exec();
}
