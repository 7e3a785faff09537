#pragma once

#include "announce/core/sitemap_reader.h"
#include "net/core/fetcher.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

// How a sitemap, an address list or robots.txt is fetched: limited by time without progress
// (15 s without a byte) and 10 minutes in all, so that a large file on a slow line still
// arrives, and by the size and compression limits of one file.
FetchRequest sitemapFetchRequest(const QUrl& url, const SitemapLimits& limits = {});

// Fetches a sitemap through the fetcher and, for an index, its child sitemaps (one at a time,
// at most limits.maxDepth index levels below the first, limits.maxChildSitemaps children and
// limits.maxTotalBytes in all, each address once), collecting their addresses. Every file that could not be read
// whole, and every limit reached, leaves one line in messages(); what was read is kept.
class SitemapGatherer : public QObject {
    Q_OBJECT

public:
    // The fetcher must outlive the gatherer.
    explicit SitemapGatherer(Fetcher& fetcher, const SitemapLimits& limits = {}, QObject* parent = nullptr);

    // Starts from one sitemap (or robots.txt-listed sitemap) address; ignored while busy.
    // addressBudget: how many addresses may still be taken (−1: limits.maxAddresses).
    void start(const QUrl& sitemap, qsizetype addressBudget = -1);
    void cancel();
    bool busy() const { return m_busy; }

    const QList<SitemapEntry>& pages() const { return m_pages; }
    const QStringList& messages() const { return m_messages; }
    int sitemapsRead() const { return m_read; }

signals:
    // read of known sitemaps fetched so far; addresses taken so far.
    void progress(int read, int known, qsizetype addresses);
    void finished();

private:
    void fetchNext();
    void received(const QUrl& url, int depth, const FetchReply& reply);

    Fetcher& m_fetcher;
    SitemapLimits m_limits;
    bool m_busy = false;
    QList<QPair<QUrl, int>> m_queue; // address and index depth, in order of discovery
    qsizetype m_next = 0;
    QSet<QString> m_known;
    int m_children = 0;
    int m_read = 0;
    qint64 m_bytes = 0; // read so far, uncompressed
    qsizetype m_budget = 0;
    Fetcher::RequestId m_fetchId = 0;
    QList<SitemapEntry> m_pages;
    QStringList m_messages;
};
