// HistoryStore: what the window and the command line read back.

#include "history/core/history_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

QDateTime localTime(const QVariant& milliseconds) {
    return milliseconds.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(milliseconds.toLongLong());
}

ResultRecord::Verdict verdictOf(int stored) {
    return stored >= 0 && stored <= static_cast<int>(ResultRecord::Verdict::Pending)
               ? static_cast<ResultRecord::Verdict>(stored)
               : ResultRecord::Verdict::Error;
}

// The verdict of one engine in one job from its records' verdicts: ERROR when any failed,
// OK when all succeeded, else SKIPPED.
ResultRecord::Verdict combined(ResultRecord::Verdict so, ResultRecord::Verdict next) {
    using V = ResultRecord::Verdict;
    if (so == V::Pending || next == V::Error)
        return next;
    if (so == V::Error || next == V::Pending)
        return so;
    return so == V::Ok && next == V::Ok ? V::Ok : V::Skipped;
}

const QString kJobColumns = u"SELECT j.id, j.kind, j.face, j.started, j.finished, j.profile, s.host, j.date_rule, "
                            "j.shared_notices, "
                            "(SELECT count(*) FROM records r WHERE r.job_id = j.id AND r.verdict = 0), "
                            "(SELECT count(*) FROM records r WHERE r.job_id = j.id AND r.verdict = 1), "
                            "(SELECT count(*) FROM records r WHERE r.job_id = j.id AND r.verdict = 2) "
                            "FROM jobs j JOIN sites s ON s.id = j.site_id "_s;

HistoryJob jobOf(const QSqlQuery& query) {
    HistoryJob job;
    job.id = query.value(0).toLongLong();
    job.kind = query.value(1).toInt() == 0 ? HistoryJob::Kind::Submit : HistoryJob::Kind::Announcement;
    job.face = query.value(2).toInt() == 0 ? HistoryJob::Face::Window : HistoryJob::Face::CommandLine;
    job.started = localTime(query.value(3));
    job.finished = localTime(query.value(4));
    job.profilePath = query.value(5).toString();
    job.siteHost = query.value(6).toString();
    job.dateRule = query.value(7).toString();
    const QString notices = query.value(8).toString();
    job.sharedNotices = notices.isEmpty() ? QStringList() : notices.split(u'\n');
    job.okCount = query.value(9).toInt();
    job.errorCount = query.value(10).toInt();
    job.skippedCount = query.value(11).toInt();
    return job;
}

} // namespace

QList<HistoryJob> HistoryStore::jobs(const QString& profilePath) const {
    QList<HistoryJob> result;
    if (m_state != State::Open)
        return result;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(kJobColumns + (profilePath.isEmpty() ? QString() : u"WHERE j.profile = ? "_s) +
                  u"ORDER BY j.started DESC, j.id DESC"_s);
    if (!profilePath.isEmpty())
        query.addBindValue(HistoryDialect::text(profilePath));
    if (!query.exec())
        return result;
    while (query.next())
        result.append(jobOf(query));
    return result;
}

RunResults HistoryStore::jobResults(qint64 jobId) const {
    RunResults results;
    if (m_state != State::Open)
        return results;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(kJobColumns + u"WHERE j.id = ?"_s);
    query.addBindValue(jobId);
    if (!query.exec() || !query.next())
        return results;
    const HistoryJob job = jobOf(query);
    results.started = job.started;
    results.finished = job.finished;
    results.profilePath = job.profilePath;
    results.sharedNotices = job.sharedNotices;
    query.finish();
    query.prepare(u"SELECT title, url, verdict, http_status, failure, error, page_title, reason, milliseconds, "
                  "meaning, key_file, batch_size, batch_first, batch_last, batch_body FROM records WHERE job_id = ? "
                  "ORDER BY seq"_s);
    query.addBindValue(jobId);
    if (!query.exec())
        return results;
    while (query.next()) {
        ResultRecord record;
        record.title = query.value(0).toString();
        record.url = query.value(1).toString();
        record.verdict = verdictOf(query.value(2).toInt());
        record.httpStatus = query.value(3).toInt();
        const int failure = query.value(4).toInt();
        record.failure = failure >= 0 && failure <= static_cast<int>(NetworkFailure::Other)
                             ? static_cast<NetworkFailure>(failure)
                             : NetworkFailure::Other;
        record.error = query.value(5).toString();
        record.pageTitle = query.value(6).toString();
        record.reason = query.value(7).toString();
        record.milliseconds = query.value(8).toLongLong();
        record.meaning = query.value(9).toString();
        record.keyFile = query.value(10).toString();
        record.batchSize = query.value(11).toInt();
        record.batchFirst = query.value(12).toString();
        record.batchLast = query.value(13).toString();
        record.batchBody = query.value(14).toString().toUtf8();
        results.records.append(record);
    }
    return results;
}

qint64 HistoryStore::lastJobOf(const QString& profilePath) const {
    if (m_state != State::Open)
        return -1;
    QSqlQuery query(m_db);
    query.prepare(u"SELECT id FROM jobs WHERE profile = ? ORDER BY started DESC, id DESC LIMIT 1"_s);
    query.addBindValue(HistoryDialect::text(profilePath));
    return query.exec() && query.next() ? query.value(0).toLongLong() : -1;
}

QList<ResultRecord> HistoryStore::failedRecords(qint64 jobId) const {
    QList<ResultRecord> records = jobResults(jobId).records;
    records.removeIf([](const ResultRecord& record) { return !record.failed(); });
    return records;
}

QList<EngineStanding> HistoryStore::standing(const QString& siteHost) const {
    QList<EngineStanding> result;
    if (m_state != State::Open)
        return result;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(u"SELECT j.id, j.kind, r.title, r.verdict, r.recorded FROM records r JOIN jobs j ON j.id = r.job_id "
                  "JOIN sites s ON s.id = j.site_id WHERE s.host = ? ORDER BY j.started DESC, j.id DESC, r.seq"_s);
    query.addBindValue(HistoryDialect::text(siteHost));
    if (!query.exec())
        return result;
    QHash<QString, qsizetype> engines;
    QHash<QString, qint64> jobOfEngine[2]; // by kind: the newest job that reached the engine
    while (query.next()) {
        const qint64 job = query.value(0).toLongLong();
        const int kind = query.value(1).toInt() == 0 ? 0 : 1;
        const QString title = query.value(2).toString();
        const ResultRecord::Verdict verdict = verdictOf(query.value(3).toInt());
        const QDateTime time = localTime(query.value(4));
        qsizetype index = engines.value(title, -1);
        if (index < 0) {
            index = result.size();
            engines.insert(title, index);
            EngineStanding engine;
            engine.title = title;
            result.append(engine);
        }
        const qint64 newest = jobOfEngine[kind].value(title, job);
        if (newest != job)
            continue; // an older job of that engine
        jobOfEngine[kind].insert(title, job);
        EngineStanding& engine = result[index];
        ResultRecord::Verdict& so = kind == 0 ? engine.submitVerdict : engine.announceVerdict;
        QDateTime& when = kind == 0 ? engine.submitTime : engine.announceTime;
        so = combined(so, verdict);
        if (!when.isValid() || time > when)
            when = time;
    }
    return result;
}

PageHistory HistoryStore::pageHistory(const QString& siteHost, const QString& group) const {
    PageHistory history;
    if (m_state != State::Open)
        return history;
    const qint64 site = existingId(u"sites"_s, u"host"_s, siteHost);
    const qint64 groupId = site < 0 ? -1 : existingId(u"engine_groups"_s, u"name"_s, group);
    if (groupId < 0)
        return history;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    // Two columns, the verdict in the low bits of the second: a million rows read noticeably faster.
    query.prepare(u"SELECT hash, COALESCE(ok_announced, 0) * 4 + verdict FROM page_states WHERE site_id = ? AND "
                  "group_id = ?"_s);
    query.addBindValue(site);
    query.addBindValue(groupId);
    if (!query.exec())
        return history;
    while (query.next()) {
        const qint64 state = query.value(1).toLongLong();
        history.add({query.value(0).toLongLong(), state >> 2, static_cast<PageVerdict>(state & 3)});
    }
    return history;
}

PageClassification HistoryStore::classifyPages(const QString& siteHost, const QString& group,
                                               const QList<HistoryPage>& pages, bool everySitemapRead) const {
    PageClassification result = ::classifyPages(pageHistory(siteHost, group), pages, everySitemapRead);
    nameGonePages(siteHost, result);
    return result;
}

void HistoryStore::nameGonePages(const QString& siteHost, PageClassification& result) const {
    if (result.gone.isEmpty() || m_state != State::Open)
        return;
    QSqlQuery query(m_db);
    query.prepare(u"SELECT address FROM pages WHERE site_id = ? AND hash = ?"_s);
    const qint64 site = existingId(u"sites"_s, u"host"_s, siteHost);
    for (GonePage& page : result.gone) {
        query.addBindValue(site);
        query.addBindValue(page.key);
        if (query.exec() && query.next())
            page.address = query.value(0).toString();
        query.finish();
    }
    result.gone.removeIf([](const GonePage& page) { return page.address.isEmpty(); });
    result.counts[static_cast<int>(PageState::Gone)] = result.gone.size();
}
