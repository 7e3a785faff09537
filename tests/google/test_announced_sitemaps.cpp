#include "announce/core/announce_job.h"
#include "google/core/google_access_token.h"
#include "google/core/google_api.h"
#include "google/core/index_check.h"
#include "google/core/search_console_client.h"
#include "google/core/service_account_key.h"
#include "google_test_keys.h"
#include "history/core/history_store.h"
#include "net/core/network_fetcher.h"
#include "platform/clock.h"
#include "submit/core/run_report.h"
#include "support/local_http_server.h"
#include "support/program_run.h"

#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// An announcement with Google Search Console connected, against the local stand-in: the
// sitemaps read by URL are submitted (the index, not its children), read back into their
// record; a local file is named as not submitted; the records are not batches to send again;
// neither the report nor the history holds key material.
class TestAnnouncedSitemaps : public QObject {
    Q_OBJECT

    static QByteArray encoded(const QString& text) { return QUrl::toPercentEncoding(text); }
    static QByteArray xml(const QByteArray& root, const QByteArray& entry, const QByteArray& loc) {
        return "<" + root + " xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><" + entry + "><loc>" + loc +
               "</loc></" + entry + "></" + root + ">";
    }
    QList<QByteArray> linesWith(const QByteArray& method) const {
        QList<QByteArray> found;
        for (const QByteArray& line : m_server.requestLines()) {
            if (line.startsWith(method + ' ') && line.contains("/webmasters/"))
                found.append(line.split(' ').value(1));
        }
        return found;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid() && m_server.listen());
        qputenv(kGoogleApiEnvironment, m_server.baseUrl().toUtf8());
        qunsetenv(GoogleAccessToken::kEnvironmentVariable);
        m_pem = privatePem(makeRsaKey().get());
        m_keyPath = m_dir.filePath(u"service-account.json"_s);
        QVERIFY(writeFile(
            m_keyPath,
            keyJson(m_pem, u"pusher@torvane-test.iam.gserviceaccount.com"_s, m_server.baseUrl() + u"/token"_s),
            kOwnerOnly));
        m_token.setKey(ServiceAccountKey::load(m_keyPath).key);
        const QByteArray base = m_server.baseUrl().toUtf8();
        m_server.setResponse("/token", LocalHttpServer::content("{\"access_token\":\"ya29.announce-token\","
                                                                "\"expires_in\":3599,\"token_type\":\"Bearer\"}"));
        m_server.setResponse("/sitemap_index.xml",
                             LocalHttpServer::content(xml("sitemapindex", "sitemap", base + "/pages.xml")));
        m_server.setResponse("/pages.xml", LocalHttpServer::content(xml("urlset", "url", base + "/a")));
        QVERIFY(writeFile(m_dir.filePath(u"local.xml"_s), xml("urlset", "url", base + "/b"), kOwnerOnly));
    }

    void indexSubmittedOnceAndReadBack() {
        const QString base = m_server.baseUrl();
        const QString property = base + u'/';
        const QString index = base + u"/sitemap_index.xml"_s;
        m_server.setResponse("/indexnow", LocalHttpServer::status(400));
        const QByteArray api = "/webmasters/v3/sites/" + encoded(property) + "/sitemaps/" + encoded(index);
        m_server.queueResponse(api, LocalHttpServer::status(204));
        m_server.queueResponse(api, LocalHttpServer::content("{\"path\":\"" + index.toUtf8() +
                                                             "\",\"isPending\":true,\"isSitemapsIndex\":true,"
                                                             "\"errors\":\"0\",\"warnings\":\"0\"}"));
        const QString localSitemap = m_dir.filePath(u"local.xml"_s);

        AnnounceJob job(m_fetcher, m_clock);
        job.setSiteUrl(property);
        job.setKeyFileCheck(false);
        job.setGoogle(&m_client, property, 0);
        QSignalSpy idle(&job, &AnnounceJob::idle);
        job.gather({AnnounceSource::fromArgument(index),
                    {AnnounceSource::Kind::File, localSitemap},
                    {AnnounceSource::Kind::Text, base + u"/typed"_s}});
        QVERIFY(idle.wait(10000));
        job.announce({{u"Stand-in"_s, base + u"/indexnow"_s, u"0123456789abcdef"_s, {}, {}}}, SharedEngines::All);
        QVERIFY(idle.wait(20000));

        // One PUT of the index, at the exact encoded address; its GET a moment later; no child.
        QCOMPARE(linesWith("PUT"), QList<QByteArray>{api});
        QCOMPARE(linesWith("GET"), QList<QByteArray>{api});
        const QList<ResultRecord>& records = job.results().records;
        QCOMPARE(records.size(), 3);
        QVERIFY(records[0].isBatch());
        const ResultRecord& submitted = records[1];
        QCOMPARE(submitted.title, SearchConsoleClient::engineTitle());
        QCOMPARE(submitted.verdict, ResultRecord::Verdict::Ok);
        QCOMPARE(submitted.httpStatus, 204);
        QVERIFY2(submitted.reason.startsWith(u"Google's state of "_s + index), qPrintable(submitted.reason));
        QVERIFY2(submitted.reason.contains(u"pending"_s), qPrintable(submitted.reason));
        const ResultRecord& local = records[2];
        QCOMPARE(local.verdict, ResultRecord::Verdict::Skipped);
        QVERIFY2(local.meaning.contains(u"read from a file on this computer"_s), qPrintable(local.meaning));

        // Only the failed batch is sent again; the Google records are no batches.
        QCOMPARE(requestsToResend(records).size(), 1);
        QVERIFY(job.canResendFailed());
        job.resendFailed();
        QVERIFY(idle.wait(10000));
        QCOMPARE(job.results().records.size(), 1);
        QCOMPARE(linesWith("PUT").size(), 1);

        // Neither a report nor the history holds the key or the token.
        RunResults kept;
        kept.records = records;
        QCOMPARE(saveRunReport(m_dir.filePath(u"report.csv"_s), kept), QString());
        {
            HistoryStore history(historyLocation(m_dir.filePath(u"history.db"_s)));
            const qint64 id = history.beginJob({});
            for (const ResultRecord& record : records)
                QVERIFY(history.addRecord(id, record));
        }
        const QList<QByteArray> secrets{m_pem.split('\n').value(1), "ya29.announce-token"};
        QDirIterator files(m_dir.path(), QDir::Files);
        int read = 0;
        while (files.hasNext()) {
            const QString path = files.next();
            if (path == m_keyPath)
                continue;
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            for (const QByteArray& secret : secrets)
                QVERIFY2(!bytes.contains(secret), qPrintable(path));
            ++read;
        }
        QVERIFY(read >= 3);
    }

    // The Google step shares the Google window's client: an index check stopped meanwhile leaves
    // it going; the announcement stopped while it waits for the read-back ends at once.
    void sharedClientAndCancel() {
        const QString base = m_server.baseUrl();
        const QString index = base + u"/sitemap_index.xml"_s;
        const QByteArray api = "/webmasters/v3/sites/" + encoded(base + u'/') + "/sitemaps/" + encoded(index);
        m_server.setResponse("/indexnow", LocalHttpServer::status(200));
        m_server.setResponse(api, LocalHttpServer::content("{\"path\":\"" + index.toUtf8() + "\"}"));
        AnnounceJob job(m_fetcher, m_clock);
        job.setSiteUrl(base + u'/');
        job.setKeyFileCheck(false);
        job.setGoogle(&m_client, base + u'/', 300);
        QSignalSpy idle(&job, &AnnounceJob::idle);
        job.gather({AnnounceSource::fromArgument(index)});
        QVERIFY(idle.wait(10000));
        const QList<AnnounceTarget> targets{{u"Stand-in"_s, base + u"/indexnow"_s, u"0123456789abcdef"_s, {}, {}}};
        for (const bool stopAnnouncement : {false, true}) {
            const qsizetype puts = linesWith("PUT").size();
            const qsizetype idles = idle.size();
            job.announce(targets, SharedEngines::All);
            QTRY_COMPARE(linesWith("PUT").size(), puts + 1);
            if (stopAnnouncement) {
                job.cancel();
            } else {
                IndexCheck check(m_client);
                check.start(base + u'/', {QUrl(base + u"/a"_s)});
                check.cancel();
            }
            QTRY_COMPARE_WITH_TIMEOUT(idle.size(), idles + 1, 5000);
            const ResultRecord& google = job.results().records.constLast();
            QCOMPARE(google.title, SearchConsoleClient::engineTitle());
            QCOMPARE(google.verdict, stopAnnouncement ? ResultRecord::Verdict::Skipped : ResultRecord::Verdict::Ok);
        }
    }

    // --announce with the profile's key: the same one PUT, the state printed, and the local
    // file named as not submitted without making the status a failure.
    void commandLine() {
        const QString base = m_server.baseUrl();
        // A sitemap of its own: a read-back that the test before stopped may reach the server only
        // now, and must not take the answers queued here.
        const QString index = base + u"/cli_index.xml"_s;
        m_server.setResponse("/cli_index.xml",
                             LocalHttpServer::content(xml("sitemapindex", "sitemap", base.toUtf8() + "/pages.xml")));
        const QByteArray api = "/webmasters/v3/sites/" + encoded(base + u'/') + "/sitemaps/" + encoded(index);
        m_server.setResponse("/indexnow", LocalHttpServer::status(200));
        m_server.setResponse("/webmasters/v3/sites",
                             LocalHttpServer::content("{\"siteEntry\":[{\"siteUrl\":\"" + base.toUtf8() + "/\"}]}"));
        m_server.queueResponse(api, LocalHttpServer::status(204));
        m_server.queueResponse(
            api, LocalHttpServer::content("{\"path\":\"" + index.toUtf8() + "\",\"isPending\":true,\"errors\":\"0\"}"));
        const QString catalogue = m_dir.filePath(u"Engine.dat"_s);
        const QString profile = m_dir.filePath(u"site.tvp"_s);
        QVERIFY(writeFile(
            catalogue,
            u"[Engine]\nAmount=1\nTitle1=Stand-in\n[Stand-in]\nUrl=%1/indexnow\nvar=1\nvar1=url\n"
            u"var_value1=VAR16\nOption=1\nOption_Title1=IndexNow key\nError1=Key?\nItem1=0\nValue1=0\n"_s.arg(base)
                .toUtf8(),
            kOwnerOnly));
        QVERIFY(writeFile(profile,
                          u"[Site Info]\nSite_Title=Example\nSite_URL=%1/\nGoogle_Key_File=service-account.json\n"
                          u"[Stand-in]\nSelected=1\nOption1=0123456789abcdef\nOptVal1=0123456789abcdef\n"_s.arg(base)
                              .toUtf8(),
                          kOwnerOnly));
        const qsizetype puts = linesWith("PUT").size();

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TORVANE_HISTORY"_s, m_dir.filePath(u"cli-history.sqlite"_s));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TORVANE_PROGRAM),
                      {u"--announce"_s, index, m_dir.filePath(u"local.xml"_s), u"--profile"_s, profile,
                       u"--catalogue"_s, catalogue, u"--no-key-check"_s});
        const ProgramRun run = waitForProgram(process);
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QCOMPARE(linesWith("PUT").size(), puts + 1);
        QCOMPARE(linesWith("PUT").constLast(), api);
        QVERIFY2(
            run.out.contains(u"[Engine] Google Search Console...OK\n    HTTP 204: Google took the sitemap "_s + index),
            qPrintable(run.out));
        QVERIFY2(run.out.contains(u"Google's state of "_s + index), qPrintable(run.out));
        QVERIFY2(run.out.contains(u"[Engine] Google Search Console...SKIPPED"_s), qPrintable(run.out));
        QVERIFY(!(run.out + run.err).contains(u"ya29.announce-token"_s));
    }

private:
    QTemporaryDir m_dir;
    LocalHttpServer m_server;
    SystemClock m_clock;
    NetworkFetcher m_fetcher;
    GoogleAccessToken m_token{m_fetcher, m_clock};
    SearchConsoleClient m_client{m_fetcher, m_token, m_clock};
    QByteArray m_pem;
    QString m_keyPath;
};

QTEST_GUILESS_MAIN(TestAnnouncedSitemaps)
#include "test_announced_sitemaps.moc"
