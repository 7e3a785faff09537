#include "announce/core/announce_job.h"

#include "announce/core/announce_texts.h"
#include "platform/local_file_name.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

// The gathering half of AnnounceJob: the sources read in order, children followed, parsing and
// counting on a worker thread.

namespace {

constexpr qint64 kRobotsMaxBytes = 512 * 1024;
// A sitemap may be large and the link slow: the whole exchange may take this long.
// A sitemap, an address list or robots.txt may take 10 minutes in all (a large file on a slow
// line still arrives), but not 15 s without a byte.
constexpr int kSitemapTimeoutMs = 10 * 60 * 1000;
constexpr int kSitemapIdleTimeoutMs = 15 * 1000;

FetchRequest sitemapFetchRequest(const QUrl& url, qint64 maxBytes, const SitemapLimits& limits) {
    FetchRequest request;
    request.url = url;
    request.timeoutMs = kSitemapTimeoutMs;
    request.idleTimeoutMs = kSitemapIdleTimeoutMs;
    request.maxBodyBytes = maxBytes;
    request.maxCompressionRatio = limits.maxCompressionRatio;
    return request;
}

bool isRobotsTxt(const QUrl& url) {
    return url.path() == "/robots.txt"_L1;
}

// A size limit for the user: in MB, or in bytes below one.
QString mb(qint64 bytes) {
    if (bytes < 1024 * 1024)
        return u"%1 bytes"_s.arg(bytes);
    return u"%1 MB"_s.arg(bytes / (1024 * 1024));
}

} // namespace

AnnounceSource AnnounceSource::fromArgument(const QString& argument) {
    const bool web = argument.startsWith("http://"_L1, Qt::CaseInsensitive) ||
                     argument.startsWith("https://"_L1, Qt::CaseInsensitive);
    return {web ? Kind::Web : Kind::File, argument};
}

struct AnnounceJob::FileResult {
    QString openError; // a file that could not be opened
    SitemapContent::Kind kind = SitemapContent::Kind::Unreadable;
    QString error;
    QStringList children;
    qint64 bytes = 0;
    qsizetype added = 0;
    QSet<QString> hosts; // a sitemap's: the hosts of the pages it lists
    bool withinLimit = true;
    QString limitMessage;
};

// Gathering.

void AnnounceJob::gather(const QList<AnnounceSource>& sources) {
    if (busy())
        return;
    if (m_pages->pages().isEmpty()) {
        // A new gathering: the Site URL of the moment decides which hosts are the site's.
        m_pages = std::make_shared<PageGathering>(m_siteUrl, m_limits.maxAddresses);
        m_known.clear();
        m_children = 0;
        m_bytes = 0;
        m_childLimitSaid = false;
        m_sitemapFailures = 0;
        m_sitemapHosts.clear();
    }
    m_cancelled = false;
    m_stopped = false;
    m_unreadable.clear();
    m_sitemapsRead = 0;
    m_sitemapsKnown = 0;
    m_addedBefore = m_pages->pages().size();
    m_given.clear();
    m_queue.clear();
    for (const AnnounceSource& source : sources) {
        Pending item;
        item.kind = source.kind;
        item.given = true;
        if (source.kind == AnnounceSource::Kind::Text) {
            item.text = source.value;
        } else if (source.kind == AnnounceSource::Kind::File) {
            item.path = source.value;
            ++m_sitemapsKnown;
        } else {
            item.url = QUrl(source.value.trimmed());
            ++m_sitemapsKnown;
        }
        m_given.append(item);
    }
    setPhase(Phase::Gathering);
    if (m_workers > 0)
        m_startWhenFree = true;
    else
        readNext();
}

void AnnounceJob::clear() {
    if (busy())
        return;
    m_pages = std::make_shared<PageGathering>(m_siteUrl, m_limits.maxAddresses);
    m_counts = {};
    ++m_countGeneration;
    m_known.clear();
    m_children = 0;
    m_bytes = 0;
    m_childLimitSaid = false;
    m_sitemapFailures = 0;
    m_sitemapHosts.clear();
    m_pageStates.clear();
    m_gone.clear();
    m_goneReason.clear();
    m_states.reset();
    ++m_stateGeneration; // states being worked out belong to the pages cleared
    std::fill(std::begin(m_stateCounts), std::end(m_stateCounts), 0);
    emit countsChanged();
    emit statesChanged();
}

void AnnounceJob::readNext() {
    if (m_cancelled || m_stopped) {
        endGathering();
        return;
    }
    if (m_queue.isEmpty()) {
        if (m_given.isEmpty()) {
            endGathering();
            return;
        }
        m_queue.append(m_given.takeFirst());
    }
    const Pending item = m_queue.takeFirst();
    if (item.kind != AnnounceSource::Kind::Web) {
        parse(item, {}, item.path);
        return;
    }
    const QString scheme = item.url.scheme().toLower();
    if (!item.url.isValid() || (scheme != "http"_L1 && scheme != "https"_L1) || item.url.host().isEmpty()) {
        say(u"%1: not a web address starting with http:// or https://."_s.arg(item.url.toString()));
        if (item.given)
            m_unreadable.append(item.url.toString());
        readNext();
        return;
    }
    m_known.insert(item.url.toString(QUrl::FullyEncoded));
    const FetchRequest request =
        sitemapFetchRequest(item.url, isRobotsTxt(item.url) ? kRobotsMaxBytes : m_limits.maxBytes, m_limits);
    m_fetchId = m_fetcher.fetch(request, this, [this, item](const FetchReply& reply) {
        m_fetchId = 0;
        fetched(item, reply);
    });
}

void AnnounceJob::fetched(const Pending& item, const FetchReply& reply) {
    const QString name = item.url.toString(QUrl::FullyEncoded);
    QString problem;
    if (reply.bodyTooLarge)
        problem = u"%1: larger than %2, not read."_s.arg(name, mb(m_limits.maxBytes));
    else if (reply.httpStatus == 0)
        problem = u"%1: %2"_s.arg(name, reply.errorText);
    else if (reply.httpStatus != 200)
        problem = u"%1: the server answered HTTP %2, not read."_s.arg(name, QString::number(reply.httpStatus));
    if (!problem.isEmpty()) {
        ++m_sitemapsRead;
        ++m_sitemapFailures;
        say(problem);
        if (item.given)
            m_unreadable.append(name);
        emit gatheringProgress(m_sitemapsRead, m_sitemapsKnown, m_pages->pages().size());
        readNext();
        return;
    }
    if (isRobotsTxt(item.url)) {
        ++m_sitemapsRead;
        const QStringList listed = robotsSitemaps(reply.body, reply.finalUrl.isEmpty() ? item.url : reply.finalUrl);
        if (listed.isEmpty()) {
            ++m_sitemapFailures;
            say(u"%1 lists no sitemap."_s.arg(name));
            if (item.given)
                m_unreadable.append(name);
        }
        // The sitemaps a robots.txt lists are read as if given, in its order.
        QList<Pending> found;
        for (const QString& address : listed) {
            if (m_known.contains(address))
                continue;
            Pending sitemap;
            sitemap.url = QUrl(address);
            found.append(sitemap);
            ++m_sitemapsKnown;
        }
        m_queue = found + m_queue;
        readNext();
        return;
    }
    parse(item, reply.body, {});
}

void AnnounceJob::parse(const Pending& item, QByteArray bytes, QString path) {
    const std::shared_ptr<PageGathering> pages = m_pages;
    const SitemapLimits limits = m_limits;
    const qsizetype budget = m_pages->remaining();
    std::function<FileResult()> work = [pages, limits, budget, item, bytes = std::move(bytes), path] {
        FileResult result;
        SitemapContent content;
        if (item.kind == AnnounceSource::Kind::Text) {
            content.kind = SitemapContent::Kind::TextList;
            for (const QStringView line : QStringView(item.text).split(u'\n')) {
                if (const QStringView address = line.trimmed(); !address.isEmpty())
                    content.pages.append({address.toString(), {}});
            }
        } else if (item.kind == AnnounceSource::Kind::File) {
            content = readAddressFileAt(path, budget, &result.openError, limits);
        } else {
            // A file given (or listed in robots.txt) may also be a plain list; children are sitemaps.
            content = item.depth == 0 ? readAddressFile(bytes, limits, budget) : readSitemap(bytes, limits, budget);
        }
        result.kind = content.kind;
        result.error = content.error;
        result.children = std::move(content.childSitemaps);
        result.bytes = std::max<qint64>(content.bytes, bytes.size());
        const qsizetype before = pages->pages().size();
        result.withinLimit = pages->add(content.pages);
        result.limitMessage = pages->limitMessage();
        result.added = pages->pages().size() - before;
        if (content.kind == SitemapContent::Kind::UrlSet) {
            for (qsizetype i = before; i < pages->pages().size(); ++i) {
                if (const int host = pages->pages()[i].host; host >= 0)
                    result.hosts.insert(pages->hosts()[host].host);
            }
        }
        return result;
    };
    offThread<FileResult>(std::move(work), [this, item](FileResult result) { parsed(item, result); });
}

void AnnounceJob::parsed(const Pending& item, const FileResult& result) {
    const bool file = item.kind == AnnounceSource::Kind::File;
    const QString name = file ? QFileInfo(item.path).absoluteFilePath() : item.url.toString(QUrl::FullyEncoded);
    if (item.kind != AnnounceSource::Kind::Text)
        ++m_sitemapsRead;
    const bool sitemap = result.kind == SitemapContent::Kind::UrlSet || result.kind == SitemapContent::Kind::Index;
    if (item.kind != AnnounceSource::Kind::Text &&
        (!result.openError.isEmpty() || !result.error.isEmpty() || result.kind == SitemapContent::Kind::Unreadable))
        ++m_sitemapFailures;
    else if (sitemap) {
        m_sitemapHosts.unite(result.hosts);
        if (item.kind == AnnounceSource::Kind::Web)
            m_sitemapHosts.insert(item.url.host(QUrl::FullyEncoded).toLower());
    }
    if (file && !result.openError.isEmpty()) {
        say(localFileExists(item.path) ? result.openError : u"The source %1 does not exist."_s.arg(name));
        if (item.given)
            m_unreadable.append(name);
    } else {
        if (!result.error.isEmpty())
            say(u"%1: %2"_s.arg(name, result.error));
        if (result.kind == SitemapContent::Kind::Unreadable && item.given)
            m_unreadable.append(name);
    }
    m_bytes += result.bytes;
    if (!result.withinLimit)
        stopReading(result.limitMessage);
    else if (result.kind == SitemapContent::Kind::Index)
        followChildren(item, result.children);
    if (!m_stopped && m_bytes >= m_limits.maxTotalBytes && !(m_queue.isEmpty() && m_given.isEmpty()))
        stopReading(u"The sitemaps read hold more than %1 in all."_s.arg(mb(m_limits.maxTotalBytes)));
    emit gatheringProgress(m_sitemapsRead, m_sitemapsKnown, m_pages->pages().size());
    readNext();
}

void AnnounceJob::followChildren(const Pending& item, const QStringList& children) {
    const QString name = item.kind == AnnounceSource::Kind::File ? QFileInfo(item.path).absoluteFilePath()
                                                                 : item.url.toString(QUrl::FullyEncoded);
    if (item.depth >= m_limits.maxDepth) {
        ++m_sitemapFailures;
        say(u"%1: an index nested more than %2 levels deep: %3 not read."_s.arg(
            name, QString::number(m_limits.maxDepth),
            countedText(children.size(), u"sitemap it lists was", u"sitemaps it lists were")));
        return;
    }
    QList<Pending> found;
    for (const QString& child : children) {
        const QUrl childUrl = item.kind == AnnounceSource::Kind::Web ? item.url.resolved(QUrl(child)) : QUrl(child);
        const QString scheme = childUrl.scheme().toLower();
        if (childUrl.isRelative()) {
            ++m_sitemapFailures;
            say(u"%1: a relative address in a file on disk, not read."_s.arg(child));
            continue;
        }
        if (scheme != "http"_L1 && scheme != "https"_L1) {
            ++m_sitemapFailures;
            say(u"%1: not an http or https address, not read."_s.arg(child));
            continue;
        }
        const QString key = childUrl.toString(QUrl::FullyEncoded);
        if (m_known.contains(key))
            continue; // listed twice, or an index listing itself
        if (m_children >= m_limits.maxChildSitemaps) {
            ++m_sitemapFailures;
            if (!m_childLimitSaid)
                say(u"More than %1 child sitemaps: the rest were not read."_s.arg(m_limits.maxChildSitemaps));
            m_childLimitSaid = true;
            break;
        }
        ++m_children;
        ++m_sitemapsKnown;
        m_known.insert(key);
        Pending next;
        next.url = childUrl;
        next.depth = item.depth + 1;
        found.append(next);
    }
    m_queue.append(found);
}

void AnnounceJob::stopReading(const QString& why) {
    if (m_stopped)
        return;
    m_stopped = true;
    ++m_sitemapFailures;
    const qsizetype left = m_queue.size() + m_given.size();
    if (left > 0)
        say(u"%1 %2 not read."_s.arg(why, countedText(left, u"file was", u"files were")));
    else
        say(why);
}

void AnnounceJob::endGathering() {
    if (m_cancelled && !(m_queue.isEmpty() && m_given.isEmpty())) {
        ++m_sitemapFailures;
        say(u"Reading the sources was cancelled."_s);
    }
    m_queue.clear();
    m_given.clear();
    if (m_sitemapsRead > 0) {
        say(u"Read %1: %2."_s.arg(countedText(m_sitemapsRead, u"file", u"files"),
                                  countedText(m_pages->pages().size() - m_addedBefore, u"address", u"addresses")),
            false);
    }
    m_phase = Phase::Counting;
    recount();
}

void AnnounceJob::recount() {
    const std::shared_ptr<PageGathering> pages = m_pages;
    const QDateTime since = m_since;
    const quint64 generation = ++m_countGeneration;
    offThread<AnnounceCounts>(
        [pages, since] {
            AnnounceCounts counts;
            counts.hostPages.fill(0, pages->hosts().size());
            for (const GatheredPage& page : pages->pages()) {
                if (page.status != GatheredPage::Status::Accepted)
                    continue;
                if (since.isValid() && page.lastmod.isValid() && page.lastmod < since) {
                    ++counts.leftOut;
                    continue;
                }
                ++counts.toAnnounce;
                ++counts.hostPages[page.host];
            }
            return counts;
        },
        [this, generation](AnnounceCounts counts) {
            if (generation != m_countGeneration)
                return; // a later count (another date, or a new gathering) replaces it
            m_counts = std::move(counts);
            emit countsChanged();
            if (m_phase == Phase::Counting) {
                // The pages' states belong to the gathering: worked out before it is told.
                workOutStates(m_stateTargets, [this] {
                    setPhase(Phase::Idle);
                    emit gathered();
                });
            }
        });
}

void AnnounceJob::setChangedSince(const QDateTime& since) {
    m_since = since;
    // While gathering, the count at its end takes the new date; otherwise the worker only reads.
    if (m_phase != Phase::Gathering)
        recount();
}

void AnnounceJob::findSitemaps(const QString& siteUrl) {
    const QUrl site(siteUrl.trimmed(), QUrl::TolerantMode);
    if (!site.isValid() || (site.scheme() != "http"_L1 && site.scheme() != "https"_L1) || site.host().isEmpty())
        return;
    m_fetcher.cancel(m_robotsId);
    QUrl robots = site.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    robots.setPath(u"/robots.txt"_s);
    const FetchRequest request = sitemapFetchRequest(robots, kRobotsMaxBytes, m_limits);
    m_robotsId = m_fetcher.fetch(request, this, [this, url = request.url](const FetchReply& reply) {
        if (reply.httpStatus == 200)
            emit sitemapsFound(robotsSitemaps(reply.body, url));
    });
}
