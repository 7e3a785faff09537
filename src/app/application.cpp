#include "app/application.h"

#include "app/about_box.h"
#include "app/deferred_icon_engine.h"
#include "app/main_window.h"
#include "app/test_window.h"
#include "cli/command_line.h"
#include "cli/job_input.h"
#include "cli/run_job.h"
#include "common/ui/error_report.h"
#include "platform/app_environment.h"
#include "platform/local_file_name.h"
#include "platform/window_display.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <exception>

namespace {

// Reports an exception that escaped an event handler through the standard error report
// instead of ending the program; the handler that threw simply ends.
class TorvaneApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            showErrorReport(activeWindow(), QString::fromLocal8Bit(error.what()));
        } catch (...) {
            showErrorReport(activeWindow(), QStringLiteral("Unexpected error"));
        }
        return false;
    }
};

// The windows are laid out in pixels for an 11-pixel sans-serif font.
QFont windowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

} // namespace

void applyWindowLook() {
    QApplication::setFont(windowFont());
    // Read when the platform first asks for a picture, not before the first frame.
    QList<DeferredIconEngine::File> icons;
    for (const int size : {16, 32, 48, 64})
        icons.append({QStringLiteral(":/icon/torvane-%1.png").arg(size), QSize(size, size)});
    QApplication::setWindowIcon(QIcon(new DeferredIconEngine(icons)));
    // The desktop matches the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(TORVANE_APP_ID));
}

int runTorvane(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(decodeLocalFileName(argv[i])); // file names that are not UTF-8 stay openable
    char fallbackName[] = "torvane";
    char* const programPath = argc > 0 ? argv[0] : fallbackName;
    const CommandLine command = parseCommandLine(arguments);
    if (command.job != CommandLine::Job::Window || !command.error.isEmpty())
        return runCommandLineJob(command, programPath);
    if (!windowDisplayAvailable()) {
        printError(QStringLiteral("Torvane's window needs a display; see torvane --help for running without one."));
        return ExitBadInput;
    }

    // The window: Qt and the web engine see no argument of the user's, so that none of their
    // own options is honoured (a remote debugging port among them).
    prepareApplicationEnvironment();
    int appArgc = 1;
    char* appArgv[] = {programPath, nullptr};
    TorvaneApplication app(appArgc, appArgv);
    applyWindowLook();

    // Form1 first (it is the main window and its creation loads the catalogue), then the test
    // window and the About box, hidden. They are top-level windows of their own, so disabling
    // the main window while the About box is open leaves the box usable.
    TForm1 form1;
    TForm2 form2;
    TForm3 form3;
    form1.setCompanionWindows(&form2, &form3);
    // A file manager opens a profile by giving its path as the only argument.
    if (argc == 2)
        form1.profileCommands()->openLocalFile(QByteArray(argv[1]));
    form1.show();
    return app.exec();
}
