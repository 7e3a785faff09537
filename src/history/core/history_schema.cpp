#include "history/core/history_schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// Version 1. Verdicts in records follow ResultRecord::Verdict (0 OK, 1 ERROR, 2 SKIPPED,
// 3 PENDING); in page_states 0 failed, 1 OK, 2 OK for a page sent because it left the sitemap.
const QStringList& version1() {
    static const QStringList statements{
        u"CREATE TABLE sites (id {id}, host TEXT NOT NULL UNIQUE)"_s,
        u"CREATE TABLE engine_groups (id {id}, name TEXT NOT NULL UNIQUE)"_s,
        u"CREATE TABLE jobs (id {id}, site_id BIGINT NOT NULL, kind INTEGER NOT NULL, face INTEGER NOT NULL, "
        "started BIGINT NOT NULL, finished BIGINT, profile TEXT NOT NULL, date_rule TEXT NOT NULL, "
        "shared_notices TEXT NOT NULL)"_s,
        u"CREATE INDEX jobs_by_site ON jobs (site_id, id)"_s,
        u"CREATE INDEX jobs_by_profile ON jobs (profile, id)"_s,
        u"CREATE TABLE records (job_id BIGINT NOT NULL, seq INTEGER NOT NULL, recorded BIGINT NOT NULL, "
        "title TEXT NOT NULL, url TEXT NOT NULL, verdict INTEGER NOT NULL, http_status INTEGER NOT NULL, "
        "failure INTEGER NOT NULL, error TEXT NOT NULL, page_title TEXT NOT NULL, reason TEXT NOT NULL, "
        "milliseconds BIGINT NOT NULL, meaning TEXT NOT NULL, key_file TEXT NOT NULL, batch_size INTEGER NOT NULL, "
        "batch_first TEXT NOT NULL, batch_last TEXT NOT NULL, batch_body TEXT NOT NULL, "
        "PRIMARY KEY (job_id, seq)){compact}"_s,
        u"CREATE TABLE pages (site_id BIGINT NOT NULL, hash BIGINT NOT NULL, address TEXT NOT NULL, "
        "PRIMARY KEY (site_id, hash)){compact}"_s,
        u"CREATE TABLE page_states (site_id BIGINT NOT NULL, group_id BIGINT NOT NULL, hash BIGINT NOT NULL, "
        "lastmod BIGINT, announced BIGINT NOT NULL, verdict INTEGER NOT NULL, ok_announced BIGINT, "
        "PRIMARY KEY (site_id, group_id, hash)){compact}"_s,
    };
    return statements;
}

// Version 2: the pages a running job is sending to an engine group, so that another job
// announcing the same site at the same time leaves them out.
const QStringList& version2() {
    static const QStringList statements{
        u"CREATE TABLE claims (site_id BIGINT NOT NULL, group_id BIGINT NOT NULL, hash BIGINT NOT NULL, "
        "job_id BIGINT NOT NULL, claimed BIGINT NOT NULL, PRIMARY KEY (site_id, group_id, hash)){compact}"_s,
        u"CREATE INDEX claims_by_job ON claims (job_id)"_s,
    };
    return statements;
}

// Version 3: the latest answer of Google's URL inspection for each page (its address in pages),
// so that a page's index status is known without asking Google again. Times in seconds.
const QStringList& version3() {
    static const QStringList statements{
        u"CREATE TABLE inspections (site_id BIGINT NOT NULL, hash BIGINT NOT NULL, property TEXT NOT NULL, "
        "inspected BIGINT NOT NULL, verdict TEXT NOT NULL, coverage TEXT NOT NULL, last_crawl BIGINT, "
        "canonical TEXT NOT NULL, PRIMARY KEY (site_id, hash)){compact}"_s,
    };
    return statements;
}

// Version 4: the machine and process that write each job (see ProcessIdentity), so that a job
// on the same machine can release at once the claims of one whose program no longer runs. Jobs
// written before have none: their claims run out after the time limit.
const QStringList& version4() {
    static const QStringList statements{
        u"ALTER TABLE jobs ADD COLUMN machine TEXT NOT NULL DEFAULT ''"_s,
        u"ALTER TABLE jobs ADD COLUMN pid BIGINT NOT NULL DEFAULT 0"_s,
        u"ALTER TABLE jobs ADD COLUMN process_started TEXT NOT NULL DEFAULT ''"_s,
    };
    return statements;
}

} // namespace

bool upgradeHistorySchema(QSqlDatabase& db, const HistoryDialect& dialect, int from, QString* error, int to) {
    const QList<const QStringList*> steps{&version1(), &version2(), &version3(), &version4()};
    QSqlQuery query(db);
    for (int version = from; version < to; ++version) {
        for (const QString& statement : *steps[version]) {
            if (!query.exec(dialect.tableSql(statement))) {
                *error = query.lastError().text();
                return false;
            }
        }
    }
    return dialect.writeVersion(db, to, error);
}
