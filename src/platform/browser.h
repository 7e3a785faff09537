#pragma once

#include <QString>
#include <functional>
#include <utility>

// The embedded web browser as the run controller sees it. Every call returns at once; loading
// goes on in the background on the user-interface thread.
//
// One load at a time: navigate() starts it, and from that moment busy() is true until the page
// is finished (loaded, failed or stopped). Only then do locationName() and loadFailed()
// describe the new page; while busy they are meaningless.
class Browser {
public:
    // progress: how much of the page has arrived, in units of progressMax; −1 once the page
    // is complete. progressMax: the total, 0 when unknown.
    using ProgressHandler = std::function<void(qint32 progress, qint32 progressMax)>;

    virtual ~Browser() = default;

    // Loads url, the request URL exactly as it was built (a plain GET, nothing re-encoded).
    // The loaded page replaces the one on display. A URL that cannot be loaded ends at once
    // as a failed load.
    virtual void navigate(const QString& url) = 0;
    // Cancels the load in progress, if any; busy() is false afterwards.
    virtual void stop() = 0;
    // True from navigate() until the page is finished.
    virtual bool busy() const = 0;
    // The name of the page on display: for an HTML page its title, otherwise empty.
    virtual QString locationName() const = 0;
    // True when the last finished load failed: a network error, or an HTTP status of 400 or more.
    virtual bool loadFailed() const = 0;

    // Sets who hears the progress events (one listener; an empty handler stops them).
    void setProgressHandler(ProgressHandler handler) { m_progressHandler = std::move(handler); }

protected:
    void reportProgress(qint32 progress, qint32 progressMax) const {
        if (m_progressHandler)
            m_progressHandler(progress, progressMax);
    }

private:
    ProgressHandler m_progressHandler;
};
