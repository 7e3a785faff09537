#pragma once

#include "announce/core/announce_choice.h"
#include "announce/core/announce_sender.h"
#include "announce/core/page_gathering.h"
#include "announce/core/sitemap_reader.h"
#include "history/core/history_types.h"
#include "history/core/page_classification.h"
#include "indexnow/core/key_file_check.h"
#include "net/core/fetcher.h"
#include "submit/core/result_record.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>
#include <functional>
#include <memory>

class Clock;
class HistoryStore;

// One place addresses come from.
struct AnnounceSource {
    enum class Kind {
        Text, // typed lines, one address a line
        File, // a local file: a list of addresses, a sitemap or a sitemap index (gzip or not)
        Web,  // a web address: a list, a sitemap, an index, or a site's robots.txt
    };
    Kind kind = Kind::Text;
    QString value; // the text, the path or the address

    // A web address when it starts with http:// or https://, a file otherwise.
    static AnnounceSource fromArgument(const QString& argument);
};

// The gathered pages after the date rule.
struct AnnounceCounts {
    qsizetype toAnnounce = 0;
    qsizetype leftOut = 0;      // not changed since the date
    QList<qsizetype> hostPages; // to announce, by host (as PageGathering::hosts())
};

// An announcement from beginning to end, for the Announce Pages window and for --announce
// alike: gather the addresses of any number of sources → filter them by the date rule → plan
// the batches for the chosen engines → check each host's key file → send → records.
//
// Gathering: sources are read in order; sitemaps, indexes and lists on the web come through the
// fetcher, and an index (local or fetched) has its children fetched, each once. The limits of
// SitemapLimits hold for the whole gathering (until clear()): child sitemaps, index depth, bytes
// and addresses. A child that cannot be read is said and skipped; a source given that cannot
// be read at all is listed in unreadableSources(). Unpacking, parsing, checking and counting run
// on a worker thread: while gathering() is being written (phase Gathering) it must not be read.
//
// Key files: before any request, the key file of each engine's key on each host is fetched
// once. When one is not served, or holds something else, keyFileQuestion() asks whether to send
// anyway (answerKeyFileQuestion); without, that host's batches are recorded SKIPPED, unsent.
// A request refused with 403 or 422 carries what the check found (ResultRecord::keyFile).
//
// History: with a HistoryStore, every announcement is kept as a job of it, each record written
// as it arrives with the state of its batch's pages in the engine's group (historyGroupName).
// The gathered pages then have a state per group (New, Changed, Unchanged; and the Gone pages),
// worked out after each gathering for the groups of setStateTargets() and again, fresh, when an
// announcement of "new or changed" is planned. A history that cannot be used is said once
// (message) and the job goes on without it; the records it did not store are named at the end.
//
// Every signal comes on the thread that owns the job.
class AnnounceJob : public QObject {
    Q_OBJECT

public:
    enum class Phase { Idle, Gathering, Counting, Planning, CheckingKeys, Asking, Sending };

    // Both must outlive the job.
    AnnounceJob(Fetcher& fetcher, const Clock& clock, QObject* parent = nullptr);
    ~AnnounceJob() override;

    // The Site URL that decides which hosts are the site's; taken when a gathering begins.
    void setSiteUrl(const QString& siteUrl) { m_siteUrl = siteUrl; }
    void setLimits(const SitemapLimits& limits) { m_limits = limits; }
    // The open profile's file, named in the records' report (also of a job stopped early).
    void setProfilePath(const QString& path) {
        m_profilePath = path;
        m_results.profilePath = path;
    }
    // Whether key files are checked before sending (on by default).
    void setKeyFileCheck(bool check) { m_checkKeyFiles = check; }
    // Where the time of day comes from (for Retry-After dates and the records); the system clock
    // by default.
    void setWallClock(std::function<QDateTime()> now);

    // The history to keep the announcements in and to read the pages' states from (nullptr: none
    // kept, every page is New). It must outlive the job, and is only used on the job's thread.
    // face: how the jobs written are marked (the window or the command line).
    void setHistory(HistoryStore* history, HistoryJob::Face face);
    // Which pages announce() sends (EveryPage by default). ChangedSince takes since as the date
    // rule (as setChangedSince); the other choices clear the date rule.
    void setChoice(AnnounceChoice choice, const QDateTime& since = {});
    AnnounceChoice choice() const { return m_choice; }
    // Whether the history holds an earlier announcement of the Site URL's host to the state
    // targets' groups: known once the states are worked out (statesChanged), and true after an
    // announcement answered OK.
    bool siteHasHistory() const;
    // The engines whose groups the pages' states are worked out for (as announce() chooses them
    // from targets); the states follow (statesChanged).
    void setStateTargets(const QList<AnnounceTarget>& targets, SharedEngines mode);

    // The state of a gathered page (an index into gathering().pages()), combined over the engine
    // groups: New when one group has never had it, else Changed when one group has an older
    // announcement, else Unchanged (with the oldest announcement). New for every page without a
    // history or state targets, and for pages not accepted.
    ClassifiedPage pageState(qsizetype gatheredIndex) const;
    // How many accepted pages are in state; for Gone, gonePages().size().
    qsizetype stateCount(PageState state) const;
    // The pages announced OK before that no longer appear in the sitemaps (to one group at least).
    QList<GonePage> gonePages() const { return m_gone; }
    // Why gone pages were not worked out (no sitemap among the sources, one that could not be
    // read, …); empty when they were, or without a history.
    QString goneNotWorkedOut() const { return m_goneReason; }

    // Reads the sources and adds their addresses; ignored unless Idle.
    void gather(const QList<AnnounceSource>& sources);
    // Forgets every address gathered, and what the limits counted; ignored unless Idle.
    void clear();
    // The date rule (invalid: none); the counts follow.
    void setChangedSince(const QDateTime& since);
    // Plans and sends the pages to announce to targets; ignored unless Idle.
    void announce(const QList<AnnounceTarget>& targets, SharedEngines mode);
    // Sends once more the batches of the last announcement that did not succeed.
    void resendFailed();
    // Sends once more the failed batches among records (read from the history: a past
    // announcement's); records that are not batches are passed over. Kept in the history as a
    // job, each engine's pages in its group among the state targets (its own group when it is
    // not one of them). Ignored unless Idle.
    void resendFailed(const QList<ResultRecord>& records);
    void answerKeyFileQuestion(bool sendAnyway);
    // Stops what is going on: the gathering keeps what was read, the unsent requests are SKIPPED.
    void cancel();
    // Fetches the robots.txt of the site at siteUrl; sitemapsFound() gets its Sitemap: lines.
    void findSitemaps(const QString& siteUrl);

    Phase phase() const { return m_phase; }
    bool busy() const { return m_phase != Phase::Idle; }
    bool sending() const { return m_phase == Phase::Sending; }
    const PageGathering& gathering() const { return *m_pages; }
    const AnnounceCounts& counts() const { return m_counts; }
    QDateTime changedSince() const { return m_since; }
    const RunResults& results() const { return m_results; }
    QStringList unreadableSources() const { return m_unreadable; }
    // The key files found missing or wrong before the last announcement, in sentences.
    QStringList keyFileProblems() const { return m_keyProblems; }
    bool wasCancelled() const { return m_cancelled; }
    bool canResendFailed() const;
    int sitemapsRead() const { return m_sitemapsRead; }

signals:
    // Something to say: a problem (a source or child not read, a limit, a refusal) or a step.
    void message(const QString& text, bool problem);
    void gatheringProgress(int read, int known, qsizetype addresses);
    // The gathering ended: gathering() may be read again, and counts() are up to date.
    void gathered();
    void countsChanged();
    // The pages' states (pageState, stateCount, gonePages, goneNotWorkedOut) were worked out again.
    void statesChanged();
    void sitemapsFound(const QStringList& sitemaps);
    // Key files are missing or hold something else (one sentence each): send anyway?
    void keyFileQuestion(const QStringList& problems);
    // Sending began: results() were replaced.
    void announcementStarted();
    void sendProgress(int done, int total);
    void waiting(int secondsLeft, const QString& text);
    void recorded(int index);
    void recordChanged(int index);
    // The announcement ended (sent, cancelled, or stopped before sending).
    void announcementFinished();
    // The job went back to Idle.
    void idle();

private:
    struct Pending {
        QUrl url;     // Web, or a child
        QString path; // File
        QString text; // Text
        AnnounceSource::Kind kind = AnnounceSource::Kind::Web;
        int depth = 0;
        bool given = false; // a source given, not a child
    };
    struct FileResult;
    struct PageStates;
    // The requests of one part of an announcement, sent by one start of the sender. A part of
    // "new or changed" holds one engine group's pages, claimed in the history just before it is
    // sent and only then cut into batches.
    struct Segment {
        QList<AnnounceRequest> requests;
        QStringList keyFiles;                                   // of each request
        QList<std::shared_ptr<const QList<HistoryPage>>> pages; // of each request's batch
        QStringList groups;                                     // of each request
        // To claim: the group, its engines and its pages with their hosts.
        bool claim = false;
        QString group;
        QList<AnnounceTarget> targets;
        QList<HistoryPage> claimPages;
        QList<int> claimHosts; // index into hostNames
        QStringList hostNames;
        int plannedRequests = 0; // before claiming
    };
    // The announcement planned: its requests (before claiming) and the parts to send.
    struct PlanResult {
        QList<AnnounceRequest> requests;
        QStringList keyFiles; // of each request
        qsizetype addresses = 0;
        qsizetype hosts = 0;
        qsizetype batches = 0;
        QList<Segment> segments;
    };
    // Batches of pages, with the pages of each (nullptr when not kept).
    struct PageBatches {
        QList<AnnounceBatch> batches;
        QList<std::shared_ptr<const QList<HistoryPage>>> pages;
    };
    // Each host's pages (hosts: an index into hostNames) cut into batches, hosts in their order.
    static PageBatches cutBatches(const QList<HistoryPage>& pages, const QList<int>& hosts,
                                  const QStringList& hostNames, bool keepPages);
    // Where the engines look for the key's file for one batch ("address\nkey"); empty when nowhere.
    static QString keyFileId(const AnnounceTarget& target, const AnnounceBatch& batch);

    void setPhase(Phase phase);
    void readNext();
    void fetched(const Pending& item, const FetchReply& reply);
    void parse(const Pending& item, QByteArray bytes, QString path);
    void parsed(const Pending& item, const FileResult& result);
    void followChildren(const Pending& item, const QStringList& children);
    void stopReading(const QString& why);
    void endGathering();
    void recount();
    void planned(PlanResult plan);
    void checkKeyFiles();
    void keyFilesChecked();
    void keyFileChecked(const QString& id, const KeyFileCheck& check);
    void startSending(const QList<AnnounceRequest>& requests, const QStringList& keyFiles);
    void startSending(QList<Segment> segments);
    void sendNextSegment();
    void segmentSent();
    // The pages' states for the engine groups of targets, then next on this job's thread.
    void workOutStates(const QList<AnnounceTarget>& targets, std::function<void()> next);
    void statesWorkedOut(std::shared_ptr<PageStates> states);
    void planNewOrChanged();
    // The history, opened; nullptr when none is kept (its message said once).
    HistoryStore* usableHistory();
    QString siteHost() const;
    QString groupOf(const QString& title) const;
    void keepRecord(const ResultRecord& record);
    void beginHistoryJob();
    void finishHistoryJob();
    void planEveryPage();
    void resendRecords(const QList<ResultRecord>& records, const QStringList& keyFiles);
    // Gives a refused record what its key file check found; true when the record changed.
    bool attachKeyFile(int index);
    void finishAnnouncement();
    void say(const QString& text, bool problem = true) { emit message(text, problem); }

    // Runs work on a worker thread, then done on this job's thread (dropped if the job is gone).
    template <typename Result> void offThread(std::function<Result()> work, std::function<void(Result)> done) {
        ++m_workers;
        QThreadPool::globalInstance()->start(
            [self = QPointer<AnnounceJob>(this), work = std::move(work), done = std::move(done)]() mutable {
                auto result = std::make_shared<Result>(work());
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, result, done = std::move(done)] {
                        if (self)
                            self->workDone([&] { done(std::move(*result)); });
                    },
                    Qt::QueuedConnection);
            });
    }
    // Hands over what a finished work found, then starts a gathering that waited for the workers.
    void workDone(const std::function<void()>& handOver);

    Fetcher& m_fetcher;
    AnnounceSender* m_sender = nullptr;
    std::function<QDateTime()> m_wallClock;
    SitemapLimits m_limits;
    QString m_siteUrl;
    QString m_profilePath;
    bool m_checkKeyFiles = true;
    Phase m_phase = Phase::Idle;
    bool m_cancelled = false;
    int m_workers = 0;            // works running on worker threads
    bool m_startWhenFree = false; // a gathering waits for them
    quint64 m_countGeneration = 0;

    // The gathering, shared with the worker thread while it writes.
    std::shared_ptr<PageGathering> m_pages;
    AnnounceCounts m_counts;
    QDateTime m_since;

    QList<Pending> m_given; // the sources still to read, in order
    QList<Pending> m_queue; // the files of the source being read, in order of discovery
    QSet<QString> m_known;  // every sitemap address met in this gathering
    int m_children = 0;
    int m_sitemapsRead = 0;
    int m_sitemapsKnown = 0;
    qint64 m_bytes = 0;
    bool m_childLimitSaid = false;
    bool m_stopped = false; // a limit or cancel ended the reading
    Fetcher::RequestId m_fetchId = 0;
    QStringList m_unreadable;
    qsizetype m_addedBefore = 0;
    Fetcher::RequestId m_robotsId = 0;

    // The announcement.
    QList<AnnounceTarget> m_targets;
    QList<AnnounceRequest> m_plan;
    struct KeyFileState {
        QUrl url;
        QString key;
        bool done = false;
        KeyFileCheck result;
        Fetcher::RequestId request = 0;
    };
    QHash<QString, KeyFileState> m_keyFiles; // by key file address and key
    QStringList m_planKeyFiles;              // the key file of each planned request
    QStringList m_sentKeyFiles;              // of each request sent
    bool m_finishWhenChecked = false;
    QStringList m_keyProblems;
    RunResults m_results;

    // The history.
    HistoryStore* m_history = nullptr;
    HistoryJob::Face m_face = HistoryJob::Face::Window;
    AnnounceChoice m_choice = AnnounceChoice::EveryPage;
    QList<AnnounceTarget> m_stateTargets;
    SharedEngines m_stateMode = SharedEngines::OneOnly;
    QList<ClassifiedPage> m_pageStates; // by gathered index; empty: every page New
    qsizetype m_stateCounts[4] = {0, 0, 0, 0};
    QList<GonePage> m_gone;
    QString m_goneReason;
    bool m_siteHasHistory = false;
    quint64 m_stateGeneration = 0;
    std::shared_ptr<const PageStates> m_states;
    QString m_historySaid; // the history's message, said once
    // What the gathering read: sitemap failures (a child or source not read whole, a limit, a
    // cancel) and the hosts of the sitemaps read (of their address, and of the pages they list).
    int m_sitemapFailures = 0;
    QSet<QString> m_sitemapHosts;
    // The announcement's parts still to send, and what each record sent belongs to.
    QList<Segment> m_segments;
    QList<std::shared_ptr<const QList<HistoryPage>>> m_sentPages; // by sender record
    QStringList m_sentGroups;                                     // by sender record
    int m_senderRecords = 0;
    int m_progressBase = 0;    // records of the parts sent before the current one
    QSet<QString> m_keyFailed; // key files found missing, not sent to unless sent anyway
    qint64 m_historyJob = -1;
    QString m_dateRule;
};
