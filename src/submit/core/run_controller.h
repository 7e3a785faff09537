#pragma once

#include "submit/core/result_record.h"
#include "submit/core/run_journal.h"
#include "submit/core/submission_list.h"

#include <QString>
#include <QStringList>
#include <map>
#include <memory>

struct KeyFileCheck;

class Browser;
class Clock;
class Fetcher;
class MessageLog;
class QObject;

// What the run shows on the Submit Now page and the main window.
class RunView {
public:
    virtual ~RunView() = default;

    virtual void setSubmitEnabled(bool enabled) = 0;
    virtual void setStopEnabled(bool enabled) = 0;
    virtual void setNextEnabled(bool enabled) = 0;
    // The page buttons Contact Info, Site Info, Engine Data and Special Offer.
    virtual void setPageButtonsEnabled(bool enabled) = 0;
    // The run timer: while active it calls RunController::tick() once per interval.
    virtual void setTimerActive(bool active) = 0;
    // Elapsed hours, minutes and seconds, each already formatted ("00", "07", "123").
    virtual void showElapsedTime(const QString& hours, const QString& minutes, const QString& seconds) = 0;
    // The progress bar, range 0 … 100.
    virtual void setProgressPosition(int position) = 0;
    virtual int progressPosition() const = 0;
    // The percentage label beside the bar ("25 %").
    virtual void setProgressLabel(const QString& text) = 0;
    // The record at index of RunController::results() changed, or (index −1) the records were
    // replaced or the run started or ended.
    virtual void showResult(int /*index*/) {}
};

// What a run needs from the rest of the program; the main window implements it.
class RunInputs {
public:
    virtual ~RunInputs() = default;

    // One log line per missing required field of the profile as the fields stand now.
    virtual QStringList validationLines() const = 0;
    // True when the current engine list has no lines.
    virtual bool currentListEmpty() const = 0;
    // Takes the profile snapshot and builds the submission list from the current engine list.
    virtual Submit_Type buildSubmissionList() = 0;
    // The same, built from the engines of these titles (in this order) instead of the current
    // engine list, with their current option choices.
    virtual Submit_Type buildSubmissionList(const QStringList& titles) = 0;
    // The profile file a run's report names; empty when the profile was never saved.
    virtual QString profilePath() const { return {}; }
    // The profile's Site URL as it stands now (the journal keeps its host); empty by default.
    virtual QString siteUrl() const { return {}; }
    // What a run over the engines of these titles (in run order) says about engines that share
    // what they receive: one notice per group with two or more of them; none by default.
    virtual QStringList sharedGroupNotices(const QStringList& /*titles*/) const { return {}; }
};

// The verdict of the submission last judged, and the start of the current page's wait.
struct Browser_Stat {
    QString Title;          // the engine's title
    qint32 Index = 0;       // its submission index, which is also its message-log line
    bool OK = false;        // true = OK, false = ERROR
    quint32 Wait_Start = 0; // clock reading of the first tick after the navigation; 0 = not begun
};

// Drives the browser through the submission list, one engine per timer tick at most.
//
// States: Idle (no run), or Loading k (the browser loads entry k, k = submitIndex()). submit()
// starts a run from Idle; tick() judges the page of entry k once the browser is no longer busy
// (or has been busy for the page time limit), writes its verdict over the engine's log line
// and moves to k + 1, or ends the run with "Done"; next() skips to k + 1 without a verdict;
// stop() ends the run without a closing line.
//
// The verdict is taken from the finished page: ERROR when the load failed (network error or
// HTTP status of 400 or more), when the page was still loading at the time limit, or when its
// title begins with "ERROR" or "SERVER" in any letter case; OK otherwise.
//
// The elapsed time shown is (now − the run's first tick) rounded to whole seconds, so it never
// drifts and shows each second once.
//
// Beside the log, every run keeps one ResultRecord per engine (results()): Pending until its
// page is judged, then OK or ERROR with the page's answer, or SKIPPED when Next or Stop left it.
// The records of a run stay until the next run starts; a Submit refused by the completeness
// check leaves them as they were.
//
// With a fetcher set, an IndexNow endpoint that answers 403 or 422 (its key refused) has the key
// file checked beside the run, once per run for each key file and key (not once per engine): its
// record, and every later one of the same key, carries what the check found. The run itself
// neither waits for the check nor changes with it.
class RunController {
public:
    static constexpr quint32 kPageTimeLimitMs = 60000;

    // All five must outlive the controller.
    RunController(Browser& browser, const Clock& clock, MessageLog& log, RunView& view, RunInputs& inputs);
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // The fetcher of the key-file checks; none (no checks) unless set. It must outlive the
    // controller, or be unset first.
    void setKeyFileFetcher(Fetcher* fetcher);
    // Where each run is written down as it goes; none unless set. It must outlive the
    // controller, or be unset first.
    void setJournal(RunJournal* journal) { m_journal = journal; }
    // True while a key-file check of the last run has not answered yet (each ends within its
    // time limit); its records then still lack the outcome.
    bool keyFileChecksPending() const;

    void submit(); // the Submit button
    // Run > Submit Failed Again: a run over the engines whose records of the last run are
    // ERROR or SKIPPED, in their order, through the same completeness check as submit().
    void submitFailedAgain();
    bool canSubmitFailedAgain() const { return !Run_Active && m_results.hasFailed(); }
    // A run over the engines of these titles, in this order (the failed engines of a run read
    // back from the history), through the same completeness check as submit().
    void submitEngines(const QStringList& titles);
    void stop(); // the Stop button
    void next(); // the Next button
    void tick(); // one tick of the run timer
    // A progress event of the browser: moves the progress bar and its label.
    void progressChange(qint32 progress, qint32 progressMax);

    // How long a page may stay busy, counted from the first tick after its navigation.
    void setPageTimeLimit(quint32 milliseconds) { m_pageTimeLimit = milliseconds; }

    bool runActive() const { return Run_Active; }
    qint32 submitIndex() const { return Submit_Index; }
    const Submit_Type& submissionList() const { return m_submitList; }
    const Browser_Stat& browserStat() const { return m_browserStat; }
    // The records of the last run (or of the run in progress).
    const RunResults& results() const { return m_results; }

private:
    // Starts a run over the current engine list, or over titles when given.
    void startRun(const QStringList* titles);
    void Submit_Now(qint32 Index);
    void GetBrowser1Data(bool timedOut);
    void showElapsedTime(quint32 elapsedMs);
    void showIdleControls();
    // Fills the record of the engine just judged from the finished page.
    void recordAnswer(bool timedOut, quint32 now);
    // Marks the engine being loaded as left (Next, Stop) and, with unsent, the ones after it.
    void recordSkipped(quint32 now, bool unsent);
    // Gives the record at index what the run's check of its key file found, starting the check
    // when it is the first of its key file and key.
    void explainRefusedKey(qint32 index);
    // The check id (key file address and key) found result: every record waiting for it says so
    // (and, when the file holds the key, what to do next).
    void keyFileChecked(const QString& id, const KeyFileCheck& result);
    // Forgets the checks of the last run; those still going are cancelled.
    void dropKeyFileChecks();

    Browser& m_browser;
    const Clock& m_clock;
    MessageLog& m_log;
    RunView& m_view;
    RunInputs& m_inputs;
    quint32 m_pageTimeLimit = kPageTimeLimitMs;

    bool Run_Active = false;
    qint32 Submit_Index = 0;
    quint32 Clock_Start = 0; // clock reading of the run's first tick; 0 = take the next tick
    Submit_Type m_submitList;
    Browser_Stat m_browserStat;
    quint32 m_sentAt = 0;     // clock reading at the current engine's navigation
    quint32 m_answeredAt = 0; // clock reading when its load finished; 0 while it has not
    RunResults m_results;

    // The key-file checks of the run, by key file address and key.
    struct KeyFileCheckState {
        quint64 request = 0;
        bool done = false;
        bool found = false; // the file holds the key
        QString sentence;
        QList<qint32> records; // waiting for the outcome
    };
    Fetcher* m_fetcher = nullptr;
    RunJournal* m_journal = nullptr;
    std::map<QString, KeyFileCheckState> m_keyFileChecks;
    // The receiver of the checks' answers: gone with the controller, so no answer arrives after.
    std::unique_ptr<QObject> m_checkReceiver;
};
