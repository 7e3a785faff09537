#include "google/core/sitemap_submission.h"

#include "google/core/google_api.h"
#include "google/core/search_console_client.h"
#include "platform/text_codec.h"

#include <QDir>
#include <QSet>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

SitemapSubmission::SitemapSubmission(SearchConsoleClient& client, const QString& property, QObject* parent)
    : QObject(parent), m_client(&client), m_property(property),
      m_readBackDelayMs(SearchConsoleClient::kReadBackDelayMs) {
    connect(&client, &QObject::destroyed, this, &SitemapSubmission::cancel);
}

ResultRecord SitemapSubmission::notSubmitted(const QString& property, const ReadSitemap& sitemap) {
    ResultRecord record;
    record.verdict = ResultRecord::Verdict::Skipped;
    if (sitemap.localFile) {
        record.title = SearchConsoleClient::engineTitle();
        record.url = QDir::toNativeSeparators(sitemap.location);
        record.meaning = u"Not submitted: the sitemap %1 was read from a file on this computer, and Google reads "
                         u"sitemaps only from the web. Announce its web address to have Google told of it."_s.arg(
                             displayText(record.url));
        return record;
    }
    const QUrl url(sitemap.location);
    const QString scheme = url.scheme().toLower();
    if (scheme != "http"_L1 && scheme != "https"_L1) {
        record.title = SearchConsoleClient::engineTitle();
        record.url = displayText(sitemap.location);
        record.meaning = u"Not submitted: %1 is not a web address."_s.arg(record.url);
    } else if (!propertyCovers(property, url)) {
        record.title = SearchConsoleClient::engineTitle();
        record.url = url.toString(QUrl::FullyEncoded);
        record.meaning = u"Not submitted: the sitemap %1 is not in the property %2, and Google takes only the "
                         u"sitemaps of a property's own hosts."_s.arg(displayText(record.url), property);
    }
    return record;
}

void SitemapSubmission::start(const QList<ReadSitemap>& sitemaps, Recorded recorded, std::function<void()> finished) {
    const quint64 generation = ++m_generation;
    m_recorded = std::move(recorded);
    m_finished = std::move(finished);
    m_records.clear();
    m_locations.clear();
    m_next = 0;
    QList<ReadSitemap> distinct;
    QSet<QString> seen;
    for (const ReadSitemap& sitemap : sitemaps) {
        if (!seen.contains(sitemap.location)) {
            seen.insert(sitemap.location);
            distinct.append(sitemap);
            m_locations.append(sitemap.location);
        }
    }
    m_records.resize(distinct.size());
    for (int index = 0; index < distinct.size(); ++index) {
        ResultRecord skipped = notSubmitted(m_property, distinct[index]);
        if (!skipped.title.isEmpty() || !m_client) {
            // Answered from the event loop, as the submissions are.
            QTimer::singleShot(0, this, [this, index, skipped, generation] {
                if (generation == m_generation)
                    answered(index, skipped);
            });
            continue;
        }
        const QUrl sitemap(distinct[index].location);
        m_client->submitAndReadBack(
            m_property, sitemap,
            [self = QPointer<SitemapSubmission>(this), index, generation, sitemap](const ResultRecord& done) {
                if (!self || generation != self->m_generation)
                    return;
                ResultRecord record = done;
                const QString shown = displayText(sitemap.toString(QUrl::FullyEncoded));
                // Every record names its sitemap, also when Google's answer did not.
                if (!record.meaning.contains(shown))
                    record.meaning = u"The sitemap %1: %2"_s.arg(shown, record.meaning);
                self->answered(index, record);
            },
            m_readBackDelayMs);
    }
    if (distinct.isEmpty()) {
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation && m_finished)
                m_finished();
        });
    }
}

void SitemapSubmission::answered(int index, const ResultRecord& record) {
    m_records[index] = record;
    flush();
}

void SitemapSubmission::flush() {
    while (m_next < m_records.size() && !m_records[m_next].title.isEmpty()) {
        const ResultRecord record = m_records[m_next++];
        if (m_recorded)
            m_recorded(record);
    }
    if (m_next == m_records.size() && !m_records.isEmpty()) {
        m_records.clear();
        m_locations.clear();
        m_next = 0;
        ++m_generation;
        if (m_finished)
            m_finished();
    }
}

void SitemapSubmission::cancel() {
    if (!running())
        return;
    ++m_generation; // answers still coming are dropped
    for (qsizetype i = 0; i < m_records.size(); ++i) {
        ResultRecord& record = m_records[i];
        if (!record.title.isEmpty())
            continue;
        record.title = SearchConsoleClient::engineTitle();
        record.url = m_locations.value(i);
        record.verdict = ResultRecord::Verdict::Skipped;
        record.meaning = u"Google's answer about the sitemap %1 was not awaited: the announcement was cancelled."_s.arg(
            displayText(record.url));
    }
    flush();
}
