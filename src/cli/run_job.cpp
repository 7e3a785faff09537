#include "cli/run_job.h"

#include "app/application.h"
#include "cli/announce_job.h"
#include "cli/command_line.h"
#include "cli/inspect_job.h"
#include "cli/job_input.h"
#include "cli/submit_job.h"
#include "platform/program_info.h"

#include <QApplication>

using namespace Qt::StringLiterals;

namespace {

// Standard error carries the job's own lines, which scripts and cron mails read: the notes of Qt
// and of the web engine (no runtime folder, no OpenGL on the offscreen platform) are left out
// unless QT_LOGGING_RULES asks for messages. Critical and fatal ones always go through.
QtMessageHandler g_standardHandler = nullptr;

void keepQtNotesOut() {
    if (qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        return;
    g_standardHandler =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (type != QtCriticalMsg && type != QtFatalMsg)
                return;
            if (g_standardHandler)
                g_standardHandler(type, context, message);
            else
                printError(qFormatLogMessage(type, context, message));
        });
}

} // namespace

int runCommandLineJob(const CommandLine& command, char* programPath) {
    using Job = CommandLine::Job;
    // Qt and the web engine see no argument of the user's: none of their own options is honoured.
    int argc = 1;
    char* argv[] = {programPath, nullptr};
    if (!command.error.isEmpty()) {
        printError(u"torvane: "_s + command.error);
        printError(u"Run 'torvane --help' for the options."_s);
        return ExitBadInput;
    }
    keepQtNotesOut();
    if (command.job == Job::Submit) {
        // The embedded browser draws into memory only: no display is needed or used.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        prepareApplicationEnvironment();
        QApplication app(argc, argv);
        return runSubmitJob(command);
    }
    QCoreApplication app(argc, argv);
    switch (command.job) {
    case Job::Help:
        printLine(commandLineHelp().trimmed());
        return ExitAllOk;
    case Job::Version:
        printLine(programName() + u' ' + programVersion());
        return ExitAllOk;
    case Job::Announce:
        return runAnnounceJob(command);
    case Job::CheckKey:
        return runCheckKeyJob(command);
    case Job::Inspect:
        return runInspectJob(command);
    case Job::Window:
    case Job::Submit:
        break;
    }
    return ExitBadInput;
}
