#include "announce/core/announce_job.h"

#include "announce/core/announce_texts.h"
#include "google/core/search_console_client.h"
#include "history/core/history_store.h"

using namespace Qt::StringLiterals;

// The Google half of AnnounceJob: once the IndexNow requests are answered, the sitemaps the
// gathering read are submitted to Search Console, one record each after the batches' records.

void AnnounceJob::setGoogle(SearchConsoleClient* client, const QString& property, int readBackDelayMs) {
    m_googleClient = client;
    m_googleProperty = client ? property : QString();
    m_googleReadBackDelayMs = readBackDelayMs;
}

bool AnnounceJob::submitToGoogle() {
    if (m_googleRun && m_googleRun->running()) {
        if (m_cancelled)
            m_googleRun->cancel(); // its end finishes the announcement
        return true;
    }
    const bool due = m_googleDue && !m_cancelled && m_googleClient && !m_googleProperty.isEmpty();
    m_googleDue = false;
    if (!due)
        return false;
    if (m_readSitemaps.isEmpty()) {
        say(u"No sitemap was read by its web address: Google Search Console was told of none (it takes sitemaps, "
            u"not lists of pages)."_s,
            false);
        return false;
    }
    say(u"Submitting to Google Search Console for %1 the sitemaps read by their web address (%2 read)."_s.arg(
            m_googleProperty, countedText(m_readSitemaps.size(), u"sitemap", u"sitemaps")),
        false);
    delete m_googleRun;
    m_googleRun = new SitemapSubmission(*m_googleClient, m_googleProperty, this);
    m_googleRun->setReadBackDelay(m_googleReadBackDelayMs);
    m_googleRun->start(
        m_readSitemaps,
        [this](const ResultRecord& record) {
            m_results.records.append(record);
            if (m_history && m_historyJob >= 0 && !m_history->addRecord(m_historyJob, record))
                usableHistory(); // says, once, that the history was lost
            emit recorded(static_cast<int>(m_results.records.size()) - 1);
        },
        [this] { finishAnnouncement(); });
    return true;
}
