#include "cli/announce_job.h"

#include "announce/core/announce_job.h"
#include "announce/core/announce_targets.h"
#include "announce/core/announce_texts.h"
#include "cli/command_line.h"
#include "cli/google_connection.h"
#include "cli/job_input.h"
#include "cli/stop_signals.h"
#include "history/core/history_store.h"
#include "indexnow/core/indexnow_key.h"
#include "indexnow/core/key_file_check.h"
#include "net/core/network_fetcher.h"
#include "platform/clock.h"
#include "submit/core/result_text.h"
#include "submit/core/run_report.h"

#include <QEventLoop>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Refused addresses listed one by one before the rest are only counted.
constexpr int kRefusalsListed = 20;

// What the gathering found that the user should know about.
void reportGathering(const PageGathering& gathering, bool quiet) {
    int listed = 0;
    for (const GatheredPage& page : gathering.pages()) {
        if (page.status != GatheredPage::Status::Refused)
            continue;
        if (++listed > kRefusalsListed)
            break;
        printError(u"Refused %1: %2"_s.arg(page.address, page.reason));
    }
    if (gathering.refusedCount() > kRefusalsListed)
        printError(u"… and %1 more refused."_s.arg(
            countedText(gathering.refusedCount() - kRefusalsListed, u"address", u"addresses")));
    for (const HostCount& host : gathering.hosts()) {
        if (host.foreign)
            printError(
                u"%1 is not the Site URL's host: engines refuse its pages unless it serves the key file too."_s.arg(
                    host.host));
    }
    if (!quiet) {
        printLine(
            u"%1 gathered (%2, %3 refused)."_s.arg(countedText(gathering.acceptedCount(), u"address", u"addresses"),
                                                   countedText(gathering.duplicateCount(), u"duplicate", u"duplicates"),
                                                   QString::number(gathering.refusedCount())));
    }
}

// How many pages are in each state, before anything is sent.
void reportStates(const AnnounceJob& job) {
    printLine(u"Pages: %1 new, %2 changed since announced, %3 unchanged, %4 gone from the sitemap."_s.arg(
        QString::number(job.stateCount(PageState::New)), QString::number(job.stateCount(PageState::Changed)),
        QString::number(job.stateCount(PageState::Unchanged)), QString::number(job.stateCount(PageState::Gone))));
}

QString recordLine(const ResultRecord& record) {
    if (!record.isBatch()) // a sitemap submitted to Google Search Console
        return u"[Engine] %1...%2"_s.arg(record.title, verdictText(record.verdict));
    return u"[Engine] %1 (%2)...%3"_s.arg(record.title, countedText(record.batchSize, u"address", u"addresses"),
                                          verdictText(record.verdict));
}

// The engines to send to, after saying which engines of the list are left out and why.
QList<AnnounceTarget> listedTargets(const JobInput& input, bool* leftOut) {
    const IndexNowTargets found = indexNowTargets(input.catalogue, input.currentList, input.fields.Site_URL);
    for (const QString& problem : found.problems)
        printError(problem);
    *leftOut = !found.problems.isEmpty();
    return found.targets;
}

// Writes the report when one was asked for; false when it could not be written.
bool writeReport(const CommandLine& command, const RunResults& results) {
    if (command.report.isEmpty())
        return true;
    if (const QString error = saveRunReport(command.report, results); !error.isEmpty()) {
        printError(error);
        return false;
    }
    return true;
}

// Prints what the job says and, as each request is answered, its line (then, unless quiet, the
// waits it took and what the answer means); the connections last as long as context.
void printProgress(AnnounceJob& job, QObject* context, bool quiet) {
    QObject::connect(&job, &AnnounceJob::message, context, [quiet](const QString& text, bool problem) {
        if (problem)
            printError(text);
        else if (!quiet)
            printLine(text);
    });
    // A wait is said under the line of the engine it was for, once that engine has answered.
    auto waits = std::make_shared<QStringList>();
    QObject::connect(&job, &AnnounceJob::waiting, context, [waits](int, const QString& text) {
        const QString line = u"    "_s + text + u'.';
        if (waits->isEmpty() || !waits->constLast().startsWith(line.section(u';', 0, 0)))
            waits->append(line);
    });
    QObject::connect(&job, &AnnounceJob::recorded, context, [&job, waits, quiet](int index) {
        const ResultRecord& record = job.results().records.at(index);
        printLine(recordLine(record));
        if (!quiet) {
            for (const QString& wait : std::as_const(*waits))
                printLine(wait);
            printLine(u"    "_s + resultSummary(record));
            if (!record.isBatch() && !record.reason.isEmpty()) // Google's state of the sitemap
                printLine(u"    "_s + record.reason);
        }
        waits->clear();
    });
}

// The end of a sending: the exit status (at least `status`, raised by the records), "Done" or
// the interruption, and the report.
int finishSending(const AnnounceJob& job, const CommandLine& command, const StopSignals& stops, int status) {
    for (const ResultRecord& record : job.results().records) {
        // A sitemap not submitted to Google (a local file) is said in its record, not a failure.
        if (record.verdict == ResultRecord::Verdict::Error || (record.failed() && record.isBatch()))
            status = ExitSomeFailed;
    }
    if (!job.keyFileProblems().isEmpty()) {
        status = ExitSomeFailed;
        printError(u"Nothing was sent to the hosts whose key file is missing or holds something else "
                   u"(--no-key-check sends anyway)."_s);
    }
    if (stops.received()) {
        printError(u"Interrupted: the batches not answered are SKIPPED."_s);
        status = ExitInterrupted;
    } else {
        printLine(u"Done"_s);
    }
    if (!writeReport(command, job.results()) && status != ExitInterrupted)
        status = ExitBadInput;
    return status;
}

} // namespace

int runAnnounceJob(const CommandLine& command) {
    JobInput input;
    if (const QString error = loadJobInput(command.profile, command.catalogue, input); !error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }
    bool leftOut = false;
    const QList<AnnounceTarget> targets = listedTargets(input, &leftOut);
    if (targets.isEmpty())
        return ExitBadInput;

    StopSignals stops;
    NetworkFetcher fetcher;
    SystemClock clock;
    HistoryStore history(historyLocation(command.history, command.noHistory));
    AnnounceJob job(fetcher, clock);
    // With a Google key (or token), the sitemaps read are submitted to Search Console as well.
    GoogleConnection google(fetcher, clock);
    QString googleProblem;
    switch (google.connect(command, input.fields, &googleProblem)) {
    case GoogleConnection::Outcome::NoKey:
        break;
    case GoogleConnection::Outcome::BadInput:
        printError(googleProblem);
        return ExitBadInput;
    case GoogleConnection::Outcome::Failed:
        printError(googleProblem + u" The sitemaps are not submitted to Google this time."_s);
        leftOut = true;
        break;
    case GoogleConnection::Outcome::Connected:
        job.setGoogle(&google.client(), google.property());
        break;
    }
    job.setSiteUrl(input.fields.Site_URL);
    job.setProfilePath(input.profilePath);
    job.setKeyFileCheck(!command.noKeyCheck);
    job.setHistory(&history, HistoryJob::Face::CommandLine);
    // With a history, only what is new or changed unless told otherwise.
    job.setChoice(command.since.isValid() ? AnnounceChoice::ChangedSince
                  : command.everyPage     ? AnnounceChoice::EveryPage
                                          : AnnounceChoice::NewOrChanged,
                  command.since);
    const SharedEngines mode = command.allShared ? SharedEngines::All : SharedEngines::OneOnly;
    job.setStateTargets(targets, mode);
    QEventLoop loop;
    printProgress(job, &loop, command.quiet);
    QObject::connect(&job, &AnnounceJob::idle, &loop, &QEventLoop::quit);
    QObject::connect(&stops, &StopSignals::stopRequested, &job, &AnnounceJob::cancel);
    const auto runUntilIdle = [&] {
        if (job.busy())
            loop.exec();
    };

    QList<AnnounceSource> sources;
    for (const QString& source : command.sources)
        sources.append(AnnounceSource::fromArgument(source));
    job.gather(sources);
    runUntilIdle();
    if (stops.received()) {
        printError(u"Interrupted while reading the sources: nothing was sent."_s);
        writeReport(command, job.results());
        return ExitInterrupted;
    }
    if (!job.unreadableSources().isEmpty())
        return ExitBadInput;
    reportGathering(job.gathering(), command.quiet);
    if (job.gathering().acceptedCount() == 0) {
        printError(u"No address to announce."_s);
        return ExitBadInput;
    }
    if (history.isUsable() && !command.quiet)
        reportStates(job);
    if (!job.goneNotWorkedOut().isEmpty() && job.choice() == AnnounceChoice::NewOrChanged && history.isUsable())
        printError(job.goneNotWorkedOut());
    if (command.since.isValid() && !command.quiet)
        printLine(u"%1 not changed since %2 left out."_s.arg(
            countedText(job.counts().leftOut, u"address", u"addresses"), isoTimeWithOffset(command.since)));

    // Without --no-key-check, a host whose key file is missing is not sent to.
    QObject::connect(&job, &AnnounceJob::keyFileQuestion, &loop, [&] {
        QMetaObject::invokeMethod(
            &job, [&] { job.answerKeyFileQuestion(false); }, Qt::QueuedConnection);
    });
    job.announce(targets, mode);
    runUntilIdle();

    // An engine of the list left out got nothing: not everything went well.
    return finishSending(job, command, stops, leftOut ? ExitSomeFailed : ExitAllOk);
}

int runResendBatchesJob(const CommandLine& command, const QList<ResultRecord>& batches) {
    JobInput input;
    if (const QString error = loadJobInput(command.profile, command.catalogue, input); !error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }
    StopSignals stops;
    NetworkFetcher fetcher;
    SystemClock clock;
    HistoryStore history(historyLocation(command.history));
    AnnounceJob job(fetcher, clock);
    job.setSiteUrl(input.fields.Site_URL);
    job.setProfilePath(input.profilePath);
    job.setHistory(&history, HistoryJob::Face::CommandLine);
    // The engines of the profile with their Shares groups, so that the pages sent again update
    // the same page states as the announcement that failed (every engine: the failed one may not
    // be the one of its group chosen first).
    job.setStateTargets(indexNowTargets(input.catalogue, input.currentList, input.fields.Site_URL).targets,
                        SharedEngines::All);
    QEventLoop loop;
    printProgress(job, &loop, command.quiet);
    QObject::connect(&job, &AnnounceJob::idle, &loop, &QEventLoop::quit);
    QObject::connect(&stops, &StopSignals::stopRequested, &job, &AnnounceJob::cancel);
    job.resendFailed(batches);
    if (job.busy())
        loop.exec();
    return finishSending(job, command, stops, ExitAllOk);
}

int runCheckKeyJob(const CommandLine& command) {
    JobInput input;
    if (const QString error = loadJobInput(command.profile, command.catalogue, input); !error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }
    const QString key = indexNowKeyInUse(input.catalogue, input.currentList);
    if (key.isEmpty()) {
        printError(u"[Engine Data] No engine of the profile's current list has an IndexNow key."_s);
        return ExitBadInput;
    }
    if (const QString problem = indexNowKeyProblem(key); !problem.isEmpty()) {
        printError(problem);
        return ExitBadInput;
    }
    const KeyFileAddress address = indexNowKeyFileAddress(input.fields.Site_URL, key);
    if (!address.url.isValid()) {
        printError(address.problem);
        return ExitBadInput;
    }

    StopSignals stops;
    NetworkFetcher fetcher;
    QEventLoop loop;
    KeyFileCheck result;
    bool done = false;
    const Fetcher::RequestId id = checkKeyFile(fetcher, address.url, key, &loop, [&](const KeyFileCheck& check) {
        result = check;
        done = true;
        loop.quit();
    });
    QObject::connect(&stops, &StopSignals::stopRequested, &loop, [&] {
        fetcher.cancel(id);
        loop.quit();
    });
    if (!done)
        loop.exec();
    if (!done) {
        printError(u"Interrupted."_s);
        return ExitInterrupted;
    }
    printLine(result.sentence());
    return result.outcome == KeyFileCheck::Outcome::Found ? ExitAllOk : ExitSomeFailed;
}
