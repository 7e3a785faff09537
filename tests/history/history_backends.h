#pragma once

// The two back ends the history's tests run on: new SQLite files in a temporary folder, and new
// databases on a PostgreSQL server of the test's own. When PostgreSQL is not installed, its
// rows skip; installed but failing to start is a fault.

#include "history/core/history_dialect.h"
#include "history/core/history_location.h"
#include "history/postgres_server.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class HistoryBackends {
public:
    // For initTestCase: false, with problem(), when the folder or an installed server fails.
    bool start() {
        if (!m_dir.isValid()) {
            m_problem = QStringLiteral("no temporary folder");
            return false;
        }
        return startTestServer(&m_postgres, &m_problem);
    }
    void stop() { m_postgres.reset(); }

    // Why the PostgreSQL rows skip (or why start() failed).
    const QString& problem() const { return m_problem; }
    // The server; null when PostgreSQL is not installed.
    PostgresServer* postgres() const { return m_postgres.get(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // A column "postgres" with a row for each back end.
    static void addRows() {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgresql") << true;
    }

    // A new, empty history on that back end (a file in a folder not made yet, or a new
    // database); empty when the database cannot be made.
    QString fresh(bool postgres) {
        ++m_count;
        const QString name = QStringLiteral("h%1").arg(m_count);
        if (!postgres)
            return m_dir.filePath(name + QStringLiteral("/history.sqlite"));
        return m_postgres && m_postgres->administer(QStringLiteral("CREATE DATABASE ") + name).isEmpty()
                   ? m_postgres->url(name)
                   : QString();
    }

    // A connection of its own to the history at where, as another program would open it (the
    // file's folder made); removed with QSqlDatabase::removeDatabase(connection).
    static QSqlDatabase openDirectly(const QString& where, const QString& connection) {
        const HistoryLocation location = historyLocation(where);
        const bool postgres = location.kind == HistoryLocation::Kind::Postgres;
        const HistoryDialect dialect(postgres ? HistoryDialect::Backend::Postgres : HistoryDialect::Backend::Sqlite);
        if (!postgres)
            QDir().mkpath(QFileInfo(where).path());
        QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driverName(), connection);
        db.setDatabaseName(postgres ? location.database : where);
        db.setHostName(location.host);
        db.setPort(location.port);
        db.setUserName(location.user);
        db.open();
        return db;
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PostgresServer> m_postgres;
    QString m_problem;
    int m_count = 0;
};
