#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

// Everything that differs between the two databases the history can live in; the rest of the
// history's SQL runs unchanged on both.
//
//   identity column   SQLite: INTEGER PRIMARY KEY (the row id); PostgreSQL: an identity column
//   compact tables    SQLite: WITHOUT ROWID for tables keyed by several columns (no second copy of
//                     the key); PostgreSQL: nothing
//   write transaction SQLite: BEGIN IMMEDIATE (takes the write lock at once, so a waiting writer
//                     goes through the busy timeout instead of failing); PostgreSQL: BEGIN
//   schema version    SQLite: PRAGMA user_version, the file marked by PRAGMA application_id;
//                     PostgreSQL: the one-row table torvane_history
//   schema lock       PostgreSQL: a transaction-scoped advisory lock, so two programs starting
//                     at once do not both make the tables; SQLite: BEGIN IMMEDIATE does it
//   connection        SQLite: write-ahead log and a busy timeout; PostgreSQL: none needed
//   deadlocks         PostgreSQL may end one of two transactions that wait for each other (the
//                     write is tried again); SQLite has one writer at a time
//   statistics        PostgreSQL: ANALYZE after many rows were added at once, as its planner
//                     reads a whole table it believes small; SQLite: none needed
class HistoryDialect {
public:
    enum class Backend { Sqlite, Postgres };

    // The application id that marks an SQLite file as a Torvane history ("TVHS").
    static constexpr int kSqliteApplicationId = 0x54564853;
    // How long SQLite waits for another program's write to end before giving up.
    static constexpr int kBusyTimeoutMs = 30000;

    explicit HistoryDialect(Backend backend) : m_backend(backend) {}

    Backend backend() const { return m_backend; }
    // Text to bind: a null string as an empty one (the PostgreSQL driver would bind NULL).
    static QVariant text(const QString& value) {
        return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
    }
    QString driverName() const;
    QString connectOptions() const;

    // Replaces {id} and {compact} in a CREATE TABLE statement.
    QString tableSql(QString sql) const;
    QString beginWrite() const;

    // After opening: the connection's settings. Changes nothing in the database.
    bool prepareConnection(QSqlDatabase& db, QString* error) const;
    // Once the file is known to be a Torvane history (or new): write-ahead logging.
    bool prepareWriting(QSqlDatabase& db, QString* error) const;

    // What the database holds: *version 0 when it is empty; *foreign when it holds tables of
    // something else. False (with *error) when it cannot be read.
    bool readVersion(QSqlDatabase& db, int* version, bool* foreign, QString* error) const;
    // Inside the schema's write transaction.
    bool writeVersion(QSqlDatabase& db, int version, QString* error) const;
    bool lockSchema(QSqlDatabase& db, QString* error) const;
    // After many rows were added to table: the server's statistics of it renewed, so that rows
    // are found by their key rather than by reading the whole table. Outside a transaction.
    void refreshStatistics(QSqlDatabase& db, const QString& table) const;
    // Whether a failed write's error text says the server broke a deadlock (it may be tried again).
    bool isDeadlock(const QString& error) const;

private:
    Backend m_backend;
};
