// The Announce Pages window and `torvane --announce` on the same sources, date, engines and time
// zone, against one local stand-in: the same requests, byte for byte, and records that agree.

#include "announce/ui/announce_window.h"
#include "net/core/network_fetcher.h"
#include "support/local_http_server.h"
#include "support/program_run.h"

#include <QDateEdit>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <ctime>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kKey = "0123456789abcdef";
const QStringList kEngines{u"IndexNow - One"_s, u"IndexNow - Two"_s};

struct Finished {
    int status = -1;
    QString out;
    QString err;
};

struct Request {
    QByteArray head;
    QByteArray body;
    bool operator==(const Request& other) const { return head == other.head && body == other.body; }
};

} // namespace

class TestAnnounceFaces : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void sameRequestsFromBothFaces_data();
    void sameRequestsFromBothFaces();
    void interruptedWhileReadingWritesReport();

private:
    Finished runCli(const QStringList& arguments, const QByteArray& timeZone);
    // The requests the server received since `from`, key-file checks and POSTs.
    QList<Request> requestsSince(qsizetype from) const;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    int m_runs = 0;

    LocalHttpServer m_server;
    QTemporaryDir m_dir;
    QString m_catalogue;
    QString m_profile;
    QString m_index;
    QByteArray m_oldTimeZone;
};

void TestAnnounceFaces::initTestCase() {
    QVERIFY(m_server.listen());
    const QByteArray base = m_server.baseUrl().toUtf8();
    // The pages around midnight of 2026-01-01: in UTC and in Berlin (UTC+1) that midnight differs.
    m_server.setResponse("/a.xml",
                         LocalHttpServer::content(R"(<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)"
                                                  "<url><loc>" +
                                                  base +
                                                  "/late</loc><lastmod>2025-12-31T23:30:00Z</lastmod></url>"
                                                  "<url><loc>" +
                                                  base +
                                                  "/early</loc><lastmod>2025-12-31T22:30:00Z</lastmod></url>"
                                                  "<url><loc>" +
                                                  base +
                                                  "/new</loc><lastmod>2026-01-02</lastmod></url>"
                                                  "<url><loc>" +
                                                  base + "/undated</loc></url></urlset>"));
    m_server.setResponse("/gone.xml", LocalHttpServer::status(404));
    m_server.setResponse("/never.xml", LocalHttpServer::hanging());
    m_server.setResponse("/one/indexnow", LocalHttpServer::status(200));
    m_server.setResponse("/two/indexnow", LocalHttpServer::status(403));

    QString catalogue = u"[Engine]\nAmount=2\nTitle1=%1\nTitle2=%2\n"_s.arg(kEngines[0], kEngines[1]);
    for (const auto& [title, page] : {std::pair{kEngines[0], "/one/indexnow"}, std::pair{kEngines[1], "/two/indexnow"}})
        catalogue += u"[%1]\nUrl=%2%3\nvar=1\nvar1=url\nvar_value1=VAR16\nShares=IndexNow\nOption=1\n"
                     u"Option_Title1=IndexNow key\nError1=Key?\nItem1=0\nValue1=0\n"_s.arg(title, m_server.baseUrl(),
                                                                                           QLatin1StringView(page));
    QString profile = u"[Contact Info]\nCompany=Example Co\nEmail=me@example.com\nFirst_Name=Ann\nLast_Name=Lee\n"
                      u"Street=1 Main St\nCity=Springfield\nState=IL\nZip=62701\nCountry=United States\n"
                      u"Country_ID=US\nPhone=555-0100\nPassword=secret\n[Site Info]\nSite_Title=Example\n"
                      u"Site_URL=%1/\nKeyword1=example\nDescription=An example.\n"_s.arg(m_server.baseUrl());
    for (const QString& title : kEngines)
        profile += u"[%1]\nSelected=1\nOption1=%2\nOptVal1=%2\n"_s.arg(title, QString::fromLatin1(kKey));
    // A sitemap index on disk: one good child, one missing, one listed twice.
    const QByteArray index = R"(<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)"
                             "<sitemap><loc>" +
                             base + "/a.xml</loc></sitemap><sitemap><loc>" + base +
                             "/gone.xml</loc></sitemap><sitemap><loc>" + base + "/a.xml</loc></sitemap></sitemapindex>";
    m_catalogue = path(u"Engine.dat"_s);
    m_profile = path(u"site.tvp"_s);
    m_index = path(u"index.xml"_s);
    for (const auto& [name, text] : {std::pair{m_catalogue, catalogue.toUtf8()}, std::pair{m_profile, profile.toUtf8()},
                                     std::pair{m_index, index}}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    m_oldTimeZone = qgetenv("TZ");
}

void TestAnnounceFaces::cleanup() {
    qputenv("TZ", m_oldTimeZone);
    tzset();
}

Finished TestAnnounceFaces::runCli(const QStringList& arguments, const QByteArray& timeZone) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TZ"_s, QString::fromLatin1(timeZone));
    // A history of its own for each run: every page is new to it, as to the window without one.
    environment.insert(u"TORVANE_HISTORY"_s, path(u"history-%1.sqlite"_s.arg(QString::number(++m_runs))));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral(TORVANE_PROGRAM), arguments);
    const ProgramRun run = waitForProgram(process);
    return {run.status, run.out, run.err};
}

QList<Request> TestAnnounceFaces::requestsSince(qsizetype from) const {
    QList<Request> requests;
    for (qsizetype i = from; i < m_server.requestLines().size(); ++i) {
        const QByteArray& line = m_server.requestLines()[i];
        if (line.startsWith("POST ") || line.startsWith("GET /" + kKey))
            requests.append({m_server.requestHeads()[i], m_server.requestBodies()[i]});
    }
    return requests;
}

void TestAnnounceFaces::sameRequestsFromBothFaces_data() {
    QTest::addColumn<QByteArray>("timeZone");
    QTest::addColumn<bool>("lateIncluded"); // 2025-12-31T23:30Z is on or after local midnight

    QTest::newRow("UTC") << QByteArray("UTC") << false;
    QTest::newRow("Europe/Berlin") << QByteArray("Europe/Berlin") << true;
}

void TestAnnounceFaces::sameRequestsFromBothFaces() {
    QFETCH(QByteArray, timeZone);
    QFETCH(bool, lateIncluded);
    qputenv("TZ", timeZone);
    tzset();

    const QString site = m_server.baseUrl() + u'/';
    Engine_Type catalogue;
    for (const QString& title : kEngines) {
        Engine_Data engine;
        engine.Title = title;
        engine.Option = 1;
        engine.Option_Title[0] = u"IndexNow key"_s;
        engine.Option1 = QString::fromLatin1(kKey);
        engine.Url = m_server.baseUrl() + (title == kEngines[0] ? u"/one/indexnow"_s : u"/two/indexnow"_s);
        engine.Shares = u"IndexNow"_s;
        catalogue.Items.append(engine);
    }
    catalogue.Count = 2;
    const QStringList cliArguments{u"--announce"_s,   m_index,       u"--profile"_s,     m_profile,
                                   u"--catalogue"_s,  m_catalogue,   u"--since"_s,       u"2026-01-01"_s,
                                   u"--all-shared"_s, u"--report"_s, path(u"cli.json"_s)};

    // The window, as a user would: the index file, the date box, every engine.
    const auto runWindow = [&](QStringList* asked, RunResults* results) {
        NetworkFetcher fetcher;
        AnnounceWindow window(fetcher);
        window.setInputs([&] { return AnnounceInputs{site, indexNowTargets(catalogue, kEngines, site), m_profile}; });
        window.setFileDialog([&](QWidget*, const QString&) { return m_index; });
        window.setKeyFileQuestion([&](QWidget*, const QStringList& problems) {
            *asked = problems;
            return false;
        });
        window.addFromFile();
        QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 20000);
        window.findChild<QRadioButton*>(u"ChangedSinceFilter"_s)->setChecked(true);
        window.findChild<QDateEdit*>(u"ChangedSince"_s)->setDate(QDate(2026, 1, 1));
        window.findChild<QRadioButton*>(u"EveryEngine"_s)->setChecked(true);
        window.announce();
        QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 20000);
        *results = window.results();
    };

    // The key file is missing: both say so before any batch, and send nothing.
    m_server.setResponse("/" + kKey + ".txt", LocalHttpServer::status(404));
    qsizetype from = m_server.requestLines().size();
    QStringList asked;
    RunResults refused;
    runWindow(&asked, &refused);
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked[0].contains(u"was not found: the site answered with status 404."_s), qPrintable(asked[0]));
    const QList<Request> windowRefused = requestsSince(from);
    QCOMPARE(windowRefused.size(), 1); // the key file's GET alone
    QCOMPARE(refused.records.size(), 2);
    QCOMPARE(refused.records[0].verdict, ResultRecord::Verdict::Skipped);
    from = m_server.requestLines().size();
    const Finished cliRefused = runCli(cliArguments, timeZone);
    QCOMPARE(cliRefused.status, 1);
    QVERIFY2(cliRefused.err.contains(asked[0]), qPrintable(cliRefused.err));
    QCOMPARE(requestsSince(from), windowRefused);

    // Served: the same bytes from both.
    m_server.setResponse("/" + kKey + ".txt", LocalHttpServer::content(kKey + "\n"));
    m_server.queueResponse("/one/indexnow", {429, "wait", false, "Retry-After: 1\r\n"});
    from = m_server.requestLines().size();
    RunResults sent;
    runWindow(&asked, &sent);
    const QList<Request> windowRequests = requestsSince(from);
    m_server.queueResponse("/one/indexnow", {429, "wait", false, "Retry-After: 1\r\n"});
    from = m_server.requestLines().size();
    const Finished cli = runCli(cliArguments, timeZone);
    QCOMPARE(cli.status, 1); // one engine refuses the key
    QCOMPARE(requestsSince(from), windowRequests);
    QCOMPARE(windowRequests.size(), 4); // the key file, then one batch to One (twice: 429) and to Two
    const QByteArray body = windowRequests.constLast().body;
    QCOMPARE(body.contains("/late\""), lateIncluded);
    QVERIFY(body.contains("/new\"") && body.contains("/undated\"") && !body.contains("/early\""));

    // The records agree, and the wait is said under its engine's line.
    QFile report(path(u"cli.json"_s));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(report.readAll()).object();
    QCOMPARE(json.value("profile"_L1).toString(), m_profile);
    const QJsonArray engines = json.value("engines"_L1).toArray();
    QCOMPARE(engines.size(), sent.records.size());
    for (int i = 0; i < engines.size(); ++i) {
        QCOMPARE(engines[i].toObject().value("meaning"_L1).toString(), sent.records[i].meaning);
        QCOMPARE(engines[i].toObject().value("key_file"_L1).toString(), sent.records[i].keyFile);
    }
    const QString count = lateIncluded ? u"3 addresses"_s : u"2 addresses"_s;
    QVERIFY2(cli.out.contains(
                 u"[Engine] IndexNow - One (%1)...OK\n"
                 u"    IndexNow - One, batch 1 of 1: asked to wait (429); sending again in 1 s.\n"_s.arg(count)),
             qPrintable(cli.out));
    QVERIFY2(cli.out.contains(u"Done: 1 request answered OK, 1 not."_s), qPrintable(cli.out));
    QVERIFY2(cli.err.contains(u"gone.xml: the server answered HTTP 404, not read."_s), qPrintable(cli.err));
}

void TestAnnounceFaces::interruptedWhileReadingWritesReport() {
    const QString report = path(u"interrupted.json"_s);
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral(TORVANE_PROGRAM),
                  {u"--announce"_s, m_server.baseUrl() + u"/never.xml"_s, u"--profile"_s, m_profile, u"--catalogue"_s,
                   m_catalogue, u"--report"_s, report});
    QTRY_VERIFY_WITH_TIMEOUT(m_server.requestLines().constLast().startsWith("GET /never.xml"), 30000);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 3);
    QFile file(report);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object().value("profile"_L1).toString(), m_profile);
}

QTEST_MAIN(TestAnnounceFaces)
#include "test_announce_faces.moc"
