// Torvane as bench_process_start sees it: the program's windows made as the program makes them
// (runTorvane), linked with the same libraries, reporting on standard output:
//   "shown" when the main window's first frame is on screen;
//   "page" after a "page" line on standard input has shown the Submit Now page (with its web
//   view) and its first frame is drawn; "no web view" when the page has none.
// "quit" (or the end of input) ends the program.

#include "app/about_box.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/test_window.h"
#include "platform/app_environment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSocketNotifier>
#include <QWindow>
#include <cstdio>
#include <unistd.h>

namespace {

void report(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

class ExposeReporter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            report("shown");
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    prepareApplicationEnvironment();
    QApplication app(argc, argv);
    applyWindowLook();
    TForm1 form1;
    TForm2 form2;
    TForm3 form3;
    form1.setCompanionWindows(&form2, &form3);
    ExposeReporter reporter;
    form1.winId();
    form1.windowHandle()->installEventFilter(&reporter);
    form1.show();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char line[64] = {};
        if (::read(STDIN_FILENO, line, sizeof line - 1) <= 0 || line[0] == 'q') {
            QCoreApplication::quit();
            return;
        }
        form1.findChild<QAbstractButton*>(QStringLiteral("SpeedButton4"))->click();
        // The page's frame is drawn by the next paint of the window.
        form1.repaint();
        // Without its web view (the module not found, say) the page's figures would mean nothing.
        report(form1.findChild<QWidget*>(QStringLiteral("WebBrowser1")) ? "page" : "no web view");
    });
    return app.exec();
}
