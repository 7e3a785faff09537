#include "submit/ui/web_engine_browser.h"

#include <QAuthenticator>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <signal.h>
#include <utility>

// The page one navigation is shown in. It never opens anything modal or outside the view (a
// dialog would stop the run until someone answers it), declines every request for a password
// and every certificate the engine does not trust, and once held it navigates no more.
class SubmissionPage final : public QWebEnginePage {
public:
    SubmissionPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
        QWebEngineSettings* pageSettings = settings();
        pageSettings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        pageSettings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
        pageSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        pageSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        pageSettings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
        // No icon requests: an engine sees exactly one request per submission.
        pageSettings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
        pageSettings->setAttribute(QWebEngineSettings::TouchIconsEnabled, false);

        // Once a document's load has ended it may not navigate again: a refresh or a script
        // navigation is cancelled in the page itself, before a request is made. The engine tells
        // this process of the load's end only after the document has already run its load
        // handlers, so hold() alone would come too late for a page that moves on at once (a
        // refresh of 0 seconds, a script started from its load event). A navigation while the
        // document is still loading (a script in its head) is followed. The script runs in a
        // world of its own, out of the page scripts' reach, and is in place before any of them.
        QWebEngineScript guard;
        guard.setName(QStringLiteral("navigation-guard"));
        guard.setInjectionPoint(QWebEngineScript::DocumentCreation);
        guard.setWorldId(QWebEngineScript::ApplicationWorld);
        guard.setRunsOnSubFrames(false);
        guard.setSourceCode(QStringLiteral("addEventListener('load', () => {"
                                           "  window.navigation?.addEventListener('navigate', event => {"
                                           "    if (event.cancelable) event.preventDefault();"
                                           "  });"
                                           "}, {capture: true, once: true});"));
        scripts().insert(guard);

        // An empty authenticator cancels the challenge; the load ends with the server's answer.
        connect(this, &QWebEnginePage::authenticationRequired, this,
                [](const QUrl&, QAuthenticator* authenticator) { *authenticator = QAuthenticator(); });
        connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
                [](const QUrl&, QAuthenticator* authenticator, const QString&) { *authenticator = QAuthenticator(); });
        connect(this, &QWebEnginePage::certificateError, this,
                [](QWebEngineCertificateError error) { error.rejectCertificate(); });
    }

    // From now on the page stays where it is: no refresh, reload or script navigation.
    void hold() { m_held = true; }

protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    bool acceptNavigationRequest(const QUrl&, NavigationType, bool) override { return !m_held; }

private:
    bool m_held = false;
};

namespace {

// A renderer that has not answered for this long is taken to be held by a script that never
// ends; it is asked four times a second.
constexpr qint64 kRendererSilenceLimitMs = 1000;
constexpr int kRendererProbeIntervalMs = 250;
// How long an answer without a page of its own is given to turn out a download.
constexpr int kDownloadWaitMs = 1000;

bool isLoadableUrl(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https"));
}

// Sorts the engine's network error codes (negative; net/base/net_error_list.h) into kinds.
NetworkFailure failureKind(const QWebEngineLoadingInfo& info) {
    switch (info.errorDomain()) {
    case QWebEngineLoadingInfo::CertificateErrorDomain:
        return NetworkFailure::Tls;
    case QWebEngineLoadingInfo::DnsErrorDomain:
        return NetworkFailure::HostNotFound;
    default:
        break;
    }
    switch (info.errorCode()) {
    case -105: // NAME_NOT_RESOLVED
    case -137: // NAME_RESOLUTION_FAILED
        return NetworkFailure::HostNotFound;
    case -102: // CONNECTION_REFUSED
        return NetworkFailure::ConnectionRefused;
    case -107: // SSL_PROTOCOL_ERROR
    case -110: // SSL_CLIENT_AUTH_CERT_NEEDED
    case -113: // SSL_VERSION_OR_CIPHER_MISMATCH
    case -117: // BAD_SSL_CLIENT_AUTH_CERT
    case -123: // SSL_NO_RENEGOTIATION
    case -126: // SSL_BAD_RECORD_MAC_ALERT
    case -129: // SSL_WEAK_SERVER_EPHEMERAL_DH_KEY
    case -134: // SSL_PINNED_KEY_NOT_IN_CERT_CHAIN
    case -135: // SSL_BAD_PEER_PUBLIC_KEY
    case -141: // SSL_DECRYPT_ERROR_ALERT
        return NetworkFailure::Tls;
    default:
        return NetworkFailure::Other;
    }
}

// At most limit UTF-16 units, never ending in half a surrogate pair.
QString cutText(const QString& text, int limit) {
    QString cut = text.left(limit);
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWidget* parent)
    : QWebEngineView(parent), m_profile(new QWebEngineProfile(this)), // no storage name: off the record
      m_rendererProbe(new QTimer(this)), m_downloadWait(new QTimer(this)) {
    connect(m_profile, &QWebEngineProfile::downloadRequested, this, [this](QWebEngineDownloadRequest* download) {
        download->cancel();
        if (download->page() == m_page && m_state == State::AwaitingDownload) {
            m_answer.httpStatus = 200;
            endLoad(false);
        }
    });
    m_downloadWait->setSingleShot(true);
    m_downloadWait->setInterval(kDownloadWaitMs);
    connect(m_downloadWait, &QTimer::timeout, this, [this] {
        if (m_state == State::AwaitingDownload)
            endLoad(false);
    });
    m_rendererProbe->setInterval(kRendererProbeIntervalMs);
    connect(m_rendererProbe, &QTimer::timeout, this, &WebEngineBrowser::probeRenderer);
    m_rendererAnswered.start();

    replacePage();
    setFocusPolicy(Qt::ClickFocus);
    keepOutOfTabChain();
}

WebEngineBrowser::~WebEngineBrowser() {
    // The page must go before its profile; answers still under way are dropped.
    ++m_loadNumber;
    ++m_pageNumber;
    m_state = State::Idle;
    delete m_pageListener;
    delete m_page;
}

void WebEngineBrowser::replacePage() {
    SubmissionPage* old = m_page;
    delete m_pageListener; // nothing the old page does reaches this browser any more
    m_pageListener = new QObject(this);
    if (old) {
        // A renderer that no longer answers may never end by itself; the page's own end would
        // only ask it to.
        const qint64 pid = old->renderProcessPid();
        if (m_pageUsed && pid > 0 && m_rendererAnswered.elapsed() >= kRendererSilenceLimitMs)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    ++m_pageNumber;
    m_probePending = false;
    m_page = new SubmissionPage(m_profile, this);
    m_pageUsed = false;
    connect(m_page, &QWebEnginePage::loadingChanged, m_pageListener,
            [this](const QWebEngineLoadingInfo& info) { onLoadingChanged(info); });
    connect(m_page, &QWebEnginePage::loadProgress, m_pageListener, [this](int percent) {
        if (m_state == State::Loading)
            reportProgress(percent, 100);
    });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, m_pageListener, [this] {
        if (!busy())
            return;
        m_answer.failure = NetworkFailure::Other;
        m_answer.errorText = QStringLiteral("The page's renderer ended");
        endLoad(true);
    });
    const QPointer<SubmissionPage> closing = old;
    setPage(m_page); // deletes the view's own page; closing it ends its renderer
    delete closing.data();
}

void WebEngineBrowser::navigate(const QString& url) {
    ++m_loadNumber;
    m_title.clear();
    m_failed = false;
    m_answer = {};
    const QUrl target = QUrl::fromEncoded(url.toUtf8(), QUrl::TolerantMode);
    if (!isLoadableUrl(target)) {
        m_state = State::Idle;
        m_failed = true;
        m_answer.failure = NetworkFailure::Other;
        m_answer.errorText = QStringLiteral("Not an http or https address");
        return;
    }
    if (m_pageUsed)
        replacePage();
    m_pageUsed = true;
    m_state = State::Loading;
    m_rendererAnswered.start(); // the renderer's silence is counted from here
    m_rendererProbe->start();
    m_page->load(target);
}

void WebEngineBrowser::stop() {
    ++m_loadNumber;
    m_state = State::Idle;
    m_page->hold(); // judged: the page may send nothing more
    m_page->triggerAction(QWebEnginePage::Stop);
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    keepOutOfTabChain();
    // The page belongs to this navigation alone; what follows its first end, or stop(), is
    // not judged.
    if (m_state != State::Loading || info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
        return;
    m_page->hold(); // the engine has answered: the page may not send the request again
    if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus) {
        // Stopped by the engine, not by stop(): the answer had no page to show, either no
        // content (204, 205) or a file to download; the engine does so only for 2xx answers
        // (other answers offered as files fail). A download is announced just after the stop.
        // The page on display is the empty page the navigation began on.
        m_answer.httpStatus = 204;
        m_state = State::AwaitingDownload;
        m_downloadWait->start();
        return;
    }
    const bool httpAnswer = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
    m_answer.httpStatus = httpAnswer ? info.errorCode() : 0;
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && !httpAnswer) {
        m_answer.failure = failureKind(info);
        m_answer.errorText = info.errorString();
    }
    m_failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus || (httpAnswer && info.errorCode() >= 400);
    m_answerHasText = httpAnswer && !info.isErrorPage(); // not the engine's own error page
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
                              readText();
                          });
}

void WebEngineBrowser::readText() {
    // Only the engine's own answer has text worth keeping, not the error page shown in its place.
    if (!m_answerHasText) {
        endLoad(m_failed);
        return;
    }
    m_state = State::ReadingText;
    const quint64 load = m_loadNumber;
    m_page->toPlainText([this, load](const QString& text) {
        if (load != m_loadNumber || m_state != State::ReadingText)
            return;
        m_answer.text = cutText(text, PageAnswer::kTextLimit);
        endLoad(m_failed);
    });
}

void WebEngineBrowser::endLoad(bool failed) {
    ++m_loadNumber;
    m_downloadWait->stop();
    m_failed = failed;
    m_state = State::Idle;
    reportFinished();
    reportProgress(-1, 100);
}

void WebEngineBrowser::probeRenderer() {
    // Answered by the renderer of the page on display once its main thread is free; one
    // question at a time, so that a renderer that never answers does not gather them.
    if (m_probePending)
        return;
    m_probePending = true;
    const quint64 page = m_pageNumber;
    m_page->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld, [this, page](const QVariant&) {
        if (page != m_pageNumber)
            return;
        m_probePending = false;
        m_rendererAnswered.start();
    });
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
