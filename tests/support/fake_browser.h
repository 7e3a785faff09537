#pragma once

#include "platform/browser.h"

#include <QStringList>
#include <utility>

// A browser whose pages finish when the test says so. navigate() records the URL and makes
// the browser busy; finish() ends the load with a title and an outcome.
class FakeBrowser final : public Browser {
public:
    void navigate(const QString& url) override {
        navigations.append(url);
        isBusy = true;
        title.clear();
        failed = false;
        pageAnswer = {};
    }
    void stop() override {
        ++stopCount;
        isBusy = false;
    }
    bool busy() const override { return isBusy; }
    QString locationName() const override { return title; }
    bool loadFailed() const override { return failed; }
    PageAnswer answer() const override { return pageAnswer; }

    void finish(const QString& pageTitle, bool loadFailed = false, PageAnswer answer = {}) {
        isBusy = false;
        title = pageTitle;
        failed = loadFailed;
        pageAnswer = std::move(answer);
        reportFinished();
    }
    void progress(qint32 progress, qint32 progressMax) const { reportProgress(progress, progressMax); }

    QStringList navigations;
    int stopCount = 0;
    bool isBusy = false;
    QString title;
    bool failed = false;
    PageAnswer pageAnswer;
};
