#include "cli/history_job.h"

#include "cli/announce_job.h"
#include "cli/command_line.h"
#include "cli/job_input.h"
#include "cli/submit_job.h"
#include "history/core/history_store.h"
#include "platform/json_text.h"
#include "platform/text_codec.h"
#include "submit/core/result_text.h"
#include "submit/core/run_report.h"

#include <QFileInfo>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString kindText(HistoryJob::Kind kind) {
    return kind == HistoryJob::Kind::Submit ? u"submit"_s : u"announcement"_s;
}

QString faceText(HistoryJob::Face face) {
    return face == HistoryJob::Face::Window ? u"window"_s : u"command line"_s;
}

// The history the job reads: open, or nullptr after its one message (none when no history was
// ever made: *empty then says so).
std::unique_ptr<HistoryStore> openHistory(const CommandLine& command, bool* empty) {
    auto store = std::make_unique<HistoryStore>(historyLocation(command.history, command.noHistory));
    *empty = false;
    if (!store->open()) {
        printError(store->message().isEmpty() ? u"No history is kept."_s : store->message());
        return nullptr;
    }
    *empty = store->location().kind == HistoryLocation::Kind::SqliteFile && !QFileInfo::exists(store->location().path);
    return store;
}

QByteArray jobsJson(const QString& location, const QList<HistoryJob>& jobs) {
    QByteArray out = "{\"history\": " + jsonString(location) + ", \"jobs\": [";
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const HistoryJob& job = jobs.at(i);
        const auto time = [](const QDateTime& when) {
            return when.isValid() ? jsonString(isoTimeWithOffset(when)) : QByteArray("null");
        };
        out += (i ? ",\n  {" : "\n  {") + QByteArray("\"id\": ") + QByteArray::number(job.id) +
               ", \"kind\": " + jsonString(kindText(job.kind)) + ", \"face\": " + jsonString(faceText(job.face)) +
               ", \"started\": " + time(job.started) + ", \"finished\": " + time(job.finished) +
               ", \"site\": " + jsonString(job.siteHost) +
               ", \"profile\": " + (job.profilePath.isEmpty() ? QByteArray("null") : jsonString(job.profilePath)) +
               ", \"ok\": " + QByteArray::number(job.okCount) + ", \"error\": " + QByteArray::number(job.errorCount) +
               ", \"skipped\": " + QByteArray::number(job.skippedCount) + '}';
    }
    return out + (jobs.isEmpty() ? "]}" : "\n]}");
}

} // namespace

int runHistoryListJob(const CommandLine& command) {
    bool empty = false;
    const std::unique_ptr<HistoryStore> store = openHistory(command, &empty);
    if (!store)
        return ExitBadInput;
    const QString profile = command.profile.isEmpty() ? QString() : QFileInfo(command.profile).absoluteFilePath();
    const QList<HistoryJob> jobs = store->jobs(profile);
    if (command.json) {
        const QByteArray text = jobsJson(store->location().display(), jobs) + '\n';
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        std::fflush(stdout);
        return ExitAllOk;
    }
    if (jobs.isEmpty()) {
        printError(empty ? u"The history %1 holds no job yet."_s.arg(displayText(store->location().display()))
                         : u"The history holds no job%1."_s.arg(profile.isEmpty() ? QString()
                                                                                  : u" of "_s + displayText(profile)));
        return ExitAllOk;
    }
    for (const HistoryJob& job : jobs) {
        printLine(u"%1  %2  %3  %4  OK %5  ERROR %6  SKIPPED %7  %8  %9"_s.arg(
            QString::number(job.id), job.started.toString(u"yyyy-MM-dd HH:mm:ss"_s),
            kindText(job.kind).leftJustified(12), faceText(job.face).leftJustified(12), QString::number(job.okCount),
            QString::number(job.errorCount), QString::number(job.skippedCount),
            job.siteHost.isEmpty() ? u"-"_s : job.siteHost, job.profilePath.isEmpty() ? u"-"_s : job.profilePath));
    }
    return ExitAllOk;
}

int runReportOfJob(const CommandLine& command) {
    bool empty = false;
    const std::unique_ptr<HistoryStore> store = openHistory(command, &empty);
    if (!store)
        return ExitBadInput;
    const RunResults results = store->jobResults(command.reportOf);
    if (!results.started.isValid()) {
        printError(u"The history %1 holds no job %2; --history lists them."_s.arg(
            displayText(store->location().display()), QString::number(command.reportOf)));
        return ExitBadInput;
    }
    if (const QString error = saveRunReport(command.report, results); !error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }
    return ExitAllOk;
}

int runResendFailedJob(const CommandLine& command) {
    QStringList titles;
    QList<ResultRecord> batches;
    {
        bool empty = false;
        const std::unique_ptr<HistoryStore> store = openHistory(command, &empty);
        if (!store)
            return ExitBadInput;
        const QString profile = QFileInfo(command.profile).absoluteFilePath();
        const QList<HistoryJob> jobs = store->jobs(profile);
        if (jobs.isEmpty()) {
            printError(u"The history holds no job of %1."_s.arg(displayText(profile)));
            return ExitBadInput;
        }
        const HistoryJob& last = jobs.constFirst();
        QList<ResultRecord> failed = store->failedRecords(last.id);
        // An announcement sends batches again; a record of one page (Google Search Console's) is none.
        if (last.kind == HistoryJob::Kind::Announcement)
            failed.removeIf([](const ResultRecord& record) { return !record.isBatch(); });
        if (failed.isEmpty()) {
            printLine(
                u"Nothing failed in the last job (%1) of %2."_s.arg(QString::number(last.id), displayText(profile)));
            return ExitAllOk;
        }
        if (last.kind == HistoryJob::Kind::Announcement)
            batches = failed;
        for (const ResultRecord& record : failed)
            titles.append(record.title);
    } // the job opens the history itself
    return batches.isEmpty() ? runSubmitJob(command, &titles) : runResendBatchesJob(command, batches);
}
