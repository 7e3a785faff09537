// HistoryStore: the states of a site's pages, and the claims of jobs sending them.

#include "history/core/history_store.h"
#include "platform/process_identity.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <algorithm>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Pages are written this many to a statement (one round trip to a server for each).
constexpr qsizetype kRowsPerStatement = 100;

QVariant nullableSeconds(qint64 seconds) {
    return seconds == 0 ? QVariant(QMetaType::fromType<qlonglong>()) : QVariant(seconds);
}

// "(?, ?), (?, ?)" for rows of columns.
QString placeholders(qsizetype rows, int columns) {
    QStringList one(columns, u"?"_s);
    QStringList all(rows, u'(' + one.join(u", "_s) + u')');
    return all.join(u", "_s);
}

// The statements that write up to kRowsPerStatement pages of a batch: the page's address, its
// state in the engine group, and the end of this job's claim on it.
class PageWriter {
public:
    PageWriter(QSqlDatabase& db, qsizetype rows) : m_page(db), m_state(db), m_claim(db) {
        m_page.prepare(u"INSERT INTO pages (site_id, hash, address) VALUES %1 ON CONFLICT DO NOTHING"_s.arg(
            placeholders(rows, 3)));
        m_state.prepare(
            u"INSERT INTO page_states (site_id, group_id, hash, lastmod, announced, verdict, ok_announced) "
            "VALUES %1 ON CONFLICT (site_id, group_id, hash) DO UPDATE SET "
            "lastmod = CASE WHEN excluded.ok_announced IS NULL THEN page_states.lastmod ELSE excluded.lastmod END, "
            "announced = excluded.announced, verdict = excluded.verdict, "
            "ok_announced = COALESCE(excluded.ok_announced, page_states.ok_announced)"_s.arg(placeholders(rows, 7)));
        m_claim.prepare(u"DELETE FROM claims WHERE site_id = ? AND group_id = ? AND job_id = ? AND hash IN (%1)"_s.arg(
            QStringList(rows, u"?"_s).join(u", "_s)));
    }

    QSqlQuery m_page;
    QSqlQuery m_state;
    QSqlQuery m_claim;
};

// The pages' keys with their indexes, each key once, in the order of the keys. Rows are written
// in that order by every job, so that two jobs writing the same rows at once never each wait
// for the other (nor does a statement change one row twice).
std::vector<std::pair<qint64, qsizetype>> keyOrder(const QList<HistoryPage>& pages) {
    std::vector<std::pair<qint64, qsizetype>> keys;
    keys.reserve(static_cast<size_t>(pages.size()));
    for (qsizetype i = 0; i < pages.size(); ++i)
        keys.emplace_back(pageKey(pages[i].address), i);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
               keys.end());
    return keys;
}

} // namespace

bool HistoryStore::addAnnouncementRecord(qint64 jobId, const ResultRecord& record, const QString& group,
                                         const QList<HistoryPage>& batch) {
    if (m_state != State::Open || !m_jobSites.contains(jobId)) {
        m_unstored.append(record);
        return false;
    }
    const qint64 site = m_jobSites.value(jobId);
    const bool written = write([&](QString* error) {
        if (!insertRecord(jobId, record, error))
            return false;
        if (batch.isEmpty())
            return true;
        const qint64 groupId = internedId(u"engine_groups"_s, u"name"_s, group, error);
        if (groupId < 0)
            return false;
        const std::vector<std::pair<qint64, qsizetype>> keys = keyOrder(batch);
        const qsizetype count = static_cast<qsizetype>(keys.size());
        const qint64 answered = now().toSecsSinceEpoch();
        const bool ok = record.verdict == ResultRecord::Verdict::Ok;
        std::optional<PageWriter> full;
        std::optional<PageWriter> last;
        for (qsizetype start = 0; start < count; start += kRowsPerStatement) {
            const qsizetype rows = std::min(kRowsPerStatement, count - start);
            std::optional<PageWriter>& slot = rows == kRowsPerStatement ? full : last;
            if (!slot)
                slot.emplace(m_db, rows);
            PageWriter& writer = *slot;
            writer.m_claim.addBindValue(site);
            writer.m_claim.addBindValue(groupId);
            writer.m_claim.addBindValue(jobId);
            for (qsizetype row = start; row < start + rows; ++row) {
                const auto& [key, index] = keys[static_cast<size_t>(row)];
                const HistoryPage& item = batch[index];
                const PageVerdict verdict = !ok         ? PageVerdict::Failed
                                            : item.gone ? PageVerdict::OkGone
                                                        : PageVerdict::Ok;
                for (const QVariant& value : {QVariant(site), QVariant(key), HistoryDialect::text(item.address)})
                    writer.m_page.addBindValue(value);
                for (const QVariant& value :
                     {QVariant(site), QVariant(groupId), QVariant(key),
                      nullableSeconds(item.lastmod.isValid() ? item.lastmod.toSecsSinceEpoch() : 0), QVariant(answered),
                      QVariant(static_cast<int>(verdict)), nullableSeconds(ok ? answered : 0)})
                    writer.m_state.addBindValue(value);
                writer.m_claim.addBindValue(key);
            }
            for (QSqlQuery* query : {&writer.m_page, &writer.m_state, &writer.m_claim}) {
                if (!query->exec()) {
                    *error = query->lastError().text();
                    return false;
                }
            }
        }
        return true;
    });
    if (!written)
        m_unstored.append(record);
    return written;
}

// Releases the site's claims of unfinished jobs of this machine whose program has ended.
bool HistoryStore::releaseEndedClaims(qint64 site, qint64 jobId, QString* error) {
    QSqlQuery jobs(m_db);
    jobs.prepare(u"SELECT id, pid, process_started FROM jobs WHERE site_id = ? AND finished IS NULL AND machine = ? "
                 "AND id <> ? AND EXISTS (SELECT 1 FROM claims WHERE claims.job_id = jobs.id)"_s);
    jobs.addBindValue(site);
    jobs.addBindValue(HistoryDialect::text(currentProcess().machine));
    jobs.addBindValue(jobId);
    if (!jobs.exec()) {
        *error = jobs.lastError().text();
        return false;
    }
    QList<qint64> ended;
    while (jobs.next()) {
        if (processHasEnded({currentProcess().machine, jobs.value(1).toLongLong(), jobs.value(2).toString()}))
            ended.append(jobs.value(0).toLongLong());
    }
    jobs.finish();
    QSqlQuery release(m_db);
    release.prepare(u"DELETE FROM claims WHERE job_id = ?"_s);
    for (const qint64 id : std::as_const(ended)) {
        release.addBindValue(id);
        if (!release.exec()) {
            *error = release.lastError().text();
            return false;
        }
    }
    return true;
}

QList<qsizetype> HistoryStore::claimPages(qint64 jobId, const QString& group, const QList<HistoryPage>& pages,
                                          qsizetype* heldElsewhere) {
    QList<qsizetype> mine;
    qsizetype held = 0;
    if (heldElsewhere)
        *heldElsewhere = 0;
    const auto everyPage = [&] {
        mine.resize(pages.size());
        for (qsizetype i = 0; i < pages.size(); ++i)
            mine[i] = i;
        return mine;
    };
    if (m_state != State::Open || !m_jobSites.contains(jobId))
        return everyPage();
    const qint64 site = m_jobSites.value(jobId);
    const bool written = write([&](QString* error) {
        mine.clear();
        held = 0;
        const qint64 groupId = internedId(u"engine_groups"_s, u"name"_s, group, error);
        if (groupId < 0 || !releaseEndedClaims(site, jobId, error))
            return false;
        const qint64 claimed = now().toSecsSinceEpoch();
        QSqlQuery query(m_db);
        query.prepare(u"DELETE FROM claims WHERE claimed < ?"_s);
        query.addBindValue(claimed - kClaimLifetimeSeconds);
        if (!query.exec()) {
            *error = query.lastError().text();
            return false;
        }
        const QString where = u"site_id = %1 AND group_id = %2 AND hash IN (%3)"_s;
        const QString siteText = QString::number(site);
        const QString groupText = QString::number(groupId);
        const auto keyList = [](const auto& keys) {
            QStringList texts;
            for (const qint64 key : keys)
                texts.append(QString::number(key));
            return texts.join(u',');
        };
        // The keys each statement returns, by running sql (its integers written into it).
        const auto keysOf = [&](const QString& sql, QHash<qint64, PageHistory::Entry>* entries) {
            if (!query.exec(sql)) {
                *error = query.lastError().text();
                return false;
            }
            while (query.next()) {
                PageHistory::Entry entry;
                entry.key = query.value(0).toLongLong();
                if (query.record().count() > 1) {
                    entry.verdict = static_cast<PageVerdict>(query.value(1).toInt());
                    entry.okAnnounced = query.value(2).toLongLong();
                    entry.lastmod = query.value(3).toLongLong();
                }
                entries->insert(entry.key, entry);
            }
            query.finish();
            return true;
        };
        // In the order of their keys, as every job does, a hundred to a statement: two jobs
        // claiming pages at once never each wait for the other.
        const std::vector<std::pair<qint64, qsizetype>> keys = keyOrder(pages);
        const qsizetype count = static_cast<qsizetype>(keys.size());
        for (qsizetype start = 0; start < count; start += kRowsPerStatement) {
            const qsizetype end = std::min(start + kRowsPerStatement, count);
            QStringList rows;
            QList<qint64> chunk;
            for (qsizetype row = start; row < end; ++row) {
                const qint64 key = keys[static_cast<size_t>(row)].first;
                chunk.append(key);
                rows.append(u"(%1, %2, %3, %4, %5)"_s.arg(siteText, groupText, QString::number(key),
                                                          QString::number(jobId), QString::number(claimed)));
            }
            QHash<qint64, PageHistory::Entry> fresh; // claimed now
            if (!keysOf(u"INSERT INTO claims (site_id, group_id, hash, job_id, claimed) VALUES %1 "
                        "ON CONFLICT DO NOTHING RETURNING hash"_s.arg(rows.join(u", "_s)),
                        &fresh))
                return false;
            QList<qint64> before; // claimed before: by this job, or another one sends it
            for (const qint64 key : std::as_const(chunk)) {
                if (!fresh.contains(key))
                    before.append(key);
            }
            QHash<qint64, PageHistory::Entry> ownBefore;
            if (!before.isEmpty() &&
                !keysOf(u"SELECT hash FROM claims WHERE %1 AND job_id = %2"_s.arg(
                            where.arg(siteText, groupText, keyList(before)), QString::number(jobId)),
                        &ownBefore))
                return false;
            // Read after the claims are made: an answer another job recorded before is seen.
            QHash<qint64, PageHistory::Entry> states;
            if (!fresh.isEmpty() &&
                !keysOf(u"SELECT hash, verdict, ok_announced, lastmod FROM page_states WHERE %1"_s.arg(
                            where.arg(siteText, groupText, keyList(fresh.keys()))),
                        &states))
                return false;
            QList<qint64> release;
            for (qsizetype row = start; row < end; ++row) {
                const auto& [key, i] = keys[static_cast<size_t>(row)];
                if (!fresh.contains(key)) {
                    if (ownBefore.contains(key))
                        mine.append(i);
                    else
                        ++held;
                    continue;
                }
                const auto state = states.constFind(key);
                if (pageNeedsSending(state == states.cend() ? nullptr : &*state, pages[i]))
                    mine.append(i);
                else
                    release.append(key);
            }
            if (!release.isEmpty() &&
                !query.exec(u"DELETE FROM claims WHERE %1"_s.arg(where.arg(siteText, groupText, keyList(release))))) {
                *error = query.lastError().text();
                return false;
            }
        }
        std::sort(mine.begin(), mine.end());
        return true;
    });
    if (written && pages.size() >= kRowsPerStatement * 10)
        m_dialect.refreshStatistics(m_db, u"claims"_s);
    if (heldElsewhere && written)
        *heldElsewhere = held;
    return written ? mine : everyPage();
}
