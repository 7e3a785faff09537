#pragma once

#include "platform/network_failure.h"

#include <QString>
#include <functional>
#include <utility>

// What the finished page answered, beyond its title: what a result record explains.
struct PageAnswer {
    // The most of the page's visible text that is kept.
    static constexpr int kTextLimit = 500;

    int httpStatus = 0;                            // the main frame's HTTP status; 0 when none arrived
    NetworkFailure failure = NetworkFailure::None; // why no HTTP answer arrived
    QString errorText;                             // the network error's own text, with failure
    QString text;                                  // the page's visible text, at most kTextLimit characters
};

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
    // The status, network error and visible text of the last finished load; like
    // locationName(), meaningless while busy.
    virtual PageAnswer answer() const = 0;

    // Sets who hears the progress events (one listener; an empty handler stops them).
    void setProgressHandler(ProgressHandler handler) { m_progressHandler = std::move(handler); }
    // Sets who hears that a load has finished, at the moment busy() turns false, so that the
    // page's own time is known whenever it is asked for (one listener; empty: none). Not called
    // for stop().
    void setFinishedHandler(std::function<void()> handler) { m_finishedHandler = std::move(handler); }

protected:
    void reportProgress(qint32 progress, qint32 progressMax) const {
        if (m_progressHandler)
            m_progressHandler(progress, progressMax);
    }
    void reportFinished() const {
        if (m_finishedHandler)
            m_finishedHandler();
    }

private:
    ProgressHandler m_progressHandler;
    std::function<void()> m_finishedHandler;
};
