// `torvane --announce` with a history: new or changed by default, the counts said before
// sending, a job killed halfway, and two jobs at once on one PostgreSQL database.

#include "announce/core/announce_job.h"
#include "history/core/history_store.h"
#include "history/postgres_server.h"
#include "net/core/network_fetcher.h"
#include "platform/clock.h"
#include "support/local_http_server.h"
#include "support/program_run.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kKey = "0123456789abcdef";

// A sitemap of www.example.com's pages named by names, dated 2026-11-01.
QByteArray sitemap(const QStringList& names) {
    QByteArray xml = R"(<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (const QString& name : names)
        xml += "<url><loc>https://www.example.com/" + name.toUtf8() + "</loc><lastmod>2026-11-01</lastmod></url>";
    return xml + "</urlset>";
}

QStringList numbered(const QString& prefix, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(prefix + QString::number(i));
    return names;
}

} // namespace

class TestAnnounceHistory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void newOrChangedByDefault();
    void notAHistorySaidOnceAndTheJobGoesOn();
    void killedHalfwayThenTheRest();
    void twoJobsAtOnceSendEachChangeOnce();

private:
    QProcess* start(const QStringList& extra, const QString& history);
    // The addresses POSTed to an engine's path from request `from` on, in order.
    QStringList posted(const QByteArray& path, qsizetype from) const;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    LocalHttpServer m_server;
    QTemporaryDir m_dir;
    QString m_profile;
    QString m_catalogue;
};

void TestAnnounceHistory::initTestCase() {
    QVERIFY(m_server.listen());
    QVERIFY(m_dir.isValid());
    m_server.setResponse("/one", LocalHttpServer::status(200));
    m_server.setResponse("/two", LocalHttpServer::status(200));
    // Two engines that share with none: each has its own page states.
    QString catalogue = u"[Engine]\nAmount=2\nTitle1=IndexNow - One\nTitle2=IndexNow - Two\n"_s;
    QString profile = u"[Contact Info]\nCompany=Example Co\nEmail=me@example.com\nFirst_Name=Ann\nLast_Name=Lee\n"
                      u"Street=1 Main St\nCity=Springfield\nState=IL\nZip=62701\nCountry=United States\n"
                      u"Country_ID=US\nPhone=555-0100\n[Site Info]\nSite_Title=Example\n"
                      u"Site_URL=https://www.example.com/\nKeyword1=example\nDescription=An example.\n"_s;
    for (const char* name : {"One", "Two"}) {
        catalogue +=
            u"[IndexNow - %1]\nUrl=%2/%3\nShares=%1\nOption=1\nOption_Title1=IndexNow key\nError1=Key?\n"
            u"Item1=0\nValue1=0\n"_s.arg(QLatin1String(name), m_server.baseUrl(), QString::fromLatin1(name).toLower());
        profile += u"[IndexNow - %1]\nSelected=1\nOption1=%2\nOptVal1=%2\n"_s.arg(QLatin1String(name),
                                                                                  QString::fromLatin1(kKey));
    }
    for (const auto& [name, text] : {std::pair{u"Engine.dat"_s, catalogue}, std::pair{u"site.tvp"_s, profile}}) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }
    m_catalogue = path(u"Engine.dat"_s);
    m_profile = path(u"site.tvp"_s);
}

QProcess* TestAnnounceHistory::start(const QStringList& extra, const QString& history) {
    auto* process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TORVANE_HISTORY"_s, history);
    process->setProcessEnvironment(environment);
    process->start(QStringLiteral(TORVANE_PROGRAM),
                   QStringList{u"--announce"_s, m_server.baseUrl() + u"/sitemap.xml"_s, u"--profile"_s, m_profile,
                               u"--catalogue"_s, m_catalogue, u"--no-key-check"_s} +
                       extra);
    return process;
}

QStringList TestAnnounceHistory::posted(const QByteArray& path, qsizetype from) const {
    QStringList addresses;
    for (qsizetype i = from; i < m_server.requestHeads().size(); ++i) {
        if (!m_server.requestHeads()[i].startsWith("POST " + path + " "))
            continue;
        const QJsonArray list =
            QJsonDocument::fromJson(m_server.requestBodies()[i]).object().value("urlList"_L1).toArray();
        for (const QJsonValue& address : list)
            addresses.append(address.toString().section(u'/', 3));
    }
    return addresses;
}

void TestAnnounceHistory::newOrChangedByDefault() {
    const QString history = path(u"default.sqlite"_s);
    const struct {
        QStringList pages;
        QStringList options;
        QString states; // the line said before sending
        QStringList sent;
    } runs[] = {
        {{u"a"_s, u"b"_s, u"c"_s},
         {},
         u"3 new, 0 changed since announced, 0 unchanged, 0 gone"_s,
         {u"a"_s, u"b"_s, u"c"_s}},
        {{u"a"_s, u"b"_s, u"c"_s}, {}, u"0 new, 0 changed since announced, 3 unchanged, 0 gone"_s, {}},
        {{u"a"_s, u"c"_s, u"d"_s}, {}, u"1 new, 0 changed since announced, 2 unchanged, 1 gone"_s, {u"d"_s, u"b"_s}},
        {{u"a"_s, u"c"_s, u"d"_s},
         {u"--every-page"_s},
         u"0 new, 0 changed since announced, 3 unchanged, 0 gone"_s,
         {u"a"_s, u"c"_s, u"d"_s}},
    };
    for (const auto& run : runs) {
        m_server.setResponse("/sitemap.xml", LocalHttpServer::content(sitemap(run.pages)));
        const qsizetype from = m_server.requestHeads().size();
        QProcess* process = start(run.options, history);
        const ProgramRun finished = waitForProgram(*process);
        QCOMPARE(finished.status, 0);
        QVERIFY2(finished.out.contains(run.states), qPrintable(finished.out));
        QCOMPARE(posted("/one", from), run.sent);
        QCOMPARE(posted("/two", from), run.sent);
    }
}

void TestAnnounceHistory::notAHistorySaidOnceAndTheJobGoesOn() {
    QFile file(path(u"notes.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("my notes, not a database\n");
    file.close();
    m_server.setResponse("/sitemap.xml", LocalHttpServer::content(sitemap({u"a"_s, u"b"_s})));
    const qsizetype from = m_server.requestHeads().size();
    QProcess* process = start({}, file.fileName());
    const ProgramRun finished = waitForProgram(*process);
    QCOMPARE(finished.status, 0);
    QCOMPARE(finished.err.count(u"is not a Torvane history"_s), 1);
    QCOMPARE(posted("/one", from), (QStringList{u"a"_s, u"b"_s}));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("my notes, not a database\n"));
}

void TestAnnounceHistory::killedHalfwayThenTheRest() {
    // 50 000 pages: five batches for engine One. The third is never answered: the job is killed
    // while it waits.
    const QStringList pages = numbered(u"page-"_s, 50000);
    m_server.setResponse("/sitemap.xml", LocalHttpServer::content(sitemap(pages)));
    m_server.queueResponse("/one", LocalHttpServer::status(200));
    m_server.queueResponse("/one", LocalHttpServer::status(200));
    m_server.queueResponse("/one", LocalHttpServer::hanging());
    const QString file = path(u"killed.sqlite"_s);
    const qsizetype from = m_server.requestHeads().size();
    QProcess* process = start({}, file);
    QElapsedTimer waited;
    waited.start();
    while (posted("/one", from).size() < 30000 && waited.elapsed() < 120000)
        QTest::qWait(20);
    QCOMPARE(posted("/one", from).size(), 30000);
    process->kill();
    QVERIFY(process->waitForFinished());
    const QStringList answered = posted("/one", from).mid(0, 20000);

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery query(u"PRAGMA integrity_check"_s, db);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), u"ok"_s);
    }
    QSqlDatabase::removeDatabase(u"check"_s);

    // The next job, once the dead job's claims have run out, sends exactly the pages not answered OK.
    HistoryStore history(historyLocation(file, false, {}));
    history.setClock([] { return QDateTime::currentDateTimeUtc().addSecs(HistoryStore::kClaimLifetimeSeconds + 60); });
    QVERIFY(history.open());
    QCOMPARE(history.jobResults(history.jobs().constFirst().id).records.size(), 2);
    NetworkFetcher fetcher;
    SystemClock clock;
    AnnounceJob job(fetcher, clock);
    job.setSiteUrl(u"https://www.example.com/"_s);
    job.setKeyFileCheck(false);
    job.setHistory(&history, HistoryJob::Face::CommandLine);
    job.setChoice(AnnounceChoice::NewOrChanged);
    QSignalSpy idle(&job, &AnnounceJob::idle);
    job.gather({AnnounceSource::fromArgument(m_server.baseUrl() + u"/sitemap.xml"_s)});
    QVERIFY(idle.wait(60000));
    const AnnounceTarget one{
        u"IndexNow - One"_s, m_server.baseUrl() + u"/one"_s, QString::fromLatin1(kKey), {}, u"One"_s};
    const qsizetype next = m_server.requestHeads().size();
    job.announce({one}, SharedEngines::OneOnly);
    QVERIFY(idle.wait(60000));
    QStringList expected = pages;
    for (const QString& page : answered)
        expected.removeOne(page);
    QCOMPARE(posted("/one", next), expected);
}

void TestAnnounceHistory::twoJobsAtOnceSendEachChangeOnce() {
    PostgresServer server;
    if (const QString problem = server.start(); !problem.isEmpty()) {
        // Installed on every CI machine (scripts/common.sh): missing there is a fault.
        QVERIFY2(!server.skipReason().isEmpty() && !qEnvironmentVariableIsSet("CI"), qPrintable(problem));
        QSKIP(qPrintable(problem));
    }
    QCOMPARE(server.administer(u"CREATE DATABASE shared"_s), QString());
    qputenv("PGPASSWORD", PostgresServer::kPassword);
    QStringList pages = numbered(u"base-"_s, 200);
    QElapsedTimer time;
    time.start();
    for (int round = 0; round < 20; ++round) {
        // Each round, ten new pages; two jobs started together.
        const QStringList added = numbered(u"r%1-"_s.arg(round), 10);
        pages += added;
        m_server.setResponse("/sitemap.xml", LocalHttpServer::content(sitemap(pages)));
        const qsizetype from = m_server.requestHeads().size();
        QProcess* first = start({}, server.url(u"shared"_s));
        QProcess* second = start({}, server.url(u"shared"_s));
        const ProgramRun one = waitForProgram(*first);
        const ProgramRun two = waitForProgram(*second);
        QVERIFY2(one.status == 0 && two.status == 0, qPrintable(one.err + two.err));
        const QStringList expected = round == 0 ? pages : added;
        for (const QByteArray engine : {"/one", "/two"}) {
            QStringList sent = posted(engine, from);
            sent.sort();
            QStringList wanted = expected;
            wanted.sort();
            QVERIFY2(sent == wanted, qPrintable(u"round %1: %2"_s.arg(QString::number(round), sent.join(u' '))));
        }
        QVERIFY2(time.elapsed() < 400000, "20 rounds should take well under 7 minutes");
    }
}

QTEST_GUILESS_MAIN(TestAnnounceHistory)
#include "test_announce_history.moc"
