// HistoryStore: the states of a site's pages, and the claims of jobs sending them.

#include "history/core/history_store.h"

#include <QSqlError>
#include <QSqlQuery>
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

QList<qsizetype> HistoryStore::claimPages(qint64 jobId, const QString& group, const QList<HistoryPage>& pages) {
    QList<qsizetype> mine;
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
        const qint64 groupId = internedId(u"engine_groups"_s, u"name"_s, group, error);
        if (groupId < 0)
            return false;
        const qint64 claimed = now().toSecsSinceEpoch();
        QSqlQuery query(m_db);
        query.prepare(u"DELETE FROM claims WHERE claimed < ?"_s);
        query.addBindValue(claimed - kClaimLifetimeSeconds);
        if (!query.exec()) {
            *error = query.lastError().text();
            return false;
        }
        QSqlQuery insert(m_db);
        QSqlQuery owner(m_db);
        QSqlQuery state(m_db);
        QSqlQuery release(m_db);
        insert.prepare(u"INSERT INTO claims (site_id, group_id, hash, job_id, claimed) VALUES (?, ?, ?, ?, ?) "
                       "ON CONFLICT DO NOTHING"_s);
        owner.prepare(u"SELECT job_id FROM claims WHERE site_id = ? AND group_id = ? AND hash = ?"_s);
        state.prepare(
            u"SELECT verdict, ok_announced, lastmod FROM page_states WHERE site_id = ? AND group_id = ? AND hash = ?"_s);
        release.prepare(u"DELETE FROM claims WHERE site_id = ? AND group_id = ? AND hash = ?"_s);
        const auto run = [&](QSqlQuery& query, qint64 key, std::initializer_list<QVariant> more = {}) {
            query.addBindValue(site);
            query.addBindValue(groupId);
            query.addBindValue(key);
            for (const QVariant& value : more)
                query.addBindValue(value);
            if (query.exec())
                return true;
            *error = query.lastError().text();
            return false;
        };
        // In the order of their keys, as every job does: two jobs claiming pages at once never
        // each wait for the other.
        for (const auto& [key, i] : keyOrder(pages)) {
            if (!run(insert, key, {jobId, claimed}))
                return false;
            if (insert.numRowsAffected() != 1) { // claimed before: by this job, or another one sends it
                if (!run(owner, key))
                    return false;
                if (owner.next() && owner.value(0).toLongLong() == jobId)
                    mine.append(i);
                owner.finish();
                continue;
            }
            // Read after the claim is made: an answer another job recorded before is seen.
            if (!run(state, key))
                return false;
            PageHistory::Entry entry;
            const bool known = state.next();
            if (known) {
                entry.verdict = static_cast<PageVerdict>(state.value(0).toInt());
                entry.okAnnounced = state.value(1).toLongLong();
                entry.lastmod = state.value(2).toLongLong();
            }
            state.finish();
            if (pageNeedsSending(known ? &entry : nullptr, pages[i]))
                mine.append(i);
            else if (!run(release, key))
                return false;
        }
        std::sort(mine.begin(), mine.end());
        return true;
    });
    return written ? mine : everyPage();
}
