#pragma once

#include "platform/browser.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QWebEngineView>

class QTimer;
class QWebEngineLoadingInfo;
class QWebEngineProfile;

// The embedded browser of the Submit Now page: a web view that implements Browser.
//
// - navigate() loads the URL exactly as built: QUrl keeps every "%XX" sequence as it is, except
//   that it writes escaped unreserved characters ("%41", "%7E") plainly ("A", "~"), which means
//   the same to every server. Only http and https URLs are loaded; any other URL (including an
//   empty or relative one) ends at once as a failed load.
// - busy() is true from navigate() until the main frame's load has ended and the page's title
//   has been read. Loads the page starts by itself (a redirect by script or meta refresh) count
//   as well, so the verdict belongs to the page that stays on display.
// - locationName() is the title the page itself declares (document.title: for HTML its
//   <title>); empty for a page without one (a plain-text or empty answer), never the address
//   the view would show in its place. Empty while a load is in progress.
// - loadFailed() is true for a network error and for an HTTP status of 400 or more. It is also
//   true for a load that ends without a page of its own: an answer that is a file to download
//   (which is refused), an answer without content (HTTP 204), a page that stops its own load.
//   The page on display is then still the one before, so its title is not reported either.
// - Progress events are the view's load percentage (progress of 100), then −1 once finished.
//
// The page cannot stall or harm a run: JavaScript alert, confirm and prompt show nothing, no
// new windows open, file choosers and downloads are refused, local files cannot be read, and
// the profile is off the record (nothing is written to disk). A script that never ends (an
// alert loop) holds the page's renderer process, and every later page of the same site would
// wait for it: while busy, the browser checks every quarter second that the renderer still
// answers, and when stop() abandons a load whose renderer has not answered for a second, that
// process is ended. The next navigate() then waits (busy) until the engine reports it gone and
// loads in a new one. The view takes focus by click but is skipped by the Tab key.
class WebEngineBrowser final : public QWebEngineView, public Browser {
    Q_OBJECT

public:
    explicit WebEngineBrowser(QWidget* parent = nullptr);
    ~WebEngineBrowser() override;

    void navigate(const QString& url) override;
    // Hides QWebEngineView::stop(): stopping also ends this browser's own record of the load.
    void stop() override;
    bool busy() const override { return m_state != State::Idle; }
    QString locationName() const override { return m_title; }
    bool loadFailed() const override { return m_failed; }
    PageAnswer answer() const override { return m_answer; }

protected:
    bool event(QEvent* event) override;

private:
    enum class State {
        Idle,             // nothing in progress
        AwaitingRenderer, // navigate() was called while an ended renderer is being replaced
        AwaitingStart,    // the load was started; events of an earlier load are ignored
        Loading,          // the main frame is loading
        ReadingTitle,     // the load has ended; waiting for the page's title
    };

    void startLoad(const QUrl& url);
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void readTitle();
    void endLoad(bool failed);
    void probeRenderer();
    void endHungRenderer();
    void onRendererGone();
    void resumeAfterRendererEnded();
    void keepOutOfTabChain();

    QWebEngineProfile* m_profile;
    QWebEnginePage* m_page;
    State m_state = State::Idle;
    bool m_failed = false;
    QString m_title;
    PageAnswer m_answer;
    quint64 m_loadNumber = 0; // answers about an earlier load carry an older number
    QUrl m_pendingUrl;        // the load waiting for a new renderer (State::AwaitingRenderer)

    QTimer* m_rendererProbe;          // while busy: asks the renderer for a sign of life
    QElapsedTimer m_rendererAnswered; // since the last sign of life (or navigate())
    QTimer* m_rendererReplacement;    // while a new renderer is awaited: the longest wait
    bool m_rendererEnded = false;     // a renderer ended here is not yet reported gone
};
