#include "submit/ui/web_engine_browser.h"

#include <QEvent>
#include <QUrl>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>

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

bool isLoadableUrl(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https"));
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWidget* parent)
    : QWebEngineView(parent), m_profile(new QWebEngineProfile(this)), // no storage name: off the record
      m_page(new QuietWebPage(m_profile, this)) {
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
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, [this] {
        if (busy())
            endLoad(true);
    });

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
    m_state = State::AwaitingStart;
    load(target);
}

void WebEngineBrowser::stop() {
    ++m_loadNumber;
    m_state = State::Idle;
    m_page->triggerAction(QWebEnginePage::Stop);
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
    reportProgress(-1, 100);
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
