#pragma once

#include "history/core/history_dialect.h"
#include "history/core/history_location.h"
#include "history/core/history_types.h"
#include "history/core/page_classification.h"
#include "history/core/page_index_status.h"
#include "submit/core/result_record.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <functional>

// The group an engine's page states belong to: its Shares group when it has one (engines of a
// group pass what they receive on to each other), else the engine itself.
QString historyGroupName(const QString& engineTitle, const QString& shares);

// The history of Submit runs and announcements, and of each site's pages, in an SQLite file or
// a PostgreSQL database (see HistoryLocation). One object per program; not for several threads.
//
// Opening reads only: a missing SQLite file is made (mode 0600, its folder 0700) by the first
// beginJob(). A file that is not a Torvane history, is damaged or comes from a newer version, and
// a database that cannot be reached, leave the history unusable with one message() and are never
// changed. A write that fails later (a lost connection, a full disk) makes the history unusable
// for the rest of the program's life: the records given after that are kept in memory
// (unstoredRecords()) and message() says so. Every record is written in its own transaction as
// it arrives; SQLite runs with a write-ahead log and waits up to HistoryDialect::kBusyTimeoutMs
// for another program's write.
//
// Bounded: each site keeps its last kJobsKeptPerSite jobs with their records; older jobs go as
// a new one begins. Page states stay.
//
// Claims: before sending pages to an engine group, a job claims them (claimPages). A page
// claimed by another running job, or announced OK meanwhile, is not given to it. A claim ends
// when its answer is recorded or its job finishes. Each job records the machine and process that
// write it (ProcessIdentity): the claims of an unfinished job whose program is known to have
// ended on this machine are released when claiming; one left by a job that died elsewhere (or
// whose end cannot be known) ends after kClaimLifetimeSeconds (30 minutes).
class HistoryStore {
public:
    static constexpr int kJobsKeptPerSite = 1000;
    static constexpr qint64 kClaimLifetimeSeconds = 30 * 60;
    // How often a write that the server broke off to end a deadlock is tried.
    static constexpr int kWriteAttempts = 3;

    explicit HistoryStore(const HistoryLocation& location);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // False when no history is kept: none asked for (message() empty), or it cannot be used
    // (message() says why). True for a file not made yet; called again, it opens the file when
    // another program has made it since.
    bool open();
    bool isUsable() const { return m_state == State::Open || m_state == State::NotMade; }
    QString message() const { return m_message; }
    const HistoryLocation& location() const { return m_location; }

    // Where the time comes from (for tests); the system clock by default.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    // How many jobs per site keep their records (for tests); kJobsKeptPerSite by default.
    void setJobsKeptPerSite(int jobs) { m_jobsKept = jobs; }

    // Writing a job. beginJob returns its id, or -1 when it was not stored; the other calls
    // accept -1 (the record is then kept in memory). Times and ids of `job` other than those it
    // names are ignored.
    qint64 beginJob(const HistoryJob& job);
    bool addRecord(qint64 jobId, const ResultRecord& record);
    // An announcement's answer for one batch sent to an engine of `group`: the record, and the
    // state of every page of the batch (OK or not); the batch's claims end.
    bool addAnnouncementRecord(qint64 jobId, const ResultRecord& record, const QString& group,
                               const QList<HistoryPage>& batch);
    // A record of this job completed after it was added (a key-file check's outcome): rewrites
    // the meaning and key-file sentence of the record at seq (its place in the job, from 0).
    bool updateRecordMeaning(qint64 jobId, int seq, const ResultRecord& record);
    // The job's end; its claims left end too.
    bool finishJob(qint64 jobId, const QDateTime& finished);
    // The records of this job given after the history stopped being usable, in their order,
    // and a sentence naming them ("2 records of this job were not stored in the history: …").
    // The next beginJob() forgets them, and tries once more to reach a history that was lost.
    const QList<ResultRecord>& unstoredRecords() const { return m_unstored; }
    QString unstoredSummary() const;

    // The indexes (into pages) of the pages this job may send to group: those neither claimed
    // by another job nor announced there since they were classified. Every page when the
    // history is unusable. *heldElsewhere (when given) receives how many were left out because
    // another running job holds their claim.
    QList<qsizetype> claimPages(qint64 jobId, const QString& group, const QList<HistoryPage>& pages,
                                qsizetype* heldElsewhere = nullptr);

    // Reading. Empty when unusable or not made yet. Times are local.
    // Past jobs, newest first, with their OK/ERROR/SKIPPED counts; only profilePath's when given.
    QList<HistoryJob> jobs(const QString& profilePath = {}) const;
    // One job as the report writer takes it (null started when there is no such job).
    RunResults jobResults(qint64 jobId) const;
    // The newest job of a profile, or -1.
    qint64 lastJobOf(const QString& profilePath) const;
    // The failed records (ERROR or SKIPPED) of a job: engines of a Submit run, batches of an
    // announcement (requestsToResend rebuilds their requests).
    QList<ResultRecord> failedRecords(qint64 jobId) const;
    // For each engine of the site: its last Submit and its last announcement.
    QList<EngineStanding> standing(const QString& siteHost) const;
    PageHistory pageHistory(const QString& siteHost, const QString& group) const;
    PageClassification classifyPages(const QString& siteHost, const QString& group, const QList<HistoryPage>& pages,
                                     bool everySitemapRead) const;
    // Gives the gone pages of a classification (made by ::classifyPages from pageHistory) their
    // addresses; those without one known are dropped.
    void nameGonePages(const QString& siteHost, PageClassification& classification) const;

    // Google's inspections (history_store_index_status.cpp). Each page keeps its latest; a page is
    // filed under its own host. Kept only in a history that exists: none is made for them (false
    // then, and when the write failed).
    bool keepInspection(const PageInspection& inspection);
    // The inspections kept of the pages of siteHost, in the order of their addresses.
    QList<PageInspection> inspections(const QString& siteHost) const;

    // Removes every job, record, page, claim and inspection of the site.
    bool forgetSite(const QString& siteHost);

private:
    enum class State { Closed, NotMade, Open, Failed };

    bool openSqlite();
    bool openPostgres();
    bool prepare();
    bool makeFile();
    bool unusable(const QString& message);
    void disconnect();
    bool lost(const QString& error);
    bool writable();
    bool write(const std::function<bool(QString*)>& work);
    qint64 internedId(const QString& table, const QString& column, const QString& value, QString* error);
    qint64 existingId(const QString& table, const QString& column, const QString& value) const;
    bool insertRecord(qint64 jobId, const ResultRecord& record, QString* error);
    bool releaseEndedClaims(qint64 site, qint64 jobId, QString* error);
    QDateTime now() const { return m_now ? m_now() : QDateTime::currentDateTimeUtc(); }

    HistoryLocation m_location;
    HistoryDialect m_dialect;
    QString m_connection;
    QSqlDatabase m_db;
    bool m_connected = false; // m_db was added under m_connection
    bool m_lost = false;      // a write failed after the history was open
    State m_state = State::Closed;
    QString m_message;
    QString m_lastError; // of the last write that failed
    std::function<QDateTime()> m_now;
    int m_jobsKept = kJobsKeptPerSite;
    QHash<qint64, qint64> m_jobSites; // job id -> site id, for the jobs written here
    QHash<qint64, int> m_nextSeq;
    QList<ResultRecord> m_unstored;
};
