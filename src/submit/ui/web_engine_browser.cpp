#include "submit/ui/web_engine_browser.h"

#include <QEvent>
#include <QTimer>
#include <QUrl>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <signal.h>
#include <utility>

namespace {

// A page that never opens anything modal or outside the view: a dialog would stop the run
// until someone answers it.
class QuietWebPage final : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
};

// A renderer that has not answered for this long while its page loads is taken to be held by a
// script that never ends; it is asked four times a second.
constexpr qint64 kRendererSilenceLimitMs = 1000;
constexpr int kRendererProbeIntervalMs = 250;
// How long a navigation waits for an ended renderer to be reported gone before loading anyway.
constexpr int kRendererReplacementLimitMs = 2000;

bool isLoadableUrl(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https"));
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWidget* parent)
    : QWebEngineView(parent), m_profile(new QWebEngineProfile(this)), // no storage name: off the record
      m_page(new QuietWebPage(m_profile, this)), m_rendererProbe(new QTimer(this)),
      m_rendererReplacement(new QTimer(this)) {
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });

    QWebEngineSettings* settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    // No icon requests: an engine sees exactly one request per submission.
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::TouchIconsEnabled, false);

    setPage(m_page);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(m_page, &QWebEnginePage::loadProgress, this, [this](int percent) { reportProgress(percent, 100); });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, &WebEngineBrowser::onRendererGone);

    m_rendererProbe->setInterval(kRendererProbeIntervalMs);
    connect(m_rendererProbe, &QTimer::timeout, this, &WebEngineBrowser::probeRenderer);
    m_rendererReplacement->setSingleShot(true);
    m_rendererReplacement->setInterval(kRendererReplacementLimitMs);
    connect(m_rendererReplacement, &QTimer::timeout, this, &WebEngineBrowser::resumeAfterRendererEnded);
    m_rendererAnswered.start();

    setFocusPolicy(Qt::ClickFocus);
    keepOutOfTabChain();
}

WebEngineBrowser::~WebEngineBrowser() {
    // The page must go before its profile; title answers still under way are dropped.
    ++m_loadNumber;
    m_state = State::Idle;
    delete m_page;
}

void WebEngineBrowser::navigate(const QString& url) {
    ++m_loadNumber;
    m_title.clear();
    m_failed = false;
    const QUrl target = QUrl::fromEncoded(url.toUtf8(), QUrl::TolerantMode);
    if (!isLoadableUrl(target)) {
        m_state = State::Idle;
        m_failed = true;
        return;
    }
    m_rendererAnswered.start(); // the renderer's silence is counted from here
    if (m_rendererReplacement->isActive()) {
        m_pendingUrl = target;
        m_state = State::AwaitingRenderer;
        return;
    }
    startLoad(target);
}

void WebEngineBrowser::startLoad(const QUrl& url) {
    m_state = State::AwaitingStart;
    m_rendererProbe->start();
    load(url);
}

void WebEngineBrowser::stop() {
    const bool abandoned =
        m_state == State::AwaitingStart || m_state == State::Loading || m_state == State::ReadingTitle;
    ++m_loadNumber;
    m_state = State::Idle;
    m_pendingUrl.clear();
    m_rendererProbe->stop();
    m_page->triggerAction(QWebEnginePage::Stop);
    if (abandoned && m_rendererAnswered.elapsed() >= kRendererSilenceLimitMs)
        endHungRenderer();
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    keepOutOfTabChain();
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        ++m_loadNumber;
        m_title.clear();
        m_failed = false;
        m_state = State::Loading;
        return;
    }
    // Ends of loads that began before the current navigate(), or after stop(), are not ours.
    if (m_state != State::Loading)
        return;
    if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus) {
        // Stopped by the engine, not by stop(): the answer was a download, had no content, or
        // the page stopped itself. No finished page stands, and the title on display may be
        // the previous page's.
        m_title.clear();
        endLoad(true);
        return;
    }
    m_failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus ||
               (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400);
    readTitle();
}

void WebEngineBrowser::readTitle() {
    // The view's own title() falls back to the page's address when the page declares none;
    // document.title is what the page itself says. It is read in a world of its own, so the
    // page's scripts cannot disguise it.
    m_state = State::ReadingTitle;
    const quint64 load = m_loadNumber;
    m_page->runJavaScript(QStringLiteral("document.title"), QWebEngineScript::ApplicationWorld,
                          [this, load](const QVariant& title) {
                              if (load != m_loadNumber || m_state != State::ReadingTitle)
                                  return;
                              m_title = title.toString();
                              endLoad(m_failed);
                          });
}

void WebEngineBrowser::endLoad(bool failed) {
    ++m_loadNumber;
    m_failed = failed;
    m_state = State::Idle;
    m_rendererProbe->stop();
    reportProgress(-1, 100);
}

void WebEngineBrowser::probeRenderer() {
    // Answered by the renderer of the page on display, once its main thread is free.
    m_page->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                          [this](const QVariant&) { m_rendererAnswered.start(); });
}

void WebEngineBrowser::endHungRenderer() {
    const qint64 pid = m_page->renderProcessPid();
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), SIGKILL) != 0)
        return;
    m_rendererEnded = true;
    m_rendererReplacement->start();
}

void WebEngineBrowser::onRendererGone() {
    if (m_rendererEnded) {
        m_rendererEnded = false;
        resumeAfterRendererEnded();
        return;
    }
    if (busy())
        endLoad(true); // the renderer crashed during the load
}

void WebEngineBrowser::resumeAfterRendererEnded() {
    m_rendererReplacement->stop();
    if (m_state == State::AwaitingRenderer)
        startLoad(std::exchange(m_pendingUrl, {}));
}

bool WebEngineBrowser::event(QEvent* event) {
    // The view renders through a child widget that it makes its focus proxy, and it may
    // replace that child on any navigation; each new one is taken out of the Tab chain.
    if (event->type() == QEvent::ChildPolished || event->type() == QEvent::ChildAdded)
        keepOutOfTabChain();
    return QWebEngineView::event(event);
}

void WebEngineBrowser::keepOutOfTabChain() {
    QList<QWidget*> widgets = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    if (QWidget* proxy = focusProxy())
        widgets.append(proxy);
    for (QWidget* widget : std::as_const(widgets)) {
        if (widget->focusPolicy() & Qt::TabFocus)
            widget->setFocusPolicy(Qt::ClickFocus);
    }
}
