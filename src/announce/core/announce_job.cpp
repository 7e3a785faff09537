#include "announce/core/announce_job.h"

#include "announce/core/announce_batch.h"
#include "announce/core/announce_texts.h"
#include "catalogue/core/shared_groups.h"
#include "indexnow/core/indexnow_key.h"
#include "submit/core/answer_meaning.h"

using namespace Qt::StringLiterals;

namespace {

// Where the engines look for key's file for the pages of one batch: the target's key file when
// it is on the batch's host, else the file at the root of the batch's host.
QString keyFileId(const AnnounceTarget& target, const AnnounceBatch& batch) {
    QUrl url(target.keyLocation);
    if (target.keyLocation.isEmpty() || url.host(QUrl::FullyEncoded).compare(batch.host, Qt::CaseInsensitive) != 0)
        url = indexNowKeyFileAddress(batch.addresses.value(0), target.key).url;
    if (!url.isValid() || url.isEmpty())
        return {};
    return url.toString(QUrl::FullyEncoded) + u'\n' + target.key;
}

} // namespace

struct AnnounceJob::PlanResult {
    QList<AnnounceRequest> requests;
    QStringList keyFiles; // of each request
    qsizetype addresses = 0;
    qsizetype hosts = 0;
    qsizetype batches = 0;
};

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

// The announcement.

void AnnounceJob::announce(const QList<AnnounceTarget>& targets, SharedEngines mode) {
    if (busy())
        return;
    m_cancelled = false;
    m_targets = chooseTargets(targets, mode);
    m_keyFiles.clear();
    m_keyProblems.clear();
    m_sentKeyFiles.clear(); // the last announcement's records take no new finding
    m_googleDue = true;
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
    if (m_phase != Phase::Sending || submitToGoogle())
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
