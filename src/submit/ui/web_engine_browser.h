#pragma once

#include "platform/browser.h"

#include <QWebEngineView>

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
// - loadFailed() is true for a network error and for an HTTP status of 400 or more.
// - Progress events are the view's load percentage (progress of 100), then −1 once finished.
//
// The page cannot stall or harm a run: JavaScript alert, confirm and prompt show nothing, no
// new windows open, file choosers and downloads are refused, local files cannot be read, and
// the profile is off the record (nothing is written to disk). The view takes focus by click
// but is skipped by the Tab key.
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

protected:
    bool event(QEvent* event) override;

private:
    enum class State {
        Idle,          // nothing in progress
        AwaitingStart, // navigate() was called; events of an earlier load are ignored
        Loading,       // the main frame is loading
        ReadingTitle,  // the load has ended; waiting for the page's title
    };

    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void readTitle();
    void endLoad(bool failed);
    void keepOutOfTabChain();

    QWebEngineProfile* m_profile;
    QWebEnginePage* m_page;
    State m_state = State::Idle;
    bool m_failed = false;
    QString m_title;
    quint64 m_loadNumber = 0; // answers about an earlier load carry an older number
};
