#pragma once

// A PostgreSQL server of its own for the history's tests: made with initdb in a temporary
// folder, listening on a free port of 127.0.0.1, with a password-checked user, and stopped (with
// its folder removed) when the object goes, also when a test failed. As root the server runs as
// the user postgres.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>
#include <unistd.h>

class PostgresServer {
public:
    static constexpr char kUser[] = "torvane";
    static constexpr char kPassword[] = "history-test-pw";

    PostgresServer() = default;
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;
    ~PostgresServer() { stop(); }

    // Empty when running; else why not (skipReason() tells a missing installation apart).
    QString start() {
        const QStringList found =
            QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& version : found) {
            const QString bin = QStringLiteral("/usr/lib/postgresql/") + version + QStringLiteral("/bin");
            if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
                m_bin = bin;
        }
        if (m_bin.isEmpty()) {
            m_skip = QStringLiteral("PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb)");
            return m_skip;
        }
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            m_skip = QStringLiteral("Qt's PostgreSQL driver is not installed (libqt6sql6-psql)");
            return m_skip;
        }
        if (!m_folder.isValid())
            return QStringLiteral("no temporary folder");
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost))
            return QStringLiteral("no free port");
        m_port = probe.serverPort();
        probe.close();
        QFile passwordFile(m_folder.filePath(QStringLiteral("pw")));
        if (!passwordFile.open(QIODevice::WriteOnly) || passwordFile.write(kPassword) < 0)
            return QStringLiteral("cannot write the password file");
        passwordFile.close();
        if (getuid() == 0 &&
            !run(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("postgres:"), m_folder.path()}, false))
            return QStringLiteral("cannot give the folder to postgres: ") + m_output;
        const QString data = m_folder.filePath(QStringLiteral("data"));
        if (!run(m_bin + QStringLiteral("/initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-U"), QString::fromLatin1(kUser), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--no-sync"), QStringLiteral("--auth-local=trust"),
                  QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("--pwfile=") + passwordFile.fileName()}))
            return QStringLiteral("initdb failed: ") + m_output;
        const QString options = QStringLiteral("-F -p %1 -k %2 -c listen_addresses=127.0.0.1")
                                    .arg(QString::number(m_port), m_folder.path());
        if (!run(m_bin + QStringLiteral("/pg_ctl"),
                 {QStringLiteral("-D"), data, QStringLiteral("-l"), m_folder.filePath(QStringLiteral("log")),
                  QStringLiteral("-w"), QStringLiteral("-o"), options, QStringLiteral("start")}))
            return QStringLiteral("pg_ctl start failed: ") + m_output;
        m_running = true;
        return {};
    }

    QString skipReason() const { return m_skip; }
    int port() const { return m_port; }

    // postgresql://torvane@127.0.0.1:<port>/<database>, the password left to PGPASSWORD.
    QString url(const QString& database) const {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
            .arg(QString::fromLatin1(kUser), QString::number(m_port), database);
    }

    // Runs sql in the database postgres (CREATE DATABASE and the like); empty or the error.
    QString administer(const QString& sql, const QString& database = QStringLiteral("postgres")) const {
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pg-admin"));
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(m_port);
            db.setUserName(QString::fromLatin1(kUser));
            db.setPassword(QString::fromLatin1(kPassword));
            db.setDatabaseName(database);
            if (!db.open()) {
                error = db.lastError().text();
            } else {
                QSqlQuery query(db);
                if (!query.exec(sql))
                    error = query.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pg-admin"));
        return error;
    }

    void stop() {
        if (!m_running)
            return;
        m_running = false;
        run(m_bin + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), m_folder.filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
    }

private:
    // Runs a program (as postgres when root and asPostgres); false when it failed.
    bool run(const QString& program, const QStringList& arguments, bool asPostgres = true) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(m_folder.path());
        if (asPostgres && getuid() == 0)
            process.start(QStringLiteral("runuser"),
                          QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} +
                              arguments);
        else
            process.start(program, arguments);
        const bool done = process.waitForFinished(120000);
        m_output = QString::fromLocal8Bit(process.readAll()).right(2000);
        return done && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QTemporaryDir m_folder;
    QString m_bin;
    QString m_skip;
    QString m_output;
    int m_port = 0;
    bool m_running = false;
};

// Starts a server for a test program and gives the client library its password: the server, or
// null with *problem saying why. False only when PostgreSQL is installed and still fails to
// start (a fault, not a reason to skip).
inline bool startTestServer(std::unique_ptr<PostgresServer>* running, QString* problem) {
    auto server = std::make_unique<PostgresServer>();
    *problem = server->start();
    if (problem->isEmpty()) {
        qputenv("PGPASSWORD", PostgresServer::kPassword);
        *running = std::move(server);
        return true;
    }
    return !server->skipReason().isEmpty();
}
