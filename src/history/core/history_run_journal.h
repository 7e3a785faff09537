#pragma once

#include "history/core/history_types.h"
#include "submit/core/run_journal.h"

#include <QString>
#include <functional>

class HistoryStore;

// The host a site's history is kept under: the Site URL's host in lower case (a URL without a
// scheme is read as the address bar reads it); empty for an empty Site URL.
QString historySiteHost(const QString& siteUrl);

// Writes Submit runs into a HistoryStore as they go: the job when the run starts, each record as
// it is judged, the end. A history that cannot be used says so once through the message handler
// (at the end of the run, below the run's own lines), and the runs go on without it; records a
// run could not store are named at its end.
class HistoryRunJournal final : public RunJournal {
public:
    // store may be null: no history is kept. It must outlive the journal.
    HistoryRunJournal(HistoryStore* store, HistoryJob::Face face) : m_store(store), m_face(face) {}

    void setMessageHandler(std::function<void(const QString&)> say) { m_say = std::move(say); }
    // The job id of the last run started (-1 when it was not stored).
    qint64 lastJobId() const { return m_jobId; }

    void runStarted(const RunResults& results, const QString& siteUrl) override;
    void recordJudged(const ResultRecord& record) override;
    void recordCompleted(int index, const ResultRecord& record) override;
    void runEnded(const QDateTime& finished) override;

private:
    HistoryStore* m_store;
    HistoryJob::Face m_face;
    std::function<void(const QString&)> m_say;
    qint64 m_jobId = -1;
    bool m_running = false; // between runStarted and runEnded
    bool m_writing = false; // the run's records go to the store
    QString m_said;         // the store's message last said, so that it is said once
};
