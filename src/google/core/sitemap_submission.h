#pragma once

#include "submit/core/result_record.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class SearchConsoleClient;

// A sitemap an announcement read, as Google may be told of it.
struct ReadSitemap {
    QString location;       // the web address as fetched, or the local file's absolute path
    bool localFile = false; // read from this computer
};

// The Google step of an announcement: each sitemap read by URL from a host of the property is
// submitted to Search Console (one PUT) and its state read back a few seconds later; one record
// per sitemap, in the order given (each as soon as it and those before it are answered). A
// sitemap read from a local file, or from a host outside the property, is recorded SKIPPED with
// why, without asking Google. The records are not batches (batchSize 0): nothing of them is sent
// again by "Submit Failed Again".
class SitemapSubmission final : public QObject {
public:
    using Recorded = std::function<void(const ResultRecord& record)>;

    // client must outlive the submission, or its end stops the submission (records SKIPPED).
    SitemapSubmission(SearchConsoleClient& client, const QString& property, QObject* parent = nullptr);

    void setReadBackDelay(int milliseconds) { m_readBackDelayMs = milliseconds; }
    // Submits sitemaps (each address once); recorded for each record, then finished.
    void start(const QList<ReadSitemap>& sitemaps, Recorded recorded, std::function<void()> finished);
    // Stops: the sitemaps not answered yet are recorded SKIPPED, then finished is called.
    void cancel();
    bool running() const { return m_next < m_records.size(); }

    // The SKIPPED record of a sitemap that is not submitted to property, with why; a record
    // without a title when the sitemap is one to submit.
    static ResultRecord notSubmitted(const QString& property, const ReadSitemap& sitemap);

private:
    void answered(int index, const ResultRecord& record);
    void flush();

    QPointer<SearchConsoleClient> m_client;
    QString m_property;
    int m_readBackDelayMs;
    Recorded m_recorded;
    std::function<void()> m_finished;
    QStringList m_locations;       // of each sitemap
    QList<ResultRecord> m_records; // one per sitemap; a title once answered
    qsizetype m_next = 0;          // the first record not handed on yet
    quint64 m_generation = 0;
};
