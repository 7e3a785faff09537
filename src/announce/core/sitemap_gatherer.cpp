#include "announce/core/sitemap_gatherer.h"

using namespace Qt::StringLiterals;

SitemapGatherer::SitemapGatherer(Fetcher& fetcher, const SitemapLimits& limits, QObject* parent)
    : QObject(parent), m_fetcher(fetcher), m_limits(limits) {}

void SitemapGatherer::start(const QUrl& sitemap, qsizetype addressBudget) {
    if (m_busy)
        return;
    m_busy = true;
    m_queue = {{sitemap, 0}};
    m_next = 0;
    m_known = {sitemap.toString(QUrl::FullyEncoded)};
    m_children = 0;
    m_read = 0;
    m_bytes = 0;
    m_budget = addressBudget < 0 ? m_limits.maxAddresses : std::min(addressBudget, m_limits.maxAddresses);
    m_pages.clear();
    m_messages.clear();
    fetchNext();
}

void SitemapGatherer::cancel() {
    if (!m_busy)
        return;
    m_fetcher.cancel(m_fetchId);
    m_busy = false;
    m_messages.append(u"Reading the sitemaps was cancelled."_s);
    emit finished();
}

void SitemapGatherer::fetchNext() {
    if (m_next >= m_queue.size()) {
        m_busy = false;
        emit finished();
        return;
    }
    const QUrl url = m_queue[m_next].first;
    const int depth = m_queue[m_next].second;
    ++m_next;
    FetchRequest request;
    request.url = url;
    request.maxBodyBytes = m_limits.maxBytes;
    m_fetchId = m_fetcher.fetch(request, this, [this, url, depth](const FetchReply& reply) {
        if (m_busy)
            received(url, depth, reply);
    });
}

void SitemapGatherer::received(const QUrl& url, int depth, const FetchReply& reply) {
    const QString name = url.toString(QUrl::FullyEncoded);
    ++m_read;
    if (reply.bodyTooLarge) {
        m_messages.append(u"%1: larger than %2 bytes, not read."_s.arg(name, QString::number(m_limits.maxBytes)));
    } else if (reply.httpStatus == 0) {
        m_messages.append(u"%1: %2"_s.arg(name, reply.errorText));
    } else if (reply.httpStatus != 200) {
        m_messages.append(u"%1: the server answered HTTP %2, not read."_s.arg(name, QString::number(reply.httpStatus)));
    } else {
        const qsizetype budget = m_budget - m_pages.size();
        // The first file may also be a plain list of addresses; children are sitemaps.
        SitemapContent content =
            depth == 0 ? readAddressFile(reply.body, m_limits, budget) : readSitemap(reply.body, m_limits, budget);
        if (!content.error.isEmpty())
            m_messages.append(u"%1: %2"_s.arg(name, content.error));
        m_bytes += std::max<qint64>(content.bytes, reply.body.size());
        m_pages.append(std::move(content.pages));
        if (content.kind == SitemapContent::Kind::Index && !content.childSitemaps.isEmpty()) {
            if (depth >= m_limits.maxDepth) {
                m_messages.append(u"%1: an index nested more than %2 levels deep; its %3 sitemaps were not read."_s.arg(
                    name, QString::number(m_limits.maxDepth), QString::number(content.childSitemaps.size())));
            }
            for (const QString& child : std::as_const(content.childSitemaps)) {
                if (depth >= m_limits.maxDepth)
                    break;
                const QUrl childUrl = url.resolved(QUrl(child));
                const QString scheme = childUrl.scheme().toLower();
                const QString key = childUrl.toString(QUrl::FullyEncoded);
                if (scheme != "http"_L1 && scheme != "https"_L1) {
                    m_messages.append(u"%1: not an http or https address, not read."_s.arg(child));
                    continue;
                }
                if (m_known.contains(key))
                    continue; // listed twice, or an index listing itself
                if (m_children >= m_limits.maxChildSitemaps) {
                    m_messages.append(
                        u"More than %1 child sitemaps: the rest were not read."_s.arg(m_limits.maxChildSitemaps));
                    break;
                }
                ++m_children;
                m_known.insert(key);
                m_queue.append({childUrl, depth + 1});
            }
        }
    }
    emit progress(m_read, static_cast<int>(m_queue.size()), m_pages.size());
    if (m_next < m_queue.size()) {
        QString limit;
        if (m_pages.size() >= m_budget)
            limit = u"The limit of %1 addresses was reached"_s.arg(m_budget);
        else if (m_bytes >= m_limits.maxTotalBytes)
            limit = u"The sitemaps read hold more than %1 bytes in all"_s.arg(m_limits.maxTotalBytes);
        if (!limit.isEmpty()) {
            m_messages.append(u"%1: %2 sitemaps were not read."_s.arg(limit, QString::number(m_queue.size() - m_next)));
            m_next = m_queue.size();
        }
    }
    fetchNext();
}
