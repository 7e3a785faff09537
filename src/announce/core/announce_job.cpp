#include "announce/core/announce_job.h"

#include "announce/core/announce_batch.h"
#include "announce/core/announce_texts.h"
#include "catalogue/core/shared_groups.h"
#include "history/core/history_store.h"
#include "indexnow/core/indexnow_key.h"
#include "submit/core/answer_meaning.h"

using namespace Qt::StringLiterals;

// The target's key file when it is on the batch's host, else the file at the root of the batch's
// host.
QString AnnounceJob::keyFileId(const AnnounceTarget& target, const AnnounceBatch& batch) {
    QUrl url(target.keyLocation);
    if (target.keyLocation.isEmpty() || url.host(QUrl::FullyEncoded).compare(batch.host, Qt::CaseInsensitive) != 0)
        url = indexNowKeyFileAddress(batch.addresses.value(0), target.key).url;
    if (!url.isValid() || url.isEmpty())
        return {};
    return url.toString(QUrl::FullyEncoded) + u'\n' + target.key;
}

void AnnounceJob::workDone(const std::function<void()>& handOver) {
    --m_workers;
    handOver();
    // A gathering waits until no worker reads what it would write.
    if (m_workers == 0 && m_startWhenFree) {
        m_startWhenFree = false;
        readNext();
    }
}

AnnounceJob::AnnounceJob(Fetcher& fetcher, const Clock& clock, QObject* parent)
    : QObject(parent), m_fetcher(fetcher), m_sender(new AnnounceSender(fetcher, clock, this)),
      m_wallClock([] { return QDateTime::currentDateTimeUtc(); }), m_pages(std::make_shared<PageGathering>()) {
    connect(m_sender, &AnnounceSender::progress, this, [this](int done, int total) {
        // Counted over the whole announcement, whose parts are sent one after another.
        int later = 0;
        for (const Segment& segment : std::as_const(m_segments))
            later += segment.claim ? segment.plannedRequests : static_cast<int>(segment.requests.size());
        emit sendProgress(m_progressBase + done, m_progressBase + total + later);
    });
    connect(m_sender, &AnnounceSender::waiting, this, &AnnounceJob::waiting);
    connect(m_sender, &AnnounceSender::recorded, this, [this](const ResultRecord& record) {
        m_results.records.append(record);
        keepRecord(record);
        const int index = static_cast<int>(m_results.records.size()) - 1;
        attachKeyFile(index);
        emit recorded(index);
    });
    connect(m_sender, &AnnounceSender::finished, this, &AnnounceJob::segmentSent);
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

// The announcement.

void AnnounceJob::announce(const QList<AnnounceTarget>& targets, SharedEngines mode) {
    if (busy())
        return;
    m_cancelled = false;
    m_targets = chooseTargets(targets, mode);
    m_keyFiles.clear();
    m_keyProblems.clear();
    m_sentKeyFiles.clear(); // the last announcement's records take no new finding
    m_keyFailed.clear();
    m_segments.clear();
    if (m_targets.isEmpty())
        return;
    setPhase(Phase::Planning);
    if (m_choice == AnnounceChoice::NewOrChanged && m_history) {
        m_dateRule = u"new or changed"_s;
        // Worked out again, fresh: another job may have announced since the gathering.
        workOutStates(m_targets, [this] {
            if (m_states)
                planNewOrChanged();
            else
                planEveryPage();
        });
        return;
    }
    planEveryPage();
}

void AnnounceJob::planEveryPage() {
    // "New or changed" comes here when no history can be read: every page is new then.
    m_dateRule = m_choice == AnnounceChoice::NewOrChanged ? u"new or changed"_s
                 : m_since.isValid()                      ? u"changed since "_s + m_since.toString(Qt::ISODate)
                                                          : u"every page"_s;
    const std::shared_ptr<PageGathering> pages = m_pages;
    const QDateTime since = m_since;
    const QList<AnnounceTarget> chosen = m_targets;
    const bool keepPages = m_history != nullptr;
    offThread<PlanResult>(
        [pages, since, chosen, keepPages] {
            PlanResult plan;
            QList<HistoryPage> kept;
            QList<int> hosts;
            QStringList hostNames;
            for (const HostCount& host : pages->hosts())
                hostNames.append(host.host);
            for (const GatheredPage& page : pages->pages()) {
                if (page.status != GatheredPage::Status::Accepted ||
                    (since.isValid() && page.lastmod.isValid() && page.lastmod < since))
                    continue;
                kept.append({page.address, page.lastmod, false});
                hosts.append(page.host);
            }
            const PageBatches batches = cutBatches(kept, hosts, hostNames, keepPages);
            Segment segment;
            segment.requests = planAnnouncement(batches.batches, chosen);
            QSet<QString> hostsSent;
            for (qsizetype b = 0; b < batches.batches.size(); ++b) {
                const AnnounceBatch& batch = batches.batches[b];
                for (const AnnounceTarget& target : chosen) {
                    segment.keyFiles.append(keyFileId(target, batch));
                    segment.pages.append(batches.pages[b]);
                    segment.groups.append(historyGroupName(target.title, target.shares));
                }
                plan.addresses += batch.addresses.size();
                hostsSent.insert(batch.host);
            }
            plan.requests = segment.requests;
            plan.keyFiles = segment.keyFiles;
            plan.hosts = hostsSent.size();
            plan.batches = batches.batches.size();
            if (!segment.requests.isEmpty())
                plan.segments.append(std::move(segment));
            return plan;
        },
        [this](PlanResult plan) { planned(std::move(plan)); });
}

void AnnounceJob::planned(PlanResult plan) {
    if (m_cancelled || plan.requests.isEmpty()) {
        if (!m_cancelled && m_choice == AnnounceChoice::NewOrChanged && m_states) {
            say(u"Nothing new or changed to announce."_s, false);
            // Kept as a job all the same: the history says the site was looked at, and when.
            m_results = {};
            m_results.profilePath = m_profilePath;
            m_results.started = m_wallClock().toLocalTime();
            m_results.finished = m_results.started;
            beginHistoryJob();
            finishHistoryJob();
        } else if (!m_cancelled) {
            say(u"No address to announce."_s);
        }
        m_results = {};
        m_results.profilePath = m_profilePath;
        m_phase = Phase::Idle; // idle already when the end is told
        emit announcementFinished();
        emit idle();
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
    m_segments = std::move(plan.segments);
    if (m_checkKeyFiles)
        checkKeyFiles();
    else
        startSending(std::move(m_segments));
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
        startSending(std::move(m_segments));
        return;
    }
    for (const QString& problem : std::as_const(m_keyProblems))
        say(problem);
    // Without an answer (nobody asks), the hosts without their key file are left out.
    m_keyFailed = failed;
    setPhase(Phase::Asking);
    emit keyFileQuestion(m_keyProblems);
}

void AnnounceJob::answerKeyFileQuestion(bool sendAnyway) {
    if (m_phase != Phase::Asking)
        return;
    if (sendAnyway)
        m_keyFailed.clear();
    startSending(std::move(m_segments));
}

void AnnounceJob::startSending(const QList<AnnounceRequest>& requests, const QStringList& keyFiles) {
    Segment segment;
    segment.requests = requests;
    segment.keyFiles = keyFiles;
    startSending(QList<Segment>{std::move(segment)});
}

void AnnounceJob::startSending(QList<Segment> segments) {
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
    m_sentKeyFiles.clear();
    m_sentPages.clear();
    m_sentGroups.clear();
    m_senderRecords = 0;
    m_progressBase = 0;
    m_finishWhenChecked = false;
    m_results.started = m_wallClock().toLocalTime();
    setPhase(Phase::Sending);
    beginHistoryJob();
    emit announcementStarted();
    m_segments = std::move(segments);
    sendNextSegment();
}

void AnnounceJob::sendNextSegment() {
    if (m_segments.isEmpty()) {
        finishAnnouncement();
        return;
    }
    Segment segment = m_segments.takeFirst();
    if (segment.claim) {
        QList<HistoryPage> pages = segment.claimPages;
        QList<int> hosts = segment.claimHosts;
        // Claimed just before they are sent: pages another job sends, or sent meanwhile, are left to it.
        if (!m_cancelled && m_history && m_historyJob >= 0) {
            const QList<qsizetype> mine = m_history->claimPages(m_historyJob, segment.group, pages);
            if (mine.size() < pages.size()) {
                QList<HistoryPage> claimed;
                QList<int> claimedHosts;
                for (const qsizetype i : mine) {
                    claimed.append(pages[i]);
                    claimedHosts.append(hosts[i]);
                }
                say(u"%1 for %2 left out: another job is sending them, or has announced them since."_s.arg(
                        countedText(pages.size() - mine.size(), u"page", u"pages"), segment.targets.value(0).title),
                    false);
                pages = std::move(claimed);
                hosts = std::move(claimedHosts);
            }
        }
        const PageBatches batches = cutBatches(pages, hosts, segment.hostNames, true);
        segment.requests = planAnnouncement(batches.batches, segment.targets);
        for (qsizetype b = 0; b < batches.batches.size(); ++b) {
            for (const AnnounceTarget& target : std::as_const(segment.targets)) {
                segment.keyFiles.append(keyFileId(target, batches.batches[b]));
                segment.pages.append(batches.pages[b]);
                segment.groups.append(segment.group);
            }
        }
    }
    for (qsizetype i = 0; i < segment.requests.size(); ++i) {
        AnnounceRequest& request = segment.requests[i];
        if (m_cancelled && request.notSent.isEmpty()) {
            request.notSent = u"Not sent: the announcement was cancelled."_s;
        } else if (request.notSent.isEmpty() && m_keyFailed.contains(segment.keyFiles.value(i))) {
            request.notSent = u"Not sent: the key file of this host was not found or does not hold the key."_s;
            request.keyFile = m_keyFiles.value(segment.keyFiles.value(i)).result.sentence();
        }
    }
    m_progressBase = m_senderRecords;
    // What each request belongs to, by the index of its record (empty when a part has none).
    const qsizetype recorded = m_senderRecords + segment.requests.size();
    m_sentKeyFiles.append(segment.keyFiles);
    m_sentKeyFiles.resize(recorded);
    m_sentPages.append(segment.pages);
    m_sentPages.resize(recorded);
    m_sentGroups.append(segment.groups);
    m_sentGroups.resize(recorded);
    if (segment.requests.isEmpty()) {
        sendNextSegment();
        return;
    }
    m_sender->start(segment.requests);
}

void AnnounceJob::segmentSent() {
    if (m_phase != Phase::Sending)
        return;
    if (m_segments.isEmpty())
        finishAnnouncement();
    else
        sendNextSegment();
}

void AnnounceJob::resendFailed() {
    if (busy() || !canResendFailed())
        return;
    resendRecords(m_results.records, m_sentKeyFiles);
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
    finishHistoryJob();
    m_phase = Phase::Idle; // idle already when the end is told
    emit announcementFinished();
    emit idle();
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
