#include "cli/submit_job.h"

#include "cli/command_line.h"
#include "cli/job_input.h"
#include "cli/stop_signals.h"
#include "history/core/history_run_journal.h"
#include "history/core/history_store.h"
#include "net/core/network_fetcher.h"
#include "platform/browser.h"
#include "platform/clock.h"
#include "platform/message_log.h"
#include "platform/text_codec.h"
#include "profile/core/profile_check.h"
#include "submit/core/request_builder.h"
#include "submit/core/result_text.h"
#include "submit/core/run_controller.h"
#include "submit/core/run_report.h"
#include "submit/ui/web_browser_loader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kEnginePrefix = u"[Engine] "_s;

// What the run controller sees of the program: a log that prints each engine's line once it is
// judged, a timer, and the profile read from its file.
class HeadlessRun final : public MessageLog, public RunView, public RunInputs {
public:
    HeadlessRun(JobInput& input, bool quiet) : m_input(input), m_quiet(quiet) {
        m_timer.setInterval(1000);
        m_timer.setTimerType(Qt::PreciseTimer); // the tick paces the run: one engine per tick at most
    }

    void setController(RunController* controller) {
        m_controller = controller;
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [controller] { controller->tick(); });
    }

    // MessageLog: the lines are kept as the window's log keeps them; a judged engine's line and
    // the closing "Done" are printed.
    void clear() override { m_lines.clear(); }
    void appendLine(const QString& line) override {
        m_lines.append(line);
        if (m_controller && m_controller->runActive() && !line.startsWith(kEnginePrefix))
            printLine(line);
    }
    QString text() const override { return m_lines.join(u'\n'); }
    int lineCount() const override { return static_cast<int>(m_lines.size()); }
    void replaceLine(int index, const QString& line) override {
        if (index < 0 || index >= m_lines.size())
            return;
        m_lines[index] = line;
        printLine(line);
        const QList<ResultRecord>& records = m_controller->results().records;
        if (!m_quiet && index < records.size())
            printLine(u"    "_s + resultSummary(records.at(index)));
    }

    // RunView: only the timer matters without a window.
    void setSubmitEnabled(bool) override {}
    void setStopEnabled(bool) override {}
    void setNextEnabled(bool) override {}
    void setPageButtonsEnabled(bool) override {}
    void setTimerActive(bool active) override {
        if (active) {
            m_timer.start();
            return;
        }
        m_timer.stop();
        // The run has ended (Done or stopped): leave the event loop once the controller is done.
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    }
    void showElapsedTime(const QString&, const QString&, const QString&) override {}
    void setProgressPosition(int position) override { m_progress = position; }
    int progressPosition() const override { return m_progress; }
    void setProgressLabel(const QString&) override {}

    // RunInputs: the profile as read, exactly as the window builds its run from it.
    QStringList validationLines() const override { return CheckDataError(m_input.fields); }
    bool currentListEmpty() const override { return m_input.currentList.isEmpty(); }
    Submit_Type buildSubmissionList() override { return buildSubmissionList(m_input.currentList); }
    Submit_Type buildSubmissionList(const QStringList& titles) override {
        const ProfileSnapshot snapshot = ReadData(m_input.fields);
        Submit_Type list;
        RequestBuilder builder(m_input.catalogue, snapshot);
        builder.buildSubmissionList(titles, list);
        return list;
    }
    QString profilePath() const override { return m_input.profilePath; }
    QString siteUrl() const override { return m_input.fields.Site_URL; }

    const QStringList& lines() const { return m_lines; }

private:
    JobInput& m_input;
    bool m_quiet;
    RunController* m_controller = nullptr;
    QStringList m_lines;
    QTimer m_timer;
    int m_progress = 0;
};

} // namespace

int runSubmitJob(const CommandLine& command, const QStringList* titles) {
    JobInput input;
    if (const QString error = loadJobInput(command.profile, command.catalogue, input); !error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }
    // The completeness check before the web engine is loaded: an incomplete profile costs
    // nothing. The run controller checks the same again.
    const QStringList missing = CheckDataError(input.fields);
    for (const QString& line : missing)
        printError(line);
    const bool noEngines = titles ? titles->isEmpty() : input.currentList.isEmpty();
    if (noEngines)
        printError(u"[Engine Data] Please select the engine"_s);
    if (!missing.isEmpty() || noEngines)
        return ExitBadInput;

    StopSignals stops;
    QString browserError;
    Browser* browser = nullptr;
    const std::unique_ptr<QObject> view = createWindowlessWebBrowser(browser, browserError);
    if (!browser) {
        printError(browserError);
        return ExitBadInput;
    }
    stops.install(); // the web engine has just given the signals their default action

    SystemClock clock;
    HeadlessRun run(input, command.quiet);
    NetworkFetcher fetcher; // the key-file check when an IndexNow engine refuses the key
    RunController controller(*browser, clock, run, run, run);
    controller.setKeyFileFetcher(&fetcher);
    HistoryStore history(historyLocation(command.history, command.noHistory));
    HistoryRunJournal journal(&history, HistoryJob::Face::CommandLine);
    journal.setMessageHandler(printError);
    controller.setJournal(&journal);
    run.setController(&controller);
    QObject::connect(&stops, &StopSignals::stopRequested, &stops, [&controller] { controller.stop(); });
    if (titles)
        controller.submitEngines(*titles);
    else
        controller.submit();
    if (!controller.runActive()) {
        for (const QString& line : run.lines())
            printError(line);
        return ExitBadInput;
    }
    QCoreApplication::exec();
    if (controller.keyFileChecksPending() && !stops.received()) {
        // The records and the report carry the key-file check's outcome: wait for it.
        QEventLoop wait;
        QTimer poll;
        poll.callOnTimeout(&wait, [&] {
            if (!controller.keyFileChecksPending() || stops.received())
                wait.quit();
        });
        poll.start(50);
        wait.exec();
    }
    browser->setProgressHandler({});

    int status = ExitAllOk;
    const RunResults& results = controller.results();
    for (const ResultRecord& record : results.records) {
        if (record.verdict == ResultRecord::Verdict::Skipped) {
            printLine(kEnginePrefix + displayText(record.title) + u"...SKIPPED"_s);
            if (!command.quiet)
                printLine(u"    "_s + resultSummary(record));
        }
        if (record.failed())
            status = ExitSomeFailed;
    }
    if (stops.received()) {
        printError(u"Interrupted: the engines not judged are SKIPPED."_s);
        status = ExitInterrupted;
    }
    if (!command.report.isEmpty()) {
        if (const QString error = saveRunReport(command.report, results); !error.isEmpty()) {
            printError(error);
            if (status != ExitInterrupted)
                status = ExitBadInput;
        }
    }
    return status;
}
