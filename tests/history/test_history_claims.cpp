// The claims of a job whose program ended: released at once on its own machine, kept for the
// time limit elsewhere; and a history of version 3 brought up to date. On SQLite and PostgreSQL.

#include "history/core/history_schema.h"
#include "history/core/history_store.h"
#include "history/history_backends.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <csignal>
#include <cstring>

namespace {

HistoryJob job() {
    HistoryJob j;
    j.kind = HistoryJob::Kind::Announcement;
    j.face = HistoryJob::Face::CommandLine;
    j.profilePath = "/p/site.tvp";
    j.siteHost = "site.test";
    return j;
}

QList<HistoryPage> pages(int count) {
    QList<HistoryPage> list;
    for (int i = 0; i < count; ++i)
        list.append({QString("https://site.test/page-%1").arg(i), {}, false});
    return list;
}

// The child process: begins a job, claims the pages and dies without an answer.
int claimAndDie(const QString& where) {
    HistoryStore store(historyLocation(where));
    if (!store.open())
        return 3;
    const qint64 id = store.beginJob(job());
    if (store.claimPages(id, "engine:E", pages(10)).size() != 10)
        return 4;
    std::raise(SIGKILL);
    return 5;
}

// Runs statements on the history at where, as another program would, after making the tables
// of makeVersion when it is given; empty or the error.
QString execute(const QString& where, const QStringList& statements, int makeVersion = 0) {
    const bool postgres = historyLocation(where).kind == HistoryLocation::Kind::Postgres;
    const HistoryDialect dialect(postgres ? HistoryDialect::Backend::Postgres : HistoryDialect::Backend::Sqlite);
    QString error;
    {
        QSqlDatabase db = HistoryBackends::openDirectly(where, "direct");
        QSqlQuery query(db);
        if (!db.isOpen())
            error = db.lastError().text();
        else if (makeVersion > 0)
            upgradeHistorySchema(db, dialect, 0, &error, makeVersion);
        for (const QString& statement : statements) {
            if (error.isEmpty() && !query.exec(dialect.tableSql(statement)))
                error = statement + ": " + query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase("direct");
    return error;
}

} // namespace

class TestHistoryClaims : public QObject {
    Q_OBJECT

private:
    HistoryBackends m_backends;

private slots:
    void initTestCase() { QVERIFY2(m_backends.start(), qPrintable(m_backends.problem())); }
    void cleanupTestCase() { m_backends.stop(); }

    // A program claims ten pages and is killed; what its job row says decides whether the next
    // job may send them at once. (Claims of a running job are kept: see the store's claims test.)
    void claimsOfAnEndedProgram_data() {
        QTest::addColumn<bool>("postgres");
        QTest::addColumn<QString>("change"); // to the dead job's row; %1: this program's pid
        QTest::addColumn<int>("held");       // pages left to the dead job
        for (const bool postgres : {false, true}) {
            const QString backend = postgres ? "postgresql: " : "sqlite: ";
            QTest::newRow(qPrintable(backend + "died here")) << postgres << "" << 0;
            QTest::newRow(qPrintable(backend + "its pid now another program's")) << postgres << "pid = %1" << 0;
            QTest::newRow(qPrintable(backend + "died on another machine")) << postgres << "machine = 'elsewhere'" << 10;
        }
    }
    void claimsOfAnEndedProgram() {
        QFETCH(bool, postgres);
        QFETCH(QString, change);
        QFETCH(int, held);
        if (postgres && !m_backends.postgres())
            QSKIP(qPrintable(m_backends.problem()));
        const QString where = m_backends.fresh(postgres);
        QVERIFY(!where.isEmpty());
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--claim-and-die", where});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        if (!change.isEmpty()) {
            const QString pid = QString::number(QCoreApplication::applicationPid());
            QCOMPARE(execute(where, {"UPDATE jobs SET " + QString(change).replace("%1", pid)}), QString());
        }
        HistoryStore store(historyLocation(where));
        QVERIFY(store.open());
        const qint64 id = store.beginJob(job());
        qsizetype elsewhere = -1;
        QCOMPARE(store.claimPages(id, "engine:E", pages(12), &elsewhere).size(), 12 - held);
        QCOMPARE(elsewhere, qsizetype(held));
    }

    // A history of version 3, with a job that died holding a claim, is brought up to date: its
    // jobs stay, and the old job's claim (no machine known) is left to the time limit.
    void upgradeFromVersion3_data() { HistoryBackends::addRows(); }
    void upgradeFromVersion3() {
        QFETCH(bool, postgres);
        if (postgres && !m_backends.postgres())
            QSKIP(qPrintable(m_backends.problem()));
        const QString where = m_backends.fresh(postgres);
        QVERIFY(!where.isEmpty());
        const QStringList v3{
            "INSERT INTO sites (host) VALUES ('site.test')",
            "INSERT INTO engine_groups (name) VALUES ('engine:E')",
            "INSERT INTO jobs (site_id, kind, face, started, profile, date_rule, shared_notices) "
            "VALUES (1, 1, 1, 1000, '/p/site.tvp', '', '')",
            QString("INSERT INTO claims VALUES (1, 1, %1, 1, %2)")
                .arg(QString::number(pageKey(u"https://site.test/page-0")),
                     QString::number(QDateTime::currentSecsSinceEpoch())),
        };
        QCOMPARE(execute(where, v3, 3), QString());
        HistoryStore store(historyLocation(where));
        QVERIFY2(store.open(), qPrintable(store.message()));
        const qint64 id = store.beginJob(job());
        QCOMPARE(store.jobs().size(), 2);
        qsizetype elsewhere = 0;
        QCOMPARE(store.claimPages(id, "engine:E", pages(3), &elsewhere), (QList<qsizetype>{1, 2}));
        QCOMPARE(elsewhere, qsizetype(1));
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--claim-and-die") == 0)
        return claimAndDie(QString::fromLocal8Bit(argv[2]));
    TestHistoryClaims test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_history_claims.moc"
