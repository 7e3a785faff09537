#pragma once

#include "platform/clock.h"
#include "submit/core/run_controller.h"

#include <QGroupBox>
#include <memory>

class Browser;
class Fetcher;
class ForwardingBrowser;
class MessageLog;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The Submit Now page (GroupBox4, 381 x 313): Submit, Stop and Next, the embedded browser
// WebBrowser1 in its frame, the progress bar with its percentage, and the elapsed time.
// Its controls carry their names as objectName; their handlers drive a RunController.
//
// The main window places the page at 92, 0 of its client area and connects
// pageButtonsEnabledChanged to its four other page buttons. During a run the page clears the
// message log and writes the run's lines into it.
//
// The real web view (and with it the web engine: its library and its processes) is created only
// when first needed: when the page is first shown, at the first Submit, or when prepareBrowser()
// is called, whichever comes first.
class SubmitNowPage final : public QGroupBox, private RunView {
    Q_OBJECT

public:
    // The page with the real web view as WebBrowser1. log and inputs must outlive the page.
    SubmitNowPage(MessageLog& log, RunInputs& inputs, QWidget* parent = nullptr);
    // The page around another browser and clock (tests); WebBrowser1 is then an empty widget.
    // All four must outlive the page.
    SubmitNowPage(MessageLog& log, RunInputs& inputs, Browser& browser, const Clock& clock, QWidget* parent = nullptr);
    ~SubmitNowPage() override;

    // Creates the web view WebBrowser1 (loading the web engine) and the run controller, if not
    // done yet. False when the web engine could not be loaded; Submit then reports why.
    bool prepareBrowser();

    // Timer1's interval, 1000 ms unless changed (tests shorten it).
    void setTickInterval(int milliseconds);
    // How long a page may stay busy, 60 s unless changed (tests shorten it).
    void setPageTimeLimit(quint32 milliseconds);
    // The fetcher of the run's key-file checks (see RunController); none unless set.
    void setKeyFileFetcher(Fetcher* fetcher);

    // The records of the last run (or of the run in progress); the reference stays valid for
    // the life of the page.
    const RunResults& results() const { return m_controller->results(); }
    bool runActive() const { return m_controller->runActive(); }
    bool canSubmitFailedAgain() const { return m_controller->canSubmitFailedAgain(); }
    // Run > Submit Failed Again.
    void submitFailedAgain();
    // A run over the engines of these titles (the failed ones of a past run, read back).
    void submitEngines(const QStringList& titles);
    // Where each run is written down as it goes (see RunController::setJournal).
    void setJournal(RunJournal* journal);

signals:
    // The page buttons Contact Info, Site Info, Engine Data and Special Offer are to be
    // disabled (false) when a run starts and enabled again (true) when it ends or is stopped.
    void pageButtonsEnabledChanged(bool enabled);
    // The record at index of results() changed; index −1: the records were replaced, or the
    // run started or ended.
    void resultsChanged(int index);

protected:
    void showEvent(QShowEvent* event) override;

private:
    SubmitNowPage(MessageLog& log, RunInputs& inputs, Browser* browser, const Clock* clock, QWidget* parent);

    void createControls();

    void SpeedButton7Click();
    void SpeedButton8Click();
    void SpeedButton9Click();
    void Timer1Timer();
    void WebBrowser1ProgressChange(qint32 progress, qint32 progressMax);

    // RunView
    void setSubmitEnabled(bool enabled) override;
    void setStopEnabled(bool enabled) override;
    void setNextEnabled(bool enabled) override;
    void setPageButtonsEnabled(bool enabled) override;
    void setTimerActive(bool active) override;
    void showElapsedTime(const QString& hours, const QString& minutes, const QString& seconds) override;
    void setProgressPosition(int position) override;
    int progressPosition() const override;
    void setProgressLabel(const QString& text) override;
    void showResult(int index) override;

    SystemClock m_systemClock;
    QPushButton* m_submitButton = nullptr; // SpeedButton7
    QPushButton* m_stopButton = nullptr;   // SpeedButton8
    QPushButton* m_nextButton = nullptr;   // SpeedButton9
    QGroupBox* m_browserFrame = nullptr;   // GroupBox5
    QProgressBar* m_progressBar = nullptr; // ProgressBar1
    QLabel* m_progressLabel = nullptr;     // Label21
    QLabel* m_hoursLabel = nullptr;        // Label24
    QLabel* m_minutesLabel = nullptr;      // Label26
    QLabel* m_secondsLabel = nullptr;      // Label28
    QTimer* m_timer = nullptr;             // Timer1
    MessageLog& m_log;
    RunInputs& m_inputs;
    const Clock& m_clock;
    QString m_browserError;      // why the web engine could not be loaded
    bool m_browserReady = false; // m_browser exists and the controller drives it
    Browser* m_browser = nullptr;
    // What the run controller drives: m_browser once it exists. The controller (and with it the
    // run's records) is there from the start; the browser comes when first needed.
    std::unique_ptr<ForwardingBrowser> m_forwarding;
    std::unique_ptr<RunController> m_controller;
};
