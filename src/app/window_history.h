#pragma once

#include "history/core/history_run_journal.h"
#include "history/core/history_store.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class ResultsWindow;

// The window's history, one for the life of the window: where it is comes from
// historyLocation() (TORVANE_HISTORY or the default file). Nothing is read before it is first
// needed and nothing is made before the first Submit run or announcement; a history that cannot
// be used says so once (in the message log, below a run's lines, and in the Results window), and
// the runs go on without it.
class WindowHistory {
public:
    WindowHistory();

    HistoryStore& store() { return *m_store; }
    HistoryRunJournal& journal() { return m_journal; }
    // Reads what is there (opening the history, or noticing a file another program made since);
    // false when no history is kept or it cannot be used.
    bool readable();

    // Fills the Results window's job list (the last run first, then the past jobs) and its
    // "Where things stand" rows for the site of siteUrl. lastRun: the last run's records, and
    // whether they are an announcement's.
    void fill(ResultsWindow& window, const RunResults& lastRun, bool announcement, const QString& siteUrl);
    // The kind of a job fill() listed (Submit when it did not).
    HistoryJob::Kind kindOf(qint64 jobId) const { return m_kinds.value(jobId, HistoryJob::Kind::Submit); }
    // The newest Submit run of the profile, or -1.
    qint64 lastSubmitOf(const QString& profilePath);
    // What Submit Failed Again sends for a job: the titles of a Submit run's failed engines, or an
    // announcement's failed batches (records of one engine, as Google Search Console's, are not
    // batches to send again).
    QStringList failedEngines(qint64 jobId);
    QList<ResultRecord> failedBatches(qint64 jobId);

private:
    std::unique_ptr<HistoryStore> m_store;
    HistoryRunJournal m_journal;
    QHash<qint64, HistoryJob::Kind> m_kinds; // of the jobs listed
};
