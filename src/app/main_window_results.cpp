// The main window's Run menu items that work on results: Results…, Save Report As…, Submit
// Failed Again and Forget This Site's History, over the last run and the past jobs of the history.

#include "app/main_window.h"

#include "announce/ui/announce_window.h"
#include "app/message_log_view.h"
#include "app/window_history.h"
#include "common/ui/error_report.h"
#include "common/ui/widget_placement.h"
#include "submit/core/run_report.h"
#include "submit/ui/results_window.h"
#include "submit/ui/submit_now_page.h"

#include <QAction>
#include <QMessageBox>

bool askYesNo(QWidget* parent, const QString& question) {
    return QMessageBox::question(parent, QStringLiteral("Torvane"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void TForm1::showRunResults(bool announcement) {
    // A job that starts is shown, whichever past job was chosen.
    if (m_results)
        m_results->chooseJob(-1);
    if (announcement == m_announcementResults || (announcement && !m_announce))
        return;
    m_announcementResults = announcement;
    if (m_results && m_pastJob < 0)
        m_results->setResults(&lastResults());
    updateRunActions();
}

const RunResults& TForm1::lastResults() const {
    return m_announcementResults ? m_announce->results() : m_submitNow->results();
}

const RunResults& TForm1::shownResults() const {
    return m_pastJob >= 0 ? m_pastResults : lastResults();
}

bool TForm1::jobRunning() const {
    return m_submitNow->runActive() || (m_announce && m_announce->busy());
}

void TForm1::updateRunActions() {
    const HistoryStore& store = m_history->store();
    m_forget->setEnabled(!jobRunning() && store.location().kind != HistoryLocation::Kind::None &&
                         store.message().isEmpty());
    if (m_pastJob >= 0) {
        m_saveReport->setEnabled(!m_pastResults.records.isEmpty());
        const bool announcement = m_history->kindOf(m_pastJob) == HistoryJob::Kind::Announcement;
        m_submitFailedAgain->setEnabled(
            !jobRunning() &&
            (announcement ? std::any_of(m_pastResults.records.begin(), m_pastResults.records.end(),
                                        [](const ResultRecord& r) { return r.failed() && r.isBatch(); })
                          : m_pastResults.hasFailed()));
        return;
    }
    // A report is of a finished run or announcement (its records are then all judged).
    if (m_announcementResults) {
        m_saveReport->setEnabled(!m_announce->sending() && !m_announce->results().records.isEmpty());
        m_submitFailedAgain->setEnabled(m_announce->canResendFailed());
        return;
    }
    m_saveReport->setEnabled(!m_submitNow->runActive() && !m_submitNow->results().records.isEmpty());
    // Before the first run of this session (after a restart), the profile's last Submit run.
    m_submitFailedAgain->setEnabled(m_submitNow->canSubmitFailedAgain() ||
                                    (!jobRunning() && m_submitNow->results().records.isEmpty() && m_historyFailed));
}

void TForm1::runMenuAboutToShow() {
    // Read here, not at start: the history is opened when first needed.
    m_historyFailed = m_history->readable() && m_pastJob < 0 && m_submitNow->results().records.isEmpty() &&
                      !m_history->failedEngines(m_history->lastSubmitOf(profilePath())).isEmpty();
    updateRunActions();
}

int TForm1::recordOfLogLine(int line) const {
    // During and after a run, engine k of its list writes log line k; anything written since
    // (a refused Submit, File > New) no longer matches the record's title.
    const QList<ResultRecord>& records = m_submitNow->results().records;
    if (line < 0 || line >= records.size())
        return -1;
    const QString prefix = QStringLiteral("[Engine] ") + records.at(line).title + QStringLiteral("...");
    return m_log->lineText(line).startsWith(prefix) ? line : -1;
}

ResultsWindow* TForm1::resultsWindow() {
    // Made at first use: the window is not needed to start, and costs time to make.
    if (!m_results) {
        m_results = new ResultsWindow(this);
        m_results->setResults(&lastResults());
        connect(m_results, &ResultsWindow::jobChosen, this, &TForm1::showJob);
        listJobs();
    }
    return m_results;
}

void TForm1::listJobs() {
    if (m_results)
        m_history->fill(*m_results, lastResults(), m_announcementResults, siteUrl());
}

void TForm1::showJob(qint64 id) {
    m_pastJob = id;
    m_pastResults = id >= 0 ? m_history->store().jobResults(id) : RunResults{};
    m_results->setResults(&shownResults());
    updateRunActions();
}

void TForm1::showResults(int record) {
    if (m_results)
        listJobs(); // made here, the window lists them itself
    ResultsWindow* window = resultsWindow();
    if (record >= 0)
        window->chooseJob(-1); // a log line's record is the last run's
    centreOverOnFirstShow(window, this);
    window->showRecord(record);
}

void TForm1::saveReportAs() {
    if (!m_saveReport->isEnabled())
        return;
    const QString path = m_reportDialog(this, m_startDirectory);
    if (path.isEmpty())
        return;
    const QString error = saveRunReport(path, shownResults());
    if (!error.isEmpty())
        showErrorReport(this, error);
}

void TForm1::submitFailedAgain() {
    if (jobRunning())
        return;
    if (m_pastJob >= 0) {
        if (m_history->kindOf(m_pastJob) == HistoryJob::Kind::Announcement) {
            QList<ResultRecord> batches = m_pastResults.records;
            batches.removeIf([](const ResultRecord& record) { return !record.failed() || !record.isBatch(); });
            if (batches.isEmpty())
                return;
            showAnnouncePages();
            // Kept in the history under the profile of the job whose batches are sent again.
            m_announce->job().setProfilePath(m_pastResults.profilePath.isEmpty() ? profilePath()
                                                                                 : m_pastResults.profilePath);
            m_announce->job().resendFailed(batches);
            return;
        }
        const QStringList titles = m_pastResults.failedTitles();
        if (titles.isEmpty())
            return;
        showPage(SubmitNow);
        m_submitNow->submitEngines(titles);
        return;
    }
    if (m_announcementResults) {
        if (m_announce->canResendFailed()) {
            showAnnouncePages();
            m_announce->resendFailed();
        }
        return;
    }
    if (m_submitNow->canSubmitFailedAgain()) {
        showPage(SubmitNow);
        m_submitNow->submitFailedAgain();
        return;
    }
    // Nothing run in this session: the failed engines of the profile's last Submit run.
    const QStringList titles = m_history->failedEngines(m_history->lastSubmitOf(profilePath()));
    if (titles.isEmpty())
        return;
    showPage(SubmitNow);
    m_submitNow->submitEngines(titles);
}

void TForm1::forgetSiteHistory() {
    if (!m_forget->isEnabled() || jobRunning())
        return;
    const QString host = historySiteHost(siteUrl());
    if (host.isEmpty()) {
        showErrorReport(this,
                        QStringLiteral("Type the Site URL on the Site Info page first: its history is forgotten."));
        return;
    }
    if (!m_question(this, QStringLiteral("Forget every Submit run and announcement of %1, and which of its pages "
                                         "were announced when? This cannot be undone.")
                              .arg(host)))
        return;
    if (m_history->readable() && !m_history->store().forgetSite(host))
        showErrorReport(this, m_history->store().message());
    m_historyFailed = false;
    listJobs();
    updateRunActions();
}
