#include "announce/core/announce_job.h"

#include "announce/core/announce_texts.h"
#include "history/core/history_store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

// The history half of AnnounceJob: the jobs and records kept, the pages' states worked out, and
// "new or changed" planned per engine group.

struct AnnounceJob::PageStates {
    QStringList groups;
    QList<HistoryPage> pages;  // the accepted pages, in the gathering's order
    QList<int> hosts;          // the host of each, an index into hostNames
    QStringList hostNames;     // the gathering's hosts
    QList<qsizetype> gathered; // the gathered index of each
    QList<PageClassification> byGroup;
    QList<ClassifiedPage> combined; // by gathered index
    qsizetype counts[3] = {0, 0, 0};
    bool anyHistory = false;
};

namespace {

// How much a state asks for sending: the lower, the more.
int urgency(PageState state) {
    switch (state) {
    case PageState::New:
        return 0;
    case PageState::Changed:
        return 1;
    case PageState::Unchanged:
    case PageState::Gone:
        break;
    }
    return 2;
}

QStringList groupsOf(const QList<AnnounceTarget>& targets) {
    QStringList groups;
    for (const AnnounceTarget& target : targets) {
        const QString group = historyGroupName(target.title, target.shares);
        if (!groups.contains(group))
            groups.append(group);
    }
    return groups;
}

// The addresses of an IndexNow request body.
QList<HistoryPage> pagesOfBody(const QByteArray& body) {
    QList<HistoryPage> pages;
    const QJsonArray list = QJsonDocument::fromJson(body).object().value("urlList"_L1).toArray();
    for (const QJsonValue& address : list)
        pages.append({address.toString(), {}, false});
    return pages;
}

} // namespace

AnnounceJob::PageBatches AnnounceJob::cutBatches(const QList<HistoryPage>& pages, const QList<int>& hosts,
                                                 const QStringList& hostNames, bool keepPages) {
    PageBatches result;
    QList<QList<qsizetype>> byHost(hostNames.size());
    for (qsizetype i = 0; i < pages.size(); ++i)
        byHost[hosts[i]].append(i);
    for (qsizetype host = 0; host < byHost.size(); ++host) {
        const QList<qsizetype>& members = byHost[host];
        for (qsizetype start = 0; start < members.size(); start += kMaxBatchAddresses) {
            const qsizetype end = std::min(members.size(), start + kMaxBatchAddresses);
            AnnounceBatch batch{hostNames[host], {}};
            batch.addresses.reserve(end - start);
            auto kept = std::make_shared<QList<HistoryPage>>();
            if (keepPages)
                kept->reserve(end - start);
            for (qsizetype i = start; i < end; ++i) {
                batch.addresses.append(pages[members[i]].address);
                if (keepPages)
                    kept->append(pages[members[i]]);
            }
            result.batches.append(std::move(batch));
            result.pages.append(keepPages ? std::shared_ptr<const QList<HistoryPage>>(std::move(kept)) : nullptr);
        }
    }
    return result;
}

void AnnounceJob::setHistory(HistoryStore* history, HistoryJob::Face face) {
    m_history = history;
    m_face = face;
    m_historySaid.clear();
}

void AnnounceJob::setChoice(AnnounceChoice choice, const QDateTime& since) {
    m_choice = choice;
    setChangedSince(choice == AnnounceChoice::ChangedSince ? since : QDateTime());
}

bool AnnounceJob::siteHasHistory() const {
    return m_siteHasHistory;
}

void AnnounceJob::setStateTargets(const QList<AnnounceTarget>& targets, SharedEngines mode) {
    m_stateTargets = chooseTargets(targets, mode);
    // While busy, the end of the gathering works them out.
    if (!busy() && !m_pages->pages().isEmpty())
        workOutStates(m_stateTargets, [] {});
}

ClassifiedPage AnnounceJob::pageState(qsizetype gatheredIndex) const {
    return m_pageStates.value(gatheredIndex);
}

qsizetype AnnounceJob::stateCount(PageState state) const {
    if (state == PageState::Gone)
        return m_gone.size();
    return m_stateCounts[static_cast<int>(state)];
}

HistoryStore* AnnounceJob::usableHistory() {
    if (!m_history)
        return nullptr;
    if (m_history->open())
        return m_history;
    const QString message = m_history->message();
    if (!message.isEmpty() && message != m_historySaid) {
        m_historySaid = message;
        say(message);
    }
    return nullptr;
}

QString AnnounceJob::siteHost() const {
    const QString host = QUrl(m_siteUrl.trimmed(), QUrl::TolerantMode).host(QUrl::FullyEncoded).toLower();
    if (!host.isEmpty() || m_pages->hosts().isEmpty())
        return host;
    return m_pages->hosts().constFirst().host;
}

QString AnnounceJob::groupOf(const QString& title) const {
    for (const QList<AnnounceTarget>* targets : {&m_targets, &m_stateTargets}) {
        for (const AnnounceTarget& target : *targets) {
            if (target.title == title)
                return historyGroupName(target.title, target.shares);
        }
    }
    return historyGroupName(title, {});
}

// The states.

void AnnounceJob::workOutStates(const QList<AnnounceTarget>& targets, std::function<void()> next) {
    const quint64 generation = ++m_stateGeneration;
    const QStringList groups = groupsOf(targets);
    HistoryStore* history = groups.isEmpty() ? nullptr : usableHistory();
    if (!history) {
        m_states.reset();
        m_pageStates.clear();
        m_gone.clear();
        m_goneReason.clear();
        std::fill(std::begin(m_stateCounts), std::end(m_stateCounts), 0);
        emit statesChanged();
        next();
        return;
    }
    // Read here (the history belongs to this thread); classified on a worker.
    QList<PageHistory> histories;
    for (const QString& group : groups)
        histories.append(history->pageHistory(siteHost(), group));
    const bool everyRead = m_sitemapFailures == 0 && !m_sitemapHosts.isEmpty();
    const std::shared_ptr<PageGathering> pages = m_pages;
    offThread<std::shared_ptr<PageStates>>(
        [pages, groups, histories = std::move(histories), everyRead] {
            auto states = std::make_shared<PageStates>();
            states->groups = groups;
            for (const HostCount& host : pages->hosts())
                states->hostNames.append(host.host);
            const QList<GatheredPage>& gathered = pages->pages();
            states->pages.reserve(pages->acceptedCount());
            for (qsizetype i = 0; i < gathered.size(); ++i) {
                if (gathered[i].status != GatheredPage::Status::Accepted)
                    continue;
                states->pages.append({gathered[i].address, gathered[i].lastmod, false});
                states->hosts.append(gathered[i].host);
                states->gathered.append(i);
            }
            for (const PageHistory& history : histories) {
                states->anyHistory = states->anyHistory || history.size() > 0;
                states->byGroup.append(classifyPages(history, states->pages, everyRead));
            }
            // Combined over the groups: the state that needs sending wins.
            states->combined.resize(gathered.size());
            for (qsizetype k = 0; k < states->pages.size(); ++k) {
                ClassifiedPage page = states->byGroup.constFirst().pages[k];
                for (const PageClassification& group : std::as_const(states->byGroup)) {
                    const ClassifiedPage& other = group.pages[k];
                    if (urgency(other.state) < urgency(page.state) ||
                        (other.state == page.state && other.announced < page.announced))
                        page = other;
                }
                states->combined[states->gathered[k]] = page;
                ++states->counts[static_cast<int>(page.state)];
            }
            return states;
        },
        [this, generation, next = std::move(next)](std::shared_ptr<PageStates> states) {
            if (generation == m_stateGeneration)
                statesWorkedOut(std::move(states));
            next();
        });
}

void AnnounceJob::statesWorkedOut(std::shared_ptr<PageStates> states) {
    HistoryStore* history = usableHistory();
    const QString host = siteHost();
    QHash<qint64, qsizetype> goneIndex;
    m_gone.clear();
    for (PageClassification& group : states->byGroup) {
        if (history)
            history->nameGonePages(host, group);
        // A page of a host whose sitemap was not read is not gone: it was not looked for.
        group.gone.removeIf([this](const GonePage& page) {
            return !m_sitemapHosts.contains(QUrl(page.address).host(QUrl::FullyEncoded).toLower());
        });
        group.counts[static_cast<int>(PageState::Gone)] = group.gone.size();
        for (const GonePage& page : std::as_const(group.gone)) {
            if (!goneIndex.contains(page.key)) {
                goneIndex.insert(page.key, m_gone.size());
                m_gone.append(page);
            }
        }
    }
    m_goneReason.clear();
    if (m_sitemapFailures > 0)
        m_goneReason = u"Pages gone from the sitemap were not worked out: not every sitemap was read whole (%1 "
                       "said), and the pages of one not read must not look gone."_s.arg(
                           countedText(m_sitemapFailures, u"problem", u"problems"));
    else if (m_sitemapHosts.isEmpty())
        m_goneReason = u"Pages gone from the sitemap were not worked out: the sources hold no sitemap."_s;
    m_pageStates = states->combined;
    std::copy(std::begin(states->counts), std::end(states->counts), std::begin(m_stateCounts));
    m_siteHasHistory = states->anyHistory;
    m_states = std::move(states);
    emit statesChanged();
}

// "New or changed": per engine group, the pages to send, claimed when their turn comes.
void AnnounceJob::planNewOrChanged() {
    const std::shared_ptr<const PageStates> states = m_states;
    const QList<AnnounceTarget> chosen = m_targets;
    offThread<PlanResult>(
        [states, chosen] {
            PlanResult plan;
            QSet<QString> hosts;
            for (qsizetype g = 0; g < states->groups.size(); ++g) {
                Segment segment;
                segment.claim = true;
                segment.group = states->groups[g];
                for (const AnnounceTarget& target : chosen) {
                    if (historyGroupName(target.title, target.shares) == segment.group)
                        segment.targets.append(target);
                }
                segment.hostNames = states->hostNames;
                const PageClassification& group = states->byGroup[g];
                for (qsizetype k = 0; k < states->pages.size(); ++k) {
                    if (urgency(group.pages[k].state) < urgency(PageState::Unchanged)) {
                        segment.claimPages.append(states->pages[k]);
                        segment.claimHosts.append(states->hosts[k]);
                    }
                }
                for (const GonePage& page : group.gone) {
                    const QString host = QUrl(page.address).host(QUrl::FullyEncoded).toLower();
                    qsizetype index = segment.hostNames.indexOf(host);
                    if (index < 0) {
                        index = segment.hostNames.size();
                        segment.hostNames.append(host);
                    }
                    segment.claimPages.append({page.address, {}, true});
                    segment.claimHosts.append(static_cast<int>(index));
                }
                // The requests as planned before claiming: what the message says and the key files
                // checked.
                const PageBatches batches =
                    cutBatches(segment.claimPages, segment.claimHosts, segment.hostNames, false);
                const QList<AnnounceRequest> requests = planAnnouncement(batches.batches, segment.targets);
                for (const AnnounceBatch& batch : batches.batches) {
                    for (const AnnounceTarget& target : std::as_const(segment.targets))
                        plan.keyFiles.append(keyFileId(target, batch));
                    hosts.insert(batch.host);
                }
                plan.batches += batches.batches.size();
                plan.requests.append(requests);
                segment.plannedRequests = static_cast<int>(requests.size());
                if (!requests.isEmpty())
                    plan.segments.append(std::move(segment));
            }
            plan.hosts = hosts.size();
            // Each page once, however many groups it goes to.
            QSet<qint64> gone;
            for (const PageClassification& group : states->byGroup) {
                for (const GonePage& page : group.gone)
                    gone.insert(page.key);
            }
            plan.addresses = states->counts[static_cast<int>(PageState::New)] +
                             states->counts[static_cast<int>(PageState::Changed)] + gone.size();
            return plan;
        },
        [this](PlanResult plan) { planned(std::move(plan)); });
}

// Keeping the announcement.

void AnnounceJob::beginHistoryJob() {
    m_historyJob = -1;
    HistoryStore* history = usableHistory();
    if (!history)
        return;
    HistoryJob job;
    job.kind = HistoryJob::Kind::Announcement;
    job.face = m_face;
    job.started = m_results.started;
    job.profilePath = m_profilePath;
    job.siteHost = siteHost();
    job.dateRule = m_dateRule;
    job.sharedNotices = m_results.sharedNotices;
    m_historyJob = history->beginJob(job);
    if (m_historyJob < 0)
        usableHistory(); // says why
}

void AnnounceJob::keepRecord(const ResultRecord& record) {
    const int index = m_senderRecords++;
    if (!m_history || m_historyJob < 0)
        return;
    const std::shared_ptr<const QList<HistoryPage>> pages = m_sentPages.value(index);
    if (!m_history->addAnnouncementRecord(m_historyJob, record, m_sentGroups.value(index),
                                          pages ? *pages : QList<HistoryPage>()))
        usableHistory(); // says, once, that the history was lost
    else if (record.verdict == ResultRecord::Verdict::Ok)
        m_siteHasHistory = true;
}

void AnnounceJob::finishHistoryJob() {
    if (!m_history || m_historyJob < 0)
        return;
    m_history->finishJob(m_historyJob, m_results.finished);
    m_historyJob = -1;
    if (const QString unstored = m_history->unstoredSummary(); !unstored.isEmpty())
        say(unstored);
}

// Sending again.

void AnnounceJob::resendFailed(const QList<ResultRecord>& records) {
    if (busy())
        return;
    resendRecords(records, {});
}

void AnnounceJob::resendRecords(const QList<ResultRecord>& records, const QStringList& keyFiles) {
    Segment segment;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const ResultRecord& record = records[i];
        if (!record.isBatch() || record.verdict == ResultRecord::Verdict::Ok || record.batchBody.isEmpty())
            continue;
        segment.keyFiles.append(keyFiles.value(i));
        segment.groups.append(groupOf(record.title));
        segment.pages.append(std::make_shared<const QList<HistoryPage>>(pagesOfBody(record.batchBody)));
    }
    segment.requests = requestsToResend(records);
    if (segment.requests.isEmpty())
        return;
    say(u"Sending again the %1 that did not succeed."_s.arg(
            countedText(segment.requests.size(), u"request", u"requests")),
        false);
    m_cancelled = false;
    m_keyFailed.clear();
    m_dateRule = u"failed batches sent again"_s;
    startSending({std::move(segment)});
}
