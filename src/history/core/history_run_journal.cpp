#include "history/core/history_run_journal.h"

#include "history/core/history_store.h"

#include <QUrl>

QString historySiteHost(const QString& siteUrl) {
    const QString trimmed = siteUrl.trimmed();
    return trimmed.isEmpty() ? QString() : QUrl::fromUserInput(trimmed).host(QUrl::FullyEncoded).toLower();
}

void HistoryRunJournal::runStarted(const RunResults& results, const QString& siteUrl) {
    m_jobId = -1;
    m_writing = false;
    // No history asked for says nothing; one that cannot be used says why at the run's end.
    m_running = m_store != nullptr;
    if (!m_store || !m_store->open())
        return;
    HistoryJob job;
    job.kind = HistoryJob::Kind::Submit;
    job.face = m_face;
    job.started = results.started;
    job.profilePath = results.profilePath;
    job.siteHost = historySiteHost(siteUrl);
    job.sharedNotices = results.sharedNotices;
    m_jobId = m_store->beginJob(job);
    m_writing = true;
}

void HistoryRunJournal::recordJudged(const ResultRecord& record) {
    // A record that cannot be written is kept by the store, to be named at the end.
    if (m_writing)
        m_store->addRecord(m_jobId, record);
}

void HistoryRunJournal::recordCompleted(int index, const ResultRecord& record) {
    // Also after the run's end: the job stays the last one written until the next run starts.
    if (m_jobId >= 0)
        m_store->updateRecordMeaning(m_jobId, index, record);
}

void HistoryRunJournal::runEnded(const QDateTime& finished) {
    if (!m_running)
        return;
    m_running = false;
    m_writing = false;
    if (m_jobId >= 0)
        m_store->finishJob(m_jobId, finished);
    const QString message = m_store->message();
    if (!m_say)
        return;
    if (!message.isEmpty() && message != m_said) {
        m_said = message;
        m_say(message);
    }
    if (!m_store->unstoredRecords().isEmpty())
        m_say(m_store->unstoredSummary());
}
