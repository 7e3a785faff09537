#pragma once

#include "platform/network_failure.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// What became of one request: an engine of a run, or one batch of addresses announced to one
// engine. The message log says only OK or ERROR; a record says why.
struct ResultRecord {
    // Pending: not judged yet (the run is still going). Skipped: left by Next or Stop, or never
    // sent. A finished run holds no Pending record.
    enum class Verdict { Ok, Error, Skipped, Pending };

    QString title;                                 // the engine's title
    QString url;                                   // the request URL exactly as sent
    Verdict verdict = Verdict::Skipped;            // Skipped: left by Next or Stop, or never sent
    int httpStatus = 0;                            // 0 when no HTTP answer arrived
    NetworkFailure failure = NetworkFailure::None; // why no HTTP answer arrived
    QString error;                                 // the network error's text when no status arrived
    QString pageTitle;                             // the answer page's title
    QString reason;                                // the first 500 characters of the page's visible text
    qint64 milliseconds = 0;                       // from the request to the verdict
    QString meaning;                               // one plain sentence for the status (answerMeaning)
    // An IndexNow endpoint that answered 403 or 422 (the key refused): what the run's check of
    // the key file found, in one sentence. Empty for every other record.
    QString keyFile;

    // For a batch of announced addresses; batchSize stays 0 for the record of one engine of a run.
    int batchSize = 0;    // how many addresses the batch held
    QString batchFirst;   // its first address
    QString batchLast;    // and its last
    QByteArray batchBody; // the request body as sent (JSON): POSTing it to url again re-sends the batch

    bool isBatch() const { return batchSize > 0; }
    // ERROR or SKIPPED: what "Submit Failed Again" sends once more.
    bool failed() const { return verdict == Verdict::Error || verdict == Verdict::Skipped; }
};

// The verdict as reports and the Results window write it: "OK", "ERROR", "SKIPPED", "PENDING".
QString verdictText(ResultRecord::Verdict verdict);

// The records of the last run (or announcement), in the order the requests were made.
struct RunResults {
    QDateTime started;   // null before the first run
    QDateTime finished;  // null while the run is going
    QString profilePath; // empty when the profile was never saved
    // Said above the records: the run's engines that share what they receive (one line per group).
    QStringList sharedNotices;
    QList<ResultRecord> records;

    // The titles of the failed records (ERROR or SKIPPED), in their order.
    QStringList failedTitles() const;
    bool hasFailed() const { return !failedTitles().isEmpty(); }
};
