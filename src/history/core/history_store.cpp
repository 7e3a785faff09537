#include "history/core/history_store.h"

#include "catalogue/core/shared_groups.h"
#include "history/core/history_schema.h"
#include "platform/process_identity.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

const QString kGoesOn = u"; Torvane goes on without a history this time."_s;

HistoryDialect::Backend backendOf(const HistoryLocation& location) {
    return location.kind == HistoryLocation::Kind::Postgres ? HistoryDialect::Backend::Postgres
                                                            : HistoryDialect::Backend::Sqlite;
}

enum class FileState { Fits, Unreadable, Foreign, Damaged };

// Whether an SQLite file can be a Torvane history, judged from its first bytes and its size: it
// must be empty or start as an SQLite database, and not be shorter than its header says (a
// cut-off copy). *why receives the reason when not.
FileState sqliteFileState(const QString& path, QString* why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return FileState::Unreadable;
    }
    const QByteArray header = file.read(100);
    if (header.isEmpty())
        return FileState::Fits;
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0"))) {
        *why = u"it is not a database"_s;
        return FileState::Foreign;
    }
    const auto number = [&](int offset) {
        return qFromBigEndian<quint32>(header.constData() + offset);
    };
    const quint32 pageSize = qFromBigEndian<quint16>(header.constData() + 16) == 1
                                 ? 65536
                                 : qFromBigEndian<quint16>(header.constData() + 16);
    const quint32 pages = number(28);
    if (pages > 0 && number(24) == number(92) && file.size() < qint64(pages) * pageSize) {
        *why = u"the file is shorter than its header says: it was cut off"_s;
        return FileState::Damaged;
    }
    return FileState::Fits;
}

QVariant text(const QString& value) {
    return HistoryDialect::text(value);
}

} // namespace

QString historyGroupName(const QString& engineTitle, const QString& shares) {
    const QString group = sharesGroupKey(shares);
    // Each side one QString: with Qt 6.8 the two string builders are of different types.
    return group.isEmpty() ? QString(u"engine:"_s + engineTitle.trimmed()) : QString(u"shares:"_s + group);
}

HistoryStore::HistoryStore(const HistoryLocation& location) : m_location(location), m_dialect(backendOf(location)) {
    static QAtomicInt counter;
    m_connection = u"torvane-history-%1"_s.arg(counter.fetchAndAddRelaxed(1));
}

HistoryStore::~HistoryStore() {
    disconnect();
}

void HistoryStore::disconnect() {
    if (!m_connected)
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
    m_connected = false;
}

bool HistoryStore::unusable(const QString& message) {
    m_state = State::Failed;
    m_message = message + kGoesOn;
    if (m_db.isOpen())
        m_db.close();
    return false;
}

bool HistoryStore::open() {
    if (m_state == State::NotMade && QFileInfo::exists(m_location.path))
        m_state = State::Closed; // another program made it since
    if (m_state != State::Closed)
        return isUsable();
    switch (m_location.kind) {
    case HistoryLocation::Kind::None:
        m_state = State::Failed;
        m_message = m_location.problem.isEmpty() ? QString() : m_location.problem + kGoesOn;
        return false;
    case HistoryLocation::Kind::SqliteFile:
        return openSqlite();
    case HistoryLocation::Kind::Postgres:
        break;
    }
    return openPostgres();
}

bool HistoryStore::openSqlite() {
    if (!QSqlDatabase::isDriverAvailable(m_dialect.driverName()))
        return unusable(u"The SQLite driver of Qt is not installed (package libqt6sql6-sqlite)"_s);
    const QString shown = m_location.display();
    if (!QFileInfo::exists(m_location.path)) {
        m_state = State::NotMade;
        return true;
    }
    QString why;
    switch (sqliteFileState(m_location.path, &why)) {
    case FileState::Fits:
        break;
    case FileState::Unreadable:
        return unusable(u"The history %1 cannot be read (%2)"_s.arg(shown, why));
    case FileState::Foreign:
        return unusable(u"%1 is not a Torvane history (%2); it was left as it is"_s.arg(shown, why));
    case FileState::Damaged:
        return unusable(u"The history %1 is damaged (%2); it was left as it is"_s.arg(shown, why));
    }
    m_db = QSqlDatabase::addDatabase(m_dialect.driverName(), m_connection);
    m_connected = true;
    m_db.setDatabaseName(m_location.path);
    m_db.setConnectOptions(m_dialect.connectOptions());
    if (!m_db.open())
        return unusable(u"The history %1 cannot be opened (%2)"_s.arg(shown, m_db.lastError().text()));
    return prepare();
}

bool HistoryStore::openPostgres() {
    if (!QSqlDatabase::isDriverAvailable(m_dialect.driverName()))
        return unusable(u"The PostgreSQL driver of Qt is not installed (package libqt6sql6-psql)"_s);
    m_db = QSqlDatabase::addDatabase(m_dialect.driverName(), m_connection);
    m_connected = true;
    m_db.setHostName(m_location.host);
    if (m_location.port > 0)
        m_db.setPort(m_location.port);
    m_db.setUserName(m_location.user);
    if (!m_location.password.isEmpty())
        m_db.setPassword(m_location.password);
    m_db.setDatabaseName(m_location.database);
    QStringList options = m_location.options;
    options.append(u"connect_timeout=10"_s);
    m_db.setConnectOptions(options.join(u';'));
    const QString shown = m_location.display();
    if (!m_db.open()) {
        const QString error = m_db.lastError().databaseText().trimmed();
        if (error.contains("password authentication failed"_L1) || error.contains("no password supplied"_L1))
            return unusable(u"The history database %1 refused the user name or password (a password is read from "
                            "PGPASSWORD, ~/.pgpass or the address)"_s.arg(shown));
        if (error.contains("does not exist"_L1) && error.contains("database"_L1))
            return unusable(
                u"The history database %1 does not exist on that server (create it, or name another)"_s.arg(shown));
        return unusable(u"The history database %1 cannot be reached (%2)"_s.arg(shown, error));
    }
    return prepare();
}

// Checks what the open database holds and brings its tables up to date.
bool HistoryStore::prepare() {
    const QString shown = m_location.display();
    QString error;
    if (!m_dialect.prepareConnection(m_db, &error))
        return unusable(u"The history %1 cannot be read (%2)"_s.arg(shown, error));
    int version = 0;
    bool foreign = false;
    if (!m_dialect.readVersion(m_db, &version, &foreign, &error))
        return unusable(u"The history %1 is damaged or cannot be read (%2); it was left as it is"_s.arg(shown, error));
    if (foreign)
        return unusable(u"%1 is not a Torvane history (it holds other data); it was left as it is"_s.arg(shown));
    if (version > kHistorySchemaVersion) {
        return unusable(
            u"The history %1 was written by a newer version of Torvane (history version %2; this one "
            "reads up to %3)"_s.arg(shown, QString::number(version), QString::number(kHistorySchemaVersion)));
    }
    if (!m_dialect.prepareWriting(m_db, &error))
        return unusable(u"The history %1 cannot be written (%2)"_s.arg(shown, error));
    m_state = State::Open;
    if (version == kHistorySchemaVersion)
        return true;
    const bool made = write([&](QString* failure) {
        // Another program may have made the tables since they were read.
        int current = 0;
        return m_dialect.lockSchema(m_db, failure) && m_dialect.readVersion(m_db, &current, &foreign, failure) &&
               (current >= kHistorySchemaVersion || upgradeHistorySchema(m_db, m_dialect, current, failure));
    });
    if (!made)
        return unusable(u"The history %1 cannot be set up (%2)"_s.arg(shown, m_lastError));
    return true;
}

bool HistoryStore::makeFile() {
    const QFileInfo info(m_location.path);
    QDir folder = info.absoluteDir();
    const bool existed = folder.exists();
    if (!existed && !folder.mkpath(u"."_s))
        return unusable(u"The folder %1 of the history cannot be made"_s.arg(QDir::toNativeSeparators(folder.path())));
    if (!existed)
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile file(m_location.path);
    // Another program may make it at the same moment: then that one is used.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner) && !file.exists())
        return unusable(u"The history %1 cannot be made (%2)"_s.arg(m_location.display(), file.errorString()));
    file.close();
    disconnect();
    m_state = State::Closed;
    return openSqlite() && m_state == State::Open;
}

bool HistoryStore::lost(const QString& error) {
    m_lastError = error;
    if (m_state == State::Failed)
        return false;
    m_state = State::Failed;
    m_lost = true;
    m_message = u"The history %1 could not be written (%2); what this job does from here on is kept only in its "
                "report"_s.arg(m_location.display(), error);
    return false;
}

bool HistoryStore::writable() {
    if (m_state == State::Closed)
        open();
    if (m_state == State::NotMade)
        return makeFile();
    return m_state == State::Open;
}

bool HistoryStore::write(const std::function<bool(QString*)>& work) {
    QSqlQuery query(m_db);
    QString error;
    for (int attempt = 1;; ++attempt) {
        error.clear();
        if (!query.exec(m_dialect.beginWrite()))
            return lost(query.lastError().text());
        if (work(&error) && query.exec(u"COMMIT"_s))
            return true;
        if (error.isEmpty())
            error = query.lastError().text();
        query.exec(u"ROLLBACK"_s);
        // A server that ended the transaction to break a deadlock with another program's: again.
        if (attempt == kWriteAttempts || !m_dialect.isDeadlock(error))
            return lost(error);
    }
}

qint64 HistoryStore::existingId(const QString& table, const QString& column, const QString& value) const {
    QSqlQuery query(m_db);
    query.prepare(u"SELECT id FROM %1 WHERE %2 = ?"_s.arg(table, column));
    query.addBindValue(text(value));
    return query.exec() && query.next() ? query.value(0).toLongLong() : -1;
}

// The id of value in a table of names (sites, engine_groups), added when missing.
qint64 HistoryStore::internedId(const QString& table, const QString& column, const QString& value, QString* error) {
    QSqlQuery query(m_db);
    query.prepare(u"INSERT INTO %1 (%2) VALUES (?) ON CONFLICT DO NOTHING"_s.arg(table, column));
    query.addBindValue(text(value));
    if (!query.exec()) {
        *error = query.lastError().text();
        return -1;
    }
    const qint64 id = existingId(table, column, value);
    if (id < 0)
        *error = u"%1 was not stored"_s.arg(value);
    return id;
}

qint64 HistoryStore::beginJob(const HistoryJob& job) {
    m_unstored.clear(); // the last job's, which its caller has had
    if (m_lost) {       // try once more, e.g. the server is back
        disconnect();
        m_lost = false;
        m_message.clear();
        m_state = State::Closed;
    }
    if (!writable())
        return -1;
    qint64 jobId = -1;
    const bool written = write([&](QString* error) {
        const qint64 site = internedId(u"sites"_s, u"host"_s, job.siteHost, error);
        if (site < 0)
            return false;
        QSqlQuery query(m_db);
        query.prepare(u"INSERT INTO jobs (site_id, kind, face, started, finished, profile, date_rule, shared_notices, "
                      "machine, pid, process_started) VALUES (?, ?, ?, ?, NULL, ?, ?, ?, ?, ?, ?) RETURNING id"_s);
        query.addBindValue(site);
        query.addBindValue(job.kind == HistoryJob::Kind::Submit ? 0 : 1);
        query.addBindValue(job.face == HistoryJob::Face::Window ? 0 : 1);
        query.addBindValue((job.started.isValid() ? job.started : now()).toMSecsSinceEpoch());
        query.addBindValue(text(job.profilePath));
        query.addBindValue(text(job.dateRule));
        query.addBindValue(text(job.sharedNotices.join(u'\n')));
        query.addBindValue(text(currentProcess().machine));
        query.addBindValue(currentProcess().pid);
        query.addBindValue(text(currentProcess().started));
        if (!query.exec() || !query.next()) {
            *error = query.lastError().text();
            return false;
        }
        jobId = query.value(0).toLongLong();
        query.finish();
        // The site's jobs older than the newest m_jobsKept go, with their records.
        const QString older = u"SELECT id FROM jobs WHERE site_id = %1 AND id < (SELECT min(id) FROM (SELECT id "
                              "FROM jobs WHERE site_id = %1 ORDER BY id DESC LIMIT %2) AS newest)"_s.arg(
                                  QString::number(site), QString::number(m_jobsKept));
        if (!query.exec(u"DELETE FROM records WHERE job_id IN (%1)"_s.arg(older)) ||
            !query.exec(u"DELETE FROM jobs WHERE id IN (%1)"_s.arg(older))) {
            *error = query.lastError().text();
            return false;
        }
        m_jobSites.insert(jobId, site);
        return true;
    });
    return written ? jobId : -1;
}

bool HistoryStore::insertRecord(qint64 jobId, const ResultRecord& record, QString* error) {
    QSqlQuery query(m_db);
    query.prepare(u"INSERT INTO records (job_id, seq, recorded, title, url, verdict, http_status, failure, error, "
                  "page_title, reason, milliseconds, meaning, key_file, batch_size, batch_first, batch_last, "
                  "batch_body) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    const int seq = m_nextSeq.value(jobId, 0);
    const QVariantList values{jobId,
                              seq,
                              now().toMSecsSinceEpoch(),
                              text(record.title),
                              text(record.url),
                              static_cast<int>(record.verdict),
                              record.httpStatus,
                              static_cast<int>(record.failure),
                              text(record.error),
                              text(record.pageTitle),
                              text(record.reason),
                              record.milliseconds,
                              text(record.meaning),
                              text(record.keyFile),
                              record.batchSize,
                              text(record.batchFirst),
                              text(record.batchLast),
                              text(QString::fromUtf8(record.batchBody))};
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    m_nextSeq.insert(jobId, seq + 1);
    return true;
}

bool HistoryStore::addRecord(qint64 jobId, const ResultRecord& record) {
    return addAnnouncementRecord(jobId, record, {}, {});
}

bool HistoryStore::updateRecordMeaning(qint64 jobId, int seq, const ResultRecord& record) {
    if (m_state != State::Open || !m_jobSites.contains(jobId))
        return false;
    return write([&](QString* error) {
        QSqlQuery query(m_db);
        query.prepare(u"UPDATE records SET meaning = ?, key_file = ? WHERE job_id = ? AND seq = ?"_s);
        query.addBindValue(text(record.meaning));
        query.addBindValue(text(record.keyFile));
        query.addBindValue(jobId);
        query.addBindValue(seq);
        if (query.exec())
            return true;
        *error = query.lastError().text();
        return false;
    });
}

bool HistoryStore::finishJob(qint64 jobId, const QDateTime& finished) {
    if (m_state != State::Open || !m_jobSites.contains(jobId))
        return false;
    return write([&](QString* error) {
        QSqlQuery query(m_db);
        query.prepare(u"UPDATE jobs SET finished = ? WHERE id = ?"_s);
        query.addBindValue((finished.isValid() ? finished : now()).toMSecsSinceEpoch());
        query.addBindValue(jobId);
        QSqlQuery claims(m_db);
        claims.prepare(u"DELETE FROM claims WHERE job_id = ?"_s);
        claims.addBindValue(jobId);
        if (query.exec() && claims.exec())
            return true;
        *error = (query.lastError().isValid() ? query : claims).lastError().text();
        return false;
    });
}

bool HistoryStore::forgetSite(const QString& siteHost) {
    if (m_state != State::Open)
        return m_state == State::NotMade;
    const qint64 site = existingId(u"sites"_s, u"host"_s, siteHost);
    if (site < 0)
        return true;
    return write([&](QString* error) {
        const QString id = QString::number(site);
        const QStringList statements{
            u"DELETE FROM records WHERE job_id IN (SELECT id FROM jobs WHERE site_id = %1)"_s.arg(id),
            u"DELETE FROM jobs WHERE site_id = %1"_s.arg(id),
            u"DELETE FROM page_states WHERE site_id = %1"_s.arg(id),
            u"DELETE FROM pages WHERE site_id = %1"_s.arg(id),
            u"DELETE FROM claims WHERE site_id = %1"_s.arg(id),
            u"DELETE FROM inspections WHERE site_id = %1"_s.arg(id),
            u"DELETE FROM sites WHERE id = %1"_s.arg(id),
        };
        QSqlQuery query(m_db);
        for (const QString& statement : statements) {
            if (!query.exec(statement)) {
                *error = query.lastError().text();
                return false;
            }
        }
        return true;
    });
}

QString HistoryStore::unstoredSummary() const {
    if (m_unstored.isEmpty())
        return {};
    QStringList items;
    for (const ResultRecord& record : m_unstored) {
        items.append(record.isBatch() ? u"%1 (%2 … %3)"_s.arg(record.title, record.batchFirst, record.batchLast)
                                      : record.title);
    }
    return u"%1 records of this job were not stored in the history: %2."_s.arg(QString::number(m_unstored.size()),
                                                                               items.join(u"; "_s));
}
