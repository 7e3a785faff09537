#include "submit/ui/submit_now_page.h"

#include "common/ui/error_report.h"
#include "platform/browser.h"
#include "submit/ui/web_browser_loader.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, int left) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(left, 16, 75, 25);
    return button;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

void setLabelText(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize(); // the label grows with its text, e.g. "100 %" or three-digit hours
}

} // namespace

// A browser that stands for another one made later: until then it is idle, and a navigation
// ends at once as a failed load (no run can get that far, since Submit makes the browser first).
class ForwardingBrowser final : public Browser {
public:
    void setTarget(Browser* target) {
        m_target = target;
        m_target->setProgressHandler(
            [this](qint32 progress, qint32 progressMax) { reportProgress(progress, progressMax); });
        m_target->setFinishedHandler([this] { reportFinished(); });
    }
    ~ForwardingBrowser() override {
        if (m_target) {
            m_target->setProgressHandler({});
            m_target->setFinishedHandler({});
        }
    }

    void navigate(const QString& url) override {
        if (m_target)
            m_target->navigate(url);
    }
    void stop() override {
        if (m_target)
            m_target->stop();
    }
    bool busy() const override { return m_target && m_target->busy(); }
    QString locationName() const override { return m_target ? m_target->locationName() : QString(); }
    bool loadFailed() const override { return !m_target || m_target->loadFailed(); }
    PageAnswer answer() const override {
        return m_target ? m_target->answer() : PageAnswer{0, NetworkFailure::Other, {}, {}};
    }

private:
    Browser* m_target = nullptr;
};

SubmitNowPage::SubmitNowPage(MessageLog& log, RunInputs& inputs, QWidget* parent)
    : SubmitNowPage(log, inputs, nullptr, nullptr, parent) {}

SubmitNowPage::SubmitNowPage(MessageLog& log, RunInputs& inputs, Browser& browser, const Clock& clock, QWidget* parent)
    : SubmitNowPage(log, inputs, &browser, &clock, parent) {}

SubmitNowPage::SubmitNowPage(MessageLog& log, RunInputs& inputs, Browser* browser, const Clock* clock, QWidget* parent)
    : QGroupBox(parent), m_log(log), m_inputs(inputs), m_clock(clock ? *clock : m_systemClock), m_browser(browser) {
    setObjectName(QStringLiteral("GroupBox4"));
    setFixedSize(381, 313);
    createControls();
    m_forwarding = std::make_unique<ForwardingBrowser>();
    m_forwarding->setProgressHandler(
        [this](qint32 progress, qint32 progressMax) { WebBrowser1ProgressChange(progress, progressMax); });
    m_controller =
        std::make_unique<RunController>(*m_forwarding, m_clock, m_log, static_cast<RunView&>(*this), m_inputs);
    if (m_browser) {
        auto* placeholder = new QWidget(m_browserFrame);
        placeholder->setObjectName(QStringLiteral("WebBrowser1"));
        placeholder->setGeometry(8, 16, 345, 209);
        prepareBrowser();
    }
}

SubmitNowPage::~SubmitNowPage() = default;

bool SubmitNowPage::prepareBrowser() {
    if (m_browserReady)
        return true;
    if (!m_browser) {
        const WebBrowserParts parts = createWebBrowser(m_browserFrame, m_browserError);
        if (!parts.browser)
            return false;
        parts.widget->setObjectName(QStringLiteral("WebBrowser1"));
        parts.widget->setGeometry(8, 16, 345, 209);
        parts.widget->setAccessibleName(QStringLiteral("Web browser"));
        parts.widget->show(); // the frame may be on screen already
        m_browser = parts.browser;
    }
    m_forwarding->setTarget(m_browser);
    m_browserReady = true;
    return true;
}

void SubmitNowPage::showEvent(QShowEvent* event) {
    // Created before the page's first frame, so the view is there when the page appears.
    prepareBrowser();
    QGroupBox::showEvent(event);
}

void SubmitNowPage::createControls() {
    m_submitButton = makeButton(this, QStringLiteral("SpeedButton7"), QStringLiteral("Submit"), 8);
    m_stopButton = makeButton(this, QStringLiteral("SpeedButton8"), QStringLiteral("Stop"), 88);
    m_nextButton = makeButton(this, QStringLiteral("SpeedButton9"), QStringLiteral("Next"), 168);
    m_stopButton->setEnabled(false);
    m_nextButton->setEnabled(false);
    connect(m_submitButton, &QPushButton::clicked, this, &SubmitNowPage::SpeedButton7Click);
    connect(m_stopButton, &QPushButton::clicked, this, &SubmitNowPage::SpeedButton8Click);
    connect(m_nextButton, &QPushButton::clicked, this, &SubmitNowPage::SpeedButton9Click);

    m_browserFrame = new QGroupBox(this);
    m_browserFrame->setObjectName(QStringLiteral("GroupBox5"));
    m_browserFrame->setGeometry(8, 44, 361, 237);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setGeometry(8, 288, 137, 16);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false); // Label21 shows the percentage
    m_progressLabel = makeLabel(this, QStringLiteral("Label21"), QStringLiteral("0 %"), 152, 288);

    makeLabel(this, QStringLiteral("Label29"), QStringLiteral("Time :"), 256, 288);
    m_hoursLabel = makeLabel(this, QStringLiteral("Label24"), QStringLiteral("00"), 304, 288);
    makeLabel(this, QStringLiteral("Label25"), QStringLiteral(":"), 320, 288);
    m_minutesLabel = makeLabel(this, QStringLiteral("Label26"), QStringLiteral("00"), 328, 288);
    makeLabel(this, QStringLiteral("Label27"), QStringLiteral(":"), 344, 288);
    m_secondsLabel = makeLabel(this, QStringLiteral("Label28"), QStringLiteral("00"), 352, 288);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(1000);
    m_timer->setTimerType(Qt::PreciseTimer); // the tick paces the run: one engine per tick at most
    connect(m_timer, &QTimer::timeout, this, &SubmitNowPage::Timer1Timer);
}

void SubmitNowPage::setTickInterval(int milliseconds) {
    m_timer->setInterval(milliseconds);
}

void SubmitNowPage::setPageTimeLimit(quint32 milliseconds) {
    m_controller->setPageTimeLimit(milliseconds);
}

void SubmitNowPage::setKeyFileFetcher(Fetcher* fetcher) {
    m_controller->setKeyFileFetcher(fetcher);
}

void SubmitNowPage::SpeedButton7Click() {
    // Without a browser nothing can be sent: say why, and leave everything as it is.
    if (!prepareBrowser()) {
        showErrorReport(this, m_browserError);
        return;
    }
    m_controller->submit();
}

void SubmitNowPage::submitFailedAgain() {
    if (!prepareBrowser()) {
        showErrorReport(this, m_browserError);
        return;
    }
    m_controller->submitFailedAgain();
}

void SubmitNowPage::submitEngines(const QStringList& titles) {
    if (!prepareBrowser()) {
        showErrorReport(this, m_browserError);
        return;
    }
    m_controller->submitEngines(titles);
}

void SubmitNowPage::setJournal(RunJournal* journal) {
    m_controller->setJournal(journal);
}

void SubmitNowPage::SpeedButton8Click() {
    m_controller->stop();
}

void SubmitNowPage::SpeedButton9Click() {
    m_controller->next();
}

void SubmitNowPage::Timer1Timer() {
    m_controller->tick();
}

void SubmitNowPage::WebBrowser1ProgressChange(qint32 progress, qint32 progressMax) {
    m_controller->progressChange(progress, progressMax);
}

void SubmitNowPage::setSubmitEnabled(bool enabled) {
    m_submitButton->setEnabled(enabled);
}

void SubmitNowPage::setStopEnabled(bool enabled) {
    m_stopButton->setEnabled(enabled);
}

void SubmitNowPage::setNextEnabled(bool enabled) {
    m_nextButton->setEnabled(enabled);
}

void SubmitNowPage::setPageButtonsEnabled(bool enabled) {
    emit pageButtonsEnabledChanged(enabled);
}

void SubmitNowPage::setTimerActive(bool active) {
    if (active)
        m_timer->start();
    else
        m_timer->stop();
}

void SubmitNowPage::showElapsedTime(const QString& hours, const QString& minutes, const QString& seconds) {
    setLabelText(m_hoursLabel, hours);
    setLabelText(m_minutesLabel, minutes);
    setLabelText(m_secondsLabel, seconds);
}

void SubmitNowPage::setProgressPosition(int position) {
    m_progressBar->setValue(position);
}

int SubmitNowPage::progressPosition() const {
    return m_progressBar->value();
}

void SubmitNowPage::setProgressLabel(const QString& text) {
    setLabelText(m_progressLabel, text);
}

void SubmitNowPage::showResult(int index) {
    emit resultsChanged(index);
}
