#pragma once

#include "platform/browser.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QWebEngineView>

class QTimer;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class SubmissionPage;

// The embedded browser of the Submit Now page: a web view that implements Browser.
//
// - navigate() loads the URL exactly as built: QUrl keeps every "%XX" sequence as it is, except
//   that it writes escaped unreserved characters ("%41", "%7E") plainly ("A", "~"), which means
//   the same to every server. Only http and https URLs are loaded; any other URL (including an
//   empty or relative one) ends at once as a failed load.
// - Every navigation gets a web page of its own: the page that showed the previous engine is
//   closed first (its renderer ended if it no longer answers). Nothing the old page does — a
//   leave-page handler, a load that never ends, a script that runs forever — can reach the new
//   navigation, and every event the browser hears belongs to the navigation under way.
// - busy() is true from navigate() until the main frame's load has ended and the page's title
//   and text have been read. Server redirects are followed, and so is a page that moves on by
//   itself while it is still loading; once the first load has ended the page may not navigate
//   again (a refresh, a script, a reload), refused before a request leaves: one navigation sends
//   its request once.
// - locationName() is the title the page itself declares (document.title: for HTML its
//   <title>); empty for a page without one (a plain-text or empty answer), never the address
//   the view would show in its place. Empty while a load is in progress.
// - loadFailed() is true for a network error (TLS certificate errors are never overridden) and
//   for an HTTP status of 400 or more; an authentication challenge is declined at once, so it
//   ends as its 401 answer. An answer the engine shows no page for — one without content
//   (HTTP 204 or 205) or a file to download (refused) — is a success: the engine only turns
//   2xx answers into those.
// - answer() tells the HTTP status, the kind and text of a network error, and the first
//   PageAnswer::kTextLimit characters of the page's visible text (none for the engine's own
//   error page). The engine does not tell the status of an answer without a page: it is
//   given as 204, or 200 for a download.
// - stop() also keeps the page where it is: a judged page sends nothing more.
// - Progress events are the view's load percentage (progress of 100), then −1 once finished.
//
// The page cannot stall or harm a run: JavaScript alert, confirm and prompt show nothing, no
// new windows open, file choosers and downloads are refused, local files cannot be read, and
// the profile is off the record. While a page is on display the browser checks four times a
// second that its renderer still answers. The view takes focus by click but is skipped by the
// Tab key.
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
        Loading,          // the main frame is loading
        ReadingTitle,     // the load has ended; waiting for the page's title
        ReadingText,      // the title is read; waiting for the page's visible text
        AwaitingDownload, // the load stopped without a page; a download may still be announced
    };

    void replacePage();
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void readTitle();
    void readText();
    void endLoad(bool failed);
    void probeRenderer();
    void keepOutOfTabChain();

    QWebEngineProfile* m_profile;
    SubmissionPage* m_page = nullptr;
    QObject* m_pageListener = nullptr; // holds this browser's connections to the page
    bool m_pageUsed = false;           // the page on display has been given a navigation
    State m_state = State::Idle;
    bool m_failed = false;
    bool m_answerHasText = false; // the page on display is the engine's answer, not an error page
    QString m_title;
    PageAnswer m_answer;
    quint64 m_loadNumber = 0; // answers about an earlier load carry an older number

    quint64 m_pageNumber = 0; // answers about an earlier page carry an older number

    QTimer* m_rendererProbe;          // while a page is on display: asks its renderer for a sign of life
    bool m_probePending = false;      // a question to the renderer is still unanswered
    QTimer* m_downloadWait;           // State::AwaitingDownload: the longest wait
    QElapsedTimer m_rendererAnswered; // since the last sign of life (or the page's first load)
};
