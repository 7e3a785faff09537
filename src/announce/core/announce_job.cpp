#include "announce/core/announce_job.h"

#include "announce/core/announce_batch.h"
#include "announce/core/announce_texts.h"
#include "catalogue/core/shared_groups.h"
#include "indexnow/core/indexnow_key.h"
#include "submit/core/answer_meaning.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kRobotsMaxBytes = 512 * 1024;
// A sitemap may be large and the link slow: the whole exchange may take this long.
constexpr int kSitemapTimeoutMs = 10 * 60 * 1000;

bool isRobotsTxt(const QUrl& url) {
    return url.path() == "/robots.txt"_L1;
}

// Where the engines look for key's file for the pages of one batch: the target's key file when
// it is on the batch's host, else the file at the root of the batch's host.
QString keyFileId(const AnnounceTarget& target, const AnnounceBatch& batch) {
    QUrl url(target.keyLocation);
    if (target.keyLocation.isEmpty() || url.host().compare(batch.host, Qt::CaseInsensitive) != 0)
        url = indexNowKeyFileAddress(batch.addresses.value(0), target.key).url;
    if (!url.isValid() || url.isEmpty())
        return {};
    return url.toString(QUrl::FullyEncoded) + u'\n' + target.key;
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
    bool withinLimit = true;
    QString limitMessage;
};

struct AnnounceJob::PlanResult {
    QList<AnnounceRequest> requests;
    QStringList keyFiles; // of each request
    qsizetype addresses = 0;
    qsizetype hosts = 0;
    qsizetype batches = 0;
};

template <typename Result> void AnnounceJob::offThread(std::function<Result()> work, std::function<void(Result)> done) {
    ++m_workers;
    QThreadPool::globalInstance()->start(
        [self = QPointer<AnnounceJob>(this), work = std::move(work), done = std::move(done)]() mutable {
            auto result = std::make_shared<Result>(work());
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, result, done = std::move(done)] {
                    if (!self)
                        return;
                    --self->m_workers;
                    done(std::move(*result));
                    // A gathering waits until no worker reads what it would write.
                    if (self && self->m_workers == 0 && self->m_startWhenFree) {
                        self->m_startWhenFree = false;
                        self->readNext();
                    }
                },
                Qt::QueuedConnection);
        });
}

AnnounceJob::AnnounceJob(Fetcher& fetcher, const Clock& clock, QObject* parent)
    : QObject(parent), m_fetcher(fetcher), m_sender(new AnnounceSender(fetcher, clock, this)),
      m_wallClock([] { return QDateTime::currentDateTimeUtc(); }), m_pages(std::make_shared<PageGathering>()) {
    connect(m_sender, &AnnounceSender::progress, this, &AnnounceJob::sendProgress);
    connect(m_sender, &AnnounceSender::waiting, this, &AnnounceJob::waiting);
    connect(m_sender, &AnnounceSender::recorded, this, [this](const ResultRecord& record) {
        m_results.records.append(record);
        const int index = static_cast<int>(m_results.records.size()) - 1;
        attachKeyFile(index);
        emit recorded(index);
    });
    connect(m_sender, &AnnounceSender::finished, this, &AnnounceJob::finishAnnouncement);
}

AnnounceJob::~AnnounceJob() = default;

void AnnounceJob::setWallClock(std::function<QDateTime()> now) {
    m_wallClock = now;
    m_sender->setWallClock(std::move(now));
}

void AnnounceJob::setPhase(Phase phase) {
    m_phase = phase;
    if (phase == Phase::Idle)
        emit idle();
}

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
    emit countsChanged();
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
    FetchRequest request;
    request.url = item.url;
    request.maxBodyBytes = isRobotsTxt(item.url) ? kRobotsMaxBytes : m_limits.maxBytes;
    request.timeoutMs = kSitemapTimeoutMs; // idle limit: a sitemap download may also stop when no byte comes
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
        return result;
    };
    offThread<FileResult>(std::move(work), [this, item](FileResult result) { parsed(item, result); });
}

void AnnounceJob::parsed(const Pending& item, const FileResult& result) {
    const bool file = item.kind == AnnounceSource::Kind::File;
    const QString name = file ? QFileInfo(item.path).absoluteFilePath() : item.url.toString(QUrl::FullyEncoded);
    if (item.kind != AnnounceSource::Kind::Text)
        ++m_sitemapsRead;
    if (file && !result.openError.isEmpty()) {
        say(QFileInfo::exists(item.path) ? result.openError : u"The source %1 does not exist."_s.arg(name));
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
            say(u"%1: a relative address in a file on disk, not read."_s.arg(child));
            continue;
        }
        if (scheme != "http"_L1 && scheme != "https"_L1) {
            say(u"%1: not an http or https address, not read."_s.arg(child));
            continue;
        }
        const QString key = childUrl.toString(QUrl::FullyEncoded);
        if (m_known.contains(key))
            continue; // listed twice, or an index listing itself
        if (m_children >= m_limits.maxChildSitemaps) {
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
    const qsizetype left = m_queue.size() + m_given.size();
    if (left > 0)
        say(u"%1 %2 not read."_s.arg(why, countedText(left, u"file was", u"files were")));
    else
        say(why);
}

void AnnounceJob::endGathering() {
    if (m_cancelled && !(m_queue.isEmpty() && m_given.isEmpty()))
        say(u"Reading the sources was cancelled."_s);
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
                setPhase(Phase::Idle);
                emit gathered();
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
    FetchRequest request;
    request.url = site.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    request.url.setPath(u"/robots.txt"_s);
    request.maxBodyBytes = kRobotsMaxBytes;
    m_robotsId = m_fetcher.fetch(request, this, [this, url = request.url](const FetchReply& reply) {
        if (reply.httpStatus == 200)
            emit sitemapsFound(robotsSitemaps(reply.body, url));
    });
}

// The announcement.

void AnnounceJob::announce(const QList<AnnounceTarget>& targets, SharedEngines mode) {
    if (busy())
        return;
    m_cancelled = false;
    m_targets = chooseTargets(targets, mode);
    m_keyFiles.clear();
    m_keyProblems.clear();
    if (m_targets.isEmpty())
        return;
    setPhase(Phase::Planning);
    const std::shared_ptr<PageGathering> pages = m_pages;
    const QDateTime since = m_since;
    const QList<AnnounceTarget> chosen = m_targets;
    offThread<PlanResult>(
        [pages, since, chosen] {
            PlanResult plan;
            const QList<HostGroup> groups = pages->groups(since);
            const QList<AnnounceBatch> batches = makeBatches(groups);
            plan.requests = planAnnouncement(batches, chosen);
            for (const AnnounceBatch& batch : batches) {
                for (const AnnounceTarget& target : chosen)
                    plan.keyFiles.append(keyFileId(target, batch));
                plan.addresses += batch.addresses.size();
            }
            plan.hosts = groups.size();
            plan.batches = batches.size();
            return plan;
        },
        [this](PlanResult plan) { planned(std::move(plan)); });
}

void AnnounceJob::planned(PlanResult plan) {
    if (m_cancelled || plan.requests.isEmpty()) {
        if (!m_cancelled)
            say(u"No address to announce."_s);
        m_results = {};
        emit announcementFinished();
        setPhase(Phase::Idle);
        return;
    }
    QStringList titles;
    for (const AnnounceTarget& target : std::as_const(m_targets))
        titles.append(target.title);
    say(u"Announcing %1 of %2 in %3, %4 to %5: %6."_s.arg(
            countedText(plan.addresses, u"address", u"addresses"), countedText(plan.hosts, u"host", u"hosts"),
            countedText(plan.batches, u"batch", u"batches"), countedText(plan.requests.size(), u"request", u"requests"),
            countedText(m_targets.size(), u"engine", u"engines"), titles.join(u", "_s)),
        false);
    m_plan = std::move(plan.requests);
    m_planKeyFiles = std::move(plan.keyFiles);
    if (m_checkKeyFiles)
        checkKeyFiles();
    else
        startSending(m_plan, m_planKeyFiles);
}

void AnnounceJob::checkKeyFiles() {
    setPhase(Phase::CheckingKeys);
    for (const QString& id : std::as_const(m_planKeyFiles)) {
        if (id.isEmpty() || m_keyFiles.contains(id))
            continue;
        KeyFileState& state = m_keyFiles[id];
        state.url = QUrl(id.section(u'\n', 0, 0));
        state.key = id.section(u'\n', 1);
        say(keyFileCheckingSentence(state.url), false);
        state.request = checkKeyFile(m_fetcher, state.url, state.key, this, [this, id](const KeyFileCheck& check) {
            keyFileChecked(id, check);
            if (m_phase == Phase::CheckingKeys &&
                std::all_of(m_keyFiles.cbegin(), m_keyFiles.cend(), [](const KeyFileState& s) { return s.done; }))
                keyFilesChecked();
        });
    }
    if (std::all_of(m_keyFiles.cbegin(), m_keyFiles.cend(), [](const KeyFileState& s) { return s.done; }))
        keyFilesChecked();
}

void AnnounceJob::keyFileChecked(const QString& id, const KeyFileCheck& check) {
    KeyFileState& state = m_keyFiles[id];
    state.done = true;
    state.result = check;
    for (int i = 0; i < m_results.records.size(); ++i) {
        if (i < m_sentKeyFiles.size() && m_sentKeyFiles[i] == id && attachKeyFile(i))
            emit recordChanged(i);
    }
    if (m_finishWhenChecked)
        finishAnnouncement();
}

void AnnounceJob::keyFilesChecked() {
    m_keyProblems.clear();
    QSet<QString> failed;
    for (auto it = m_keyFiles.cbegin(); it != m_keyFiles.cend(); ++it) {
        if (it->result.outcome != KeyFileCheck::Outcome::Found) {
            m_keyProblems.append(it->result.sentence());
            failed.insert(it.key());
        }
    }
    m_keyProblems.sort();
    if (failed.isEmpty()) {
        startSending(m_plan, m_planKeyFiles);
        return;
    }
    for (const QString& problem : std::as_const(m_keyProblems))
        say(problem);
    // Without an answer (nobody asks), the hosts without their key file are left out.
    for (qsizetype i = 0; i < m_plan.size(); ++i) {
        if (failed.contains(m_planKeyFiles.value(i))) {
            m_plan[i].notSent = u"Not sent: the key file of this host was not found or does not hold the key."_s;
            m_plan[i].keyFile = m_keyFiles.value(m_planKeyFiles.value(i)).result.sentence();
        }
    }
    setPhase(Phase::Asking);
    emit keyFileQuestion(m_keyProblems);
}

void AnnounceJob::answerKeyFileQuestion(bool sendAnyway) {
    if (m_phase != Phase::Asking)
        return;
    if (sendAnyway) {
        for (AnnounceRequest& request : m_plan) {
            request.notSent.clear();
            request.keyFile.clear();
        }
    }
    startSending(m_plan, m_planKeyFiles);
}

void AnnounceJob::startSending(const QList<AnnounceRequest>& requests, const QStringList& keyFiles) {
    m_results = {};
    m_results.profilePath = m_profilePath;
    // Sent to every engine, engines that share what they receive get the same batches twice.
    QHash<QString, SharedGroup> groups;
    QStringList order;
    for (const AnnounceTarget& target : std::as_const(m_targets)) {
        const QString key = sharesGroupKey(target.shares);
        if (key.isEmpty())
            continue;
        SharedGroup& group = groups[key];
        if (group.titles.isEmpty()) {
            group.name = target.shares.trimmed();
            order.append(key);
        }
        group.titles.append(target.title);
    }
    for (const QString& key : std::as_const(order)) {
        if (groups[key].titles.size() > 1)
            m_results.sharedNotices.append(sharedGroupNotice(groups[key]));
    }
    m_sentKeyFiles = keyFiles;
    m_finishWhenChecked = false;
    m_results.started = m_wallClock().toLocalTime();
    setPhase(Phase::Sending);
    emit announcementStarted();
    m_sender->start(requests);
}

void AnnounceJob::resendFailed() {
    if (busy() || !canResendFailed())
        return;
    QStringList keyFiles;
    for (int i = 0; i < m_results.records.size(); ++i) {
        const ResultRecord& record = m_results.records[i];
        if (record.batchSize > 0 && record.verdict != ResultRecord::Verdict::Ok && !record.batchBody.isEmpty())
            keyFiles.append(m_sentKeyFiles.value(i));
    }
    const QList<AnnounceRequest> requests = requestsToResend(m_results.records);
    say(u"Sending again the %1 that did not succeed."_s.arg(countedText(requests.size(), u"request", u"requests")),
        false);
    m_cancelled = false;
    startSending(requests, keyFiles);
}

bool AnnounceJob::canResendFailed() const {
    if (busy())
        return false;
    return std::any_of(m_results.records.begin(), m_results.records.end(), [](const ResultRecord& record) {
        return record.isBatch() && record.failed() && !record.batchBody.isEmpty();
    });
}

bool AnnounceJob::attachKeyFile(int index) {
    ResultRecord& record = m_results.records[index];
    const QString id = m_sentKeyFiles.value(index);
    if ((record.httpStatus != 403 && record.httpStatus != 422) || id.isEmpty())
        return false;
    KeyFileState& state = m_keyFiles[id];
    if (state.done) {
        record.keyFile = state.result.sentence();
        if (state.result.outcome == KeyFileCheck::Outcome::Found)
            record.meaning = keyFileInPlaceMeaning();
        return true;
    }
    // Not checked before sending: what the site serves says why the key was refused.
    state.url = QUrl(id.section(u'\n', 0, 0));
    state.key = id.section(u'\n', 1);
    record.keyFile = keyFileCheckingSentence(state.url);
    if (state.request == 0) {
        state.request = checkKeyFile(m_fetcher, state.url, state.key, this,
                                     [this, id](const KeyFileCheck& check) { keyFileChecked(id, check); });
    }
    return true;
}

void AnnounceJob::finishAnnouncement() {
    const bool checking = std::any_of(m_keyFiles.cbegin(), m_keyFiles.cend(),
                                      [](const KeyFileState& s) { return s.request != 0 && !s.done; });
    if (checking && !m_cancelled) {
        m_finishWhenChecked = true; // the records wait for what the key file check finds
        return;
    }
    if (m_phase != Phase::Sending)
        return;
    m_finishWhenChecked = false;
    m_results.finished = m_sender->results().finished;
    int ok = 0;
    for (const ResultRecord& record : std::as_const(m_results.records))
        ok += record.verdict == ResultRecord::Verdict::Ok ? 1 : 0;
    const int other = static_cast<int>(m_results.records.size()) - ok;
    say(u"%1: %2 answered OK, %3 not."_s.arg(m_sender->wasCancelled() || m_cancelled ? u"Cancelled"_s : u"Done"_s,
                                             countedText(ok, u"request", u"requests"), QString::number(other)),
        false);
    emit announcementFinished();
    setPhase(Phase::Idle);
}

void AnnounceJob::cancel() {
    switch (m_phase) {
    case Phase::Idle:
        return;
    case Phase::Gathering:
        m_cancelled = true;
        if (m_fetchId != 0) {
            m_fetcher.cancel(m_fetchId);
            m_fetchId = 0;
            endGathering();
        } // else the file being read ends the gathering when it is read
        return;
    case Phase::Counting:
    case Phase::Planning:
        m_cancelled = true; // the worker's answer ends it
        return;
    case Phase::CheckingKeys:
    case Phase::Asking:
        m_cancelled = true;
        for (KeyFileState& state : m_keyFiles) {
            if (!state.done)
                m_fetcher.cancel(state.request);
        }
        // The planned requests are recorded, none of them sent.
        for (AnnounceRequest& request : m_plan)
            request.notSent = u"Not sent: the announcement was cancelled."_s;
        startSending(m_plan, m_planKeyFiles);
        return;
    case Phase::Sending:
        m_cancelled = true;
        for (KeyFileState& state : m_keyFiles) {
            if (!state.done)
                m_fetcher.cancel(state.request);
        }
        if (m_sender->state() != AnnounceSender::State::Idle)
            m_sender->cancel();
        else
            finishAnnouncement();
        return;
    }
}
