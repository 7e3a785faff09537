#pragma once

#include "announce/core/announce_batch.h"
#include "net/core/fetcher.h"
#include "submit/core/result_record.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class Clock;

// One IndexNow engine to announce to.
struct AnnounceTarget {
    QString title;
    QString url;         // the engine's endpoint, from the catalogue
    QString key;         // the IndexNow key
    QString keyLocation; // the key file's address; empty when it is at the host's root
    QString shares;      // the engine's Shares group; empty when it shares with none
};

// Engines of one Shares group pass each submission on to the others.
enum class SharedEngines {
    OneOnly, // the first engine of each group stands for the group
    All,     // every engine is sent every batch
};

// The targets to send to, in their order.
QList<AnnounceTarget> chooseTargets(const QList<AnnounceTarget>& targets, SharedEngines mode);

// One POST of one batch to one engine.
struct AnnounceRequest {
    QString title;
    QString url;
    QByteArray body; // the JSON body
    int batchSize = 0;
    QString first;
    QString last;
    int batchNumber = 0; // which of the engine's batches this is, from 1; 0 when unknown
    int batchCount = 0;  // of how many
    // When set, the request is recorded SKIPPED with this meaning and not sent (the key file of
    // its host was not found, and the user chose not to announce anyway); keyFile says what the
    // check found.
    QString notSent;
    QString keyFile;
};

// Every batch to every target, batch by batch. A target's keyLocation is named only in the
// batches of its own host. Targets with the same key and key file share one copy of each body.
// Each request is numbered among its engine's batches.
QList<AnnounceRequest> planAnnouncement(const QList<AnnounceBatch>& batches, const QList<AnnounceTarget>& targets);

// The requests of the batch records that did not succeed (failed, or never sent), to send again.
QList<AnnounceRequest> requestsToResend(const QList<ResultRecord>& records);

// The meaning of the records of an engine whose waiting budget is spent.
QString waitedTooLongText();

// How long a Retry-After value asks to wait, in milliseconds: delay-seconds, or an HTTP date
// taken against `now` (the answer's own Date header when it has one). −1 when unreadable.
qint64 retryAfterMilliseconds(const QByteArray& value, const QDateTime& now);

// Sends announcement requests one after another through the fetcher and records one
// ResultRecord per request.
//
// States: Idle, Sending (a request in flight) and Waiting (before sending the current request
// again). A 429 answer is waited out as its Retry-After asks (without a readable Retry-After,
// kDefaultRateLimitWaitMs); each engine has a budget for one start(): at most kMaxRateLimitWaits
// waits and kMaxWaitMs of waiting in all. A 429 past the budget is recorded ERROR, and so are the
// engine's later requests, unsent. A 5xx answer is sent again once after kServerErrorWaitMs.
// Waits are measured on the clock and checked by tick(): a single-shot timer calls it when the
// wait is over (a 1-second timer only updates the countdown), and tests may call it themselves
// after moving a fake clock. cancel() ends the announcement at once, recording the current and
// the remaining requests as skipped.
class AnnounceSender : public QObject {
    Q_OBJECT

public:
    enum class State { Idle, Sending, Waiting };

    static constexpr int kMaxRateLimitWaits = 3;
    static constexpr qint64 kMaxWaitMs = 10 * 60 * 1000;
    static constexpr qint64 kDefaultRateLimitWaitMs = 60 * 1000;
    static constexpr qint64 kServerErrorWaitMs = 30 * 1000;
    static constexpr int kRequestTimeoutMs = 30000;

    // Both must outlive the sender.
    AnnounceSender(Fetcher& fetcher, const Clock& clock, QObject* parent = nullptr);

    // Where the time of day comes from (for Retry-After dates); the system clock by default.
    void setWallClock(std::function<QDateTime()> now) { m_wallClock = std::move(now); }

    // Starts sending; ignored unless Idle. Empty: finishes at once.
    void start(const QList<AnnounceRequest>& requests);
    void cancel();
    void tick();

    State state() const { return m_state; }
    bool wasCancelled() const { return m_cancelled; }
    // The records so far; complete after finished().
    const RunResults& results() const { return m_results; }

signals:
    // done of total requests have their record.
    void progress(int done, int total);
    // While waiting before sending again: the whole seconds left, and a line that names the
    // engine and the batch, says why and when ("E, batch 2 of 2: asked to wait (429); sending
    // again in 3 s").
    void waiting(int secondsLeft, const QString& text);
    void recorded(const ResultRecord& record);
    void finished();

private:
    void sendCurrent();
    void answered(const FetchReply& reply);
    void wait(qint64 milliseconds, const QString& why);
    void emitCountdown(qint64 leftMs);
    // The engine's waiting budget is spent: records the current request ERROR.
    void recordWaitedTooLong(int httpStatus, const QByteArray& body);
    void record(ResultRecord record);
    ResultRecord baseRecord() const;
    void finish();

    Fetcher& m_fetcher;
    const Clock& m_clock;
    std::function<QDateTime()> m_wallClock;
    QTimer m_timer;       // the countdown, once a second
    QTimer m_resendTimer; // the end of the wait
    State m_state = State::Idle;
    QList<AnnounceRequest> m_requests;
    qsizetype m_current = 0;
    Fetcher::RequestId m_fetchId = 0;
    quint64 m_generation = 0; // answers of an earlier request or run are ignored
    quint32 m_firstSentAt = 0;
    quint32 m_waitStart = 0;
    qint64 m_waitMs = 0;
    QString m_waitReason;
    bool m_waitedBefore = false; // the current request waited at least once: it was sent
    struct WaitBudget {
        int waits = 0;
        qint64 waitedMs = 0;
        bool spent = false;
    };
    QHash<QString, WaitBudget> m_budgets; // by engine
    bool m_serverErrorRetried = false;
    bool m_cancelled = false;
    RunResults m_results;
};
