#include "announce/core/announce_job.h"

#include "history/core/history_store.h"

// The history half of AnnounceJob: the jobs and records kept, the pages' states worked out.

void AnnounceJob::setHistory(HistoryStore* history, HistoryJob::Face face) {
    m_history = history;
    m_face = face;
}

void AnnounceJob::setChoice(AnnounceChoice choice, const QDateTime& since) {
    m_choice = choice;
    setChangedSince(choice == AnnounceChoice::ChangedSince ? since : QDateTime());
}

bool AnnounceJob::siteHasHistory() const {
    return false;
}

void AnnounceJob::setStateTargets(const QList<AnnounceTarget>& targets, SharedEngines mode) {
    m_stateTargets = targets;
    m_stateMode = mode;
    emit statesChanged();
}

ClassifiedPage AnnounceJob::pageState(qsizetype gatheredIndex) const {
    return m_pageStates.value(gatheredIndex);
}

qsizetype AnnounceJob::stateCount(PageState state) const {
    if (state == PageState::Gone)
        return m_gone.size();
    return m_stateCounts[static_cast<int>(state)];
}

void AnnounceJob::resendFailed(const QList<ResultRecord>& records) {
    if (busy())
        return;
    QList<ResultRecord> failed;
    for (const ResultRecord& record : records) {
        if (record.isBatch() && record.failed() && !record.batchBody.isEmpty())
            failed.append(record);
    }
    const QList<AnnounceRequest> requests = requestsToResend(failed);
    if (requests.isEmpty())
        return;
    m_cancelled = false;
    startSending(requests, {});
}
