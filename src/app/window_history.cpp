#include "app/window_history.h"

#include "submit/ui/results_window.h"

#include <QFileInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString when(const QDateTime& time) {
    return time.isValid() ? time.toString(u"yyyy-MM-dd HH:mm"_s) : QString();
}

QString standingText(ResultRecord::Verdict verdict, const QDateTime& time) {
    return verdict == ResultRecord::Verdict::Pending ? u"never"_s : verdictText(verdict) + u"  "_s + when(time);
}

QString kindText(bool announcement) {
    return announcement ? u"Announcement"_s : u"Submit"_s;
}

// A profile as the list names it: its file name, or a dash for one never saved.
QString profileName(const QString& path) {
    return path.isEmpty() ? u"\u2013"_s : QFileInfo(path).fileName();
}

} // namespace

WindowHistory::WindowHistory()
    : m_store(std::make_unique<HistoryStore>(historyLocation())), m_journal(m_store.get(), HistoryJob::Face::Window) {}

bool WindowHistory::readable() {
    return m_store->open();
}

void WindowHistory::fill(ResultsWindow& window, const RunResults& lastRun, bool announcement, const QString& siteUrl) {
    const auto count = [&lastRun](bool failed) {
        return QString::number(
            std::count_if(lastRun.records.begin(), lastRun.records.end(), [&](const ResultRecord& r) {
                return failed ? r.failed() : r.verdict == ResultRecord::Verdict::Ok;
            }));
    };
    QList<QStringList> rows{{u"Last run"_s, lastRun.records.isEmpty() ? u"none yet"_s : kindText(announcement),
                             profileName(lastRun.profilePath), count(false), count(true)}};
    QList<qint64> ids{-1};
    QList<QStringList> standing;
    m_kinds.clear();
    if (readable()) {
        for (const HistoryJob& job : m_store->jobs()) {
            rows.append({when(job.started), kindText(job.kind == HistoryJob::Kind::Announcement),
                         profileName(job.profilePath), QString::number(job.okCount),
                         QString::number(job.errorCount + job.skippedCount)});
            ids.append(job.id);
            m_kinds.insert(job.id, job.kind);
        }
        for (const EngineStanding& engine : m_store->standing(historySiteHost(siteUrl))) {
            standing.append({engine.title, standingText(engine.submitVerdict, engine.submitTime),
                             standingText(engine.announceVerdict, engine.announceTime)});
        }
    }
    const QString message = m_store->message();
    window.setHistoryNote(!message.isEmpty()                                        ? message
                          : m_store->location().kind == HistoryLocation::Kind::None ? u"No history is kept."_s
                                                                                    : QString());
    window.setJobs(rows, ids);
    window.setStanding(standing);
}

qint64 WindowHistory::lastSubmitOf(const QString& profilePath) {
    if (profilePath.isEmpty() || !readable())
        return -1;
    for (const HistoryJob& job : m_store->jobs(profilePath)) {
        if (job.kind == HistoryJob::Kind::Submit)
            return job.id;
    }
    return -1;
}

QStringList WindowHistory::failedEngines(qint64 jobId) {
    QStringList titles;
    if (jobId >= 0 && readable()) {
        for (const ResultRecord& record : m_store->failedRecords(jobId))
            titles.append(record.title);
    }
    return titles;
}

QList<ResultRecord> WindowHistory::failedBatches(qint64 jobId) {
    QList<ResultRecord> records = jobId >= 0 && readable() ? m_store->failedRecords(jobId) : QList<ResultRecord>();
    records.removeIf([](const ResultRecord& record) { return !record.isBatch(); });
    return records;
}
