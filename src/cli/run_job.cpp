#include "cli/run_job.h"

#include "cli/announce_job.h"
#include "cli/command_line.h"
#include "cli/history_job.h"
#include "cli/index_status_job.h"
#include "cli/job_input.h"
#include "cli/report_target.h"
#include "cli/submit_job.h"
#include "platform/app_environment.h"
#include "platform/program_info.h"
#include "submit/ui/web_browser_loader.h"

#include <QCoreApplication>

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

// Whether the job's --report, if any, can be written; says why not on standard error. Checked
// before the job starts, so that nothing is sent for a report that cannot be written.
bool reportTargetUsable(const CommandLine& command) {
    if (command.report.isEmpty())
        return true;
    const QString problem =
        reportTargetProblem(command.report, {command.profile, jobCataloguePath(command.catalogue), command.sources});
    if (problem.isEmpty())
        return true;
    printError(problem);
    return false;
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
    if (command.job == Job::Submit || command.job == Job::ResendFailed) {
        // The embedded browser draws into memory only: no display is needed or used.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        prepareApplicationEnvironment();
        const std::unique_ptr<QCoreApplication> app = createBrowserApplication(argc, argv);
        if (!reportTargetUsable(command))
            return ExitBadInput;
        return command.job == Job::Submit ? runSubmitJob(command) : runResendFailedJob(command);
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
        if (!reportTargetUsable(command))
            return ExitBadInput;
        return runAnnounceJob(command);
    case Job::CheckKey:
        return runCheckKeyJob(command);
    case Job::Inspect:
        return runIndexStatusJob(command);
    case Job::History:
        return runHistoryListJob(command);
    case Job::ReportOf:
        if (!reportTargetUsable(command))
            return ExitBadInput;
        return runReportOfJob(command);
    case Job::Window:
    case Job::Submit:
    case Job::ResendFailed:
        break;
    }
    return ExitBadInput;
}
