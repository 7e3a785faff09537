#include "google/core/google_access_token.h"
#include "google/core/google_api.h"
#include "google/core/search_console_client.h"
#include "google/core/service_account_key.h"
#include "google_test_keys.h"
#include "net/core/network_fetcher.h"
#include "support/fake_clock.h"
#include "support/local_http_server.h"

#include <QDateTime>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kEmail = "pusher@torvane-test.iam.gserviceaccount.com";
const QByteArray kSitesPath = "/webmasters/v3/sites";
const QByteArray kInspectPath = "/v1/urlInspection/index:inspect";
const QByteArray kPrefixSitemapPath =
    "/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/sitemaps/https%3A%2F%2Fwww.example.com%2Fsitemap.xml";

QByteArray tokenAnswer(const QByteArray& token) {
    return "{\"access_token\":\"" + token + "\",\"expires_in\":3599,\"token_type\":\"Bearer\"}";
}

QByteArray googleError(int code, const QByteArray& message, const QByteArray& status = "PERMISSION_DENIED") {
    return "{\"error\":{\"code\":" + QByteArray::number(code) + ",\"message\":\"" + message + "\",\"status\":\"" +
           status + "\"}}";
}

QByteArray inspectionAnswer(const QByteArray& verdict, const QByteArray& coverage, const QByteArray& crawl) {
    return "{\"inspectionResult\":{\"inspectionResultLink\":\"https://search.google.com/"
           "x\",\"indexStatusResult\":{\"verdict\":\"" +
           verdict + "\",\"coverageState\":\"" + coverage + "\"," +
           (crawl.isEmpty() ? QByteArray() : "\"lastCrawlTime\":\"" + crawl + "\",") +
           "\"googleCanonical\":\"https://www.example.com/a\"}}}";
}

QStringList messagesSeen;
void keepMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    messagesSeen.append(message);
}

} // namespace

class TestSearchConsole : public QObject {
    Q_OBJECT

    template <typename T, typename Start> std::optional<T> await(Start start) {
        std::optional<T> got;
        start([&got](const T& value) { got = value; });
        static_cast<void>(QTest::qWaitFor([&got] { return got.has_value(); }, 10000));
        return got;
    }

    // The indices of the requests that reached path, in arrival order.
    QList<int> requestsTo(const QByteArray& path) const {
        QList<int> found;
        const QList<QByteArray>& lines = m_server->requestLines();
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i].split(' ').value(1).split('?').first() == path)
                found.append(i);
        }
        return found;
    }
    QByteArray bearerOf(int request) const {
        for (const QByteArray& line : m_server->requestHeads().at(request).split('\n')) {
            if (line.toLower().startsWith("authorization:"))
                return line.mid(14).trimmed();
        }
        return {};
    }
    void keep(const QStringList& texts) { m_produced += texts; }
    void keepRecord(const ResultRecord& r) { keep({r.title, r.url, r.error, r.meaning, r.reason, r.pageTitle}); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_key = makeRsaKey();
        m_pem = privatePem(m_key.get());
        qInstallMessageHandler(keepMessage);
    }

    void init() {
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
        qputenv(kGoogleApiEnvironment, m_server->baseUrl().toUtf8());
        qunsetenv(GoogleAccessToken::kEnvironmentVariable);
        m_keyPath = m_dir.filePath(u"service-account.json"_s);
        QFile::remove(m_keyPath);
        QVERIFY(writeFile(m_keyPath, keyJson(m_pem, QString::fromLatin1(kEmail), m_server->baseUrl() + u"/token"_s),
                          kOwnerOnly));
        const ServiceAccountKey::Loaded loaded = ServiceAccountKey::load(m_keyPath);
        QVERIFY2(loaded.key, qPrintable(loaded.problem));
        m_clock = std::make_unique<FakeClock>();
        m_fetcher = std::make_unique<NetworkFetcher>();
        m_token = std::make_unique<GoogleAccessToken>(*m_fetcher, *m_clock);
        m_token->setKey(loaded.key);
        m_client = std::make_unique<SearchConsoleClient>(*m_fetcher, *m_token, *m_clock);
        m_server->queueResponse("/token", LocalHttpServer::content(tokenAnswer("ya29.first-token")));
        m_server->queueResponse("/token", LocalHttpServer::content(tokenAnswer("ya29.second-token")));
    }

    void cleanup() {
        m_client.reset();
        m_token.reset();
        m_fetcher.reset();
        qunsetenv(GoogleAccessToken::kEnvironmentVariable);
        qunsetenv(kGoogleApiEnvironment);
    }

    // The sign-in: a signed assertion traded at the key's token address, the token on every
    // API call and kept until a minute before it expires; the property matching the site picked.
    void signInAndProperties() {
        m_server->setResponse(
            kSitesPath,
            LocalHttpServer::content(
                "{\"siteEntry\":[ {\"siteUrl\":\"sc-domain:example.org\",\"permissionLevel\":\"siteOwner\"}, "
                "{\"siteUrl\":\"https://www.example.com/\",\"permissionLevel\":\"siteFullUser\"}]}"));
        const auto list = [this] {
            return await<PropertyList>([this](auto done) { m_client->listProperties(done); });
        };
        const std::optional<PropertyList> first = list();
        QVERIFY(first);
        QVERIFY2(first->problem.isEmpty(), qPrintable(first->problem));
        QCOMPARE(first->siteUrls(), QStringList({u"sc-domain:example.org"_s, u"https://www.example.com/"_s}));
        QCOMPARE(matchingProperty(first->siteUrls(), QUrl(u"https://www.example.com/"_s)),
                 u"https://www.example.com/"_s);

        QCOMPARE(requestsTo("/token").size(), 1);
        const int tokenRequest = requestsTo("/token").first();
        QVERIFY(m_server->requestHeads().at(tokenRequest).contains("application/x-www-form-urlencoded"));
        QVERIFY(bearerOf(tokenRequest).isEmpty());
        const QUrlQuery form(QString::fromLatin1(m_server->requestBodies().at(tokenRequest)));
        QCOMPARE(form.queryItemValue(u"grant_type"_s, QUrl::FullyDecoded),
                 u"urn:ietf:params:oauth:grant-type:jwt-bearer"_s);
        const QByteArray assertion = form.queryItemValue(u"assertion"_s).toLatin1();
        QVERIFY(verifiedClaims(assertion, makeRsaKey().get()).isEmpty()); // another key pair's public half
        const QJsonObject claims = verifiedClaims(assertion, m_key.get());
        QCOMPARE(claims.value("iss"_L1).toString(), QString::fromLatin1(kEmail));
        QCOMPARE(claims.value("aud"_L1).toString(), m_server->baseUrl() + u"/token"_s);
        QCOMPARE(claims.value("scope"_L1).toString(), u"https://www.googleapis.com/auth/webmasters"_s);
        const qint64 iat = claims.value("iat"_L1).toInteger();
        QVERIFY(qAbs(iat - QDateTime::currentSecsSinceEpoch()) < 60);
        QVERIFY(claims.value("exp"_L1).toInteger() > iat && claims.value("exp"_L1).toInteger() <= iat + 3600);

        m_clock->advance((3599 - 61) * 1000); // still usable
        QVERIFY(list());
        QCOMPARE(requestsTo("/token").size(), 1);
        m_clock->advance(2000); // within the last minute: renewed first
        QVERIFY(list());
        QCOMPARE(requestsTo("/token").size(), 2);
        const QList<int> calls = requestsTo(kSitesPath);
        QCOMPARE(calls.size(), 3);
        QCOMPARE(bearerOf(calls[0]), QByteArray("Bearer ya29.first-token"));
        QCOMPARE(bearerOf(calls[1]), QByteArray("Bearer ya29.first-token"));
        QCOMPARE(bearerOf(calls[2]), QByteArray("Bearer ya29.second-token"));
        keep({first->problem});
    }

    // Both path parts wholly percent-encoded, for a URL-prefix and a domain property; submitted
    // with PUT, read back with GET of the same address into the one record.
    void sitemapSubmittedAndReadBack_data() {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("sitemap");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("url prefix") << u"https://www.example.com/"_s << u"https://www.example.com/sitemap.xml"_s
                                    << kPrefixSitemapPath;
        QTest::newRow("domain") << u"sc-domain:example.com"_s << u"https://blog.example.com/feed.xml?page=1"_s
                                << QByteArray("/webmasters/v3/sites/sc-domain%3Aexample.com/sitemaps/"
                                              "https%3A%2F%2Fblog.example.com%2Ffeed.xml%3Fpage%3D1");
    }
    void sitemapSubmittedAndReadBack() {
        QFETCH(QString, property);
        QFETCH(QString, sitemap);
        QFETCH(QByteArray, path);
        m_server->queueResponse(path, LocalHttpServer::status(204));
        m_server->queueResponse(
            path, LocalHttpServer::content("{\"path\":\"" + sitemap.toUtf8() +
                                           "\", "
                                           "\"lastSubmitted\":\"2026-12-09T09:00:00.000Z\",\"lastDownloaded\":\"2026-"
                                           "12-09T09:00:05Z\",\"isPending\":true, "
                                           "\"isSitemapsIndex\":false,\"warnings\":\"1\",\"errors\":\"0\",\"contents\":"
                                           "[{\"type\":\"web\",\"submitted\":\"12\"}]}"));
        const auto record =
            await<ResultRecord>([&](auto done) { m_client->submitAndReadBack(property, QUrl(sitemap), done, 0); });
        QVERIFY(record);
        QCOMPARE(record->verdict, ResultRecord::Verdict::Ok);
        QCOMPARE(record->title, u"Google Search Console"_s);
        QCOMPARE(record->httpStatus, 204);
        QVERIFY(record->url.endsWith(QString::fromLatin1(path)));
        QCOMPARE(record->reason,
                 u"Google's state of %1: submitted 2026-12-09 09:00 UTC, downloaded 2026-12-09 09:00 UTC, processing "
                 u"pending, 0 errors, 1 warning; web: 12 submitted."_s.arg(sitemap));
        QCOMPARE(m_server->requestLines().at(requestsTo(path).at(0)), "PUT " + path + " HTTP/1.1");
        QCOMPARE(m_server->requestLines().at(requestsTo(path).at(1)), "GET " + path + " HTTP/1.1");
        for (const int call : requestsTo(path))
            QCOMPARE(bearerOf(call), QByteArray("Bearer ya29.first-token"));
        keepRecord(*record);
    }

    // Failures of the API, each said with what to do; 401 renews the token once and repeats once.
    void apiFailures_data() {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("read"); // GET the sitemap's state instead of submitting it
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("calls");
        QTest::newRow("401 once") << QList<int>{401, 204} << QByteArray() << false << QString() << 2;
        QTest::newRow("401 twice") << QList<int>{401, 401} << QByteArray() << false << u"even after a new sign-in"_s
                                   << 2;
        QTest::newRow("403 not a user")
            << QList<int>{403} << googleError(403, "User does not have sufficient permission for site") << false
            << u"The account pusher@torvane-test.iam.gserviceaccount.com is not a user of https://www.example.com/: "
               u"add it in Search Console under Settings > Users and permissions."_s
            << 1;
        QTest::newRow("403 api off") << QList<int>{403}
                                     << googleError(403, "Google Search Console API has not been used in project 1")
                                     << false << u"not turned on for the Google Cloud project"_s << 1;
        QTest::newRow("404 sitemap") << QList<int>{404} << googleError(404, "Not found", "NOT_FOUND") << true
                                     << u"Google does not have the sitemap https://www.example.com/sitemap.xml"_s << 1;
        QTest::newRow("429 quota") << QList<int>{429} << googleError(429, "Quota exceeded", "RESOURCE_EXHAUSTED")
                                   << false << u"quota for https://www.example.com/ is used up"_s << 1;
    }
    void apiFailures() {
        QFETCH(QList<int>, statuses);
        QFETCH(QByteArray, body);
        QFETCH(bool, read);
        QFETCH(QString, said);
        QFETCH(int, calls);
        for (const int status : statuses)
            m_server->queueResponse(kPrefixSitemapPath, {status, status >= 400 ? body : QByteArray(), false, {}});
        const QString property = u"https://www.example.com/"_s;
        const QUrl sitemap(u"https://www.example.com/sitemap.xml"_s);
        QString problem;
        if (read) {
            const auto readBack =
                await<SitemapReadBack>([&](auto done) { m_client->readSitemap(property, sitemap, done); });
            QVERIFY(readBack);
            problem = readBack->problem;
        } else {
            const auto record =
                await<ResultRecord>([&](auto done) { m_client->submitSitemap(property, sitemap, done); });
            QVERIFY(record);
            QCOMPARE(record->verdict, said.isEmpty() ? ResultRecord::Verdict::Ok : ResultRecord::Verdict::Error);
            problem = said.isEmpty() ? QString() : record->meaning;
            keepRecord(*record);
        }
        QVERIFY2(said.isEmpty() ? problem.isEmpty() : problem.contains(said), qPrintable(problem));
        const QList<int> made = requestsTo(kPrefixSitemapPath);
        QCOMPARE(made.size(), calls);
        QCOMPARE(requestsTo("/token").size(), calls);
        if (calls == 2)
            QCOMPARE(bearerOf(made[1]), QByteArray("Bearer ya29.second-token"));
        keep({problem});
    }

    // The sign-in refused: no API call is made, and the sentence says what to do.
    void signInRefused_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("said");
        QTest::newRow("clock") << 400
                               << QByteArray("{\"error\":\"invalid_grant\",\"error_description\":\"Invalid JWT: Token "
                                             "must be a short-lived token (60 minutes) and in a reasonable timeframe. "
                                             "Check your iat and exp values in the JWT claim.\"}")
                               << u"this computer's clock is probably wrong"_s;
        QTest::newRow("revoked key")
            << 400 << QByteArray("{\"error\":\"invalid_grant\",\"error_description\":\"Invalid JWT Signature.\"}")
            << u"the key was deleted or revoked"_s;
        QTest::newRow("server fault") << 503 << QByteArray() << u"had a fault (HTTP 503): try again later"_s;
        QTest::newRow("dropped") << -1 << QByteArray() << u"could not be reached"_s;
    }
    void signInRefused() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, said);
        // A key whose token address answers so.
        const QString path = m_dir.filePath(u"refused.json"_s);
        QVERIFY(writeFile(path, keyJson(m_pem, QString::fromLatin1(kEmail), m_server->baseUrl() + u"/refusing-token"_s),
                          kOwnerOnly));
        m_token->setKey(ServiceAccountKey::load(path).key);
        QVERIFY(QFile::remove(path));
        m_server->setResponse("/refusing-token", status < 0 ? LocalHttpServer::dropped()
                                                            : LocalHttpServer::Response{status, body, false, {}});
        const auto readBack = await<SitemapReadBack>([&](auto done) {
            m_client->readSitemap(u"https://www.example.com/"_s, QUrl(u"https://www.example.com/sitemap.xml"_s), done);
        });
        QVERIFY(readBack);
        QVERIFY2(readBack->problem.contains(said), qPrintable(readBack->problem));
        QVERIFY(requestsTo(kPrefixSitemapPath).isEmpty());
        keep({readBack->problem});
    }

    // A token in the environment is used instead of the key, and is not renewed on 401.
    void environmentToken() {
        qputenv(GoogleAccessToken::kEnvironmentVariable, "ya29.from-env");
        m_token->setKey(nullptr);
        m_server->queueResponse(kSitesPath, LocalHttpServer::content("{\"siteEntry\":[]}"));
        m_server->queueResponse(kSitesPath, LocalHttpServer::status(401));
        const auto first = await<PropertyList>([this](auto done) { m_client->listProperties(done); });
        QVERIFY(first && first->problem.isEmpty());
        const auto second = await<PropertyList>([this](auto done) { m_client->listProperties(done); });
        QVERIFY(second);
        QVERIFY2(second->problem.contains(u"GOOGLE_OAUTH_ACCESS_TOKEN (HTTP 401)"_s), qPrintable(second->problem));
        QCOMPARE(requestsTo(kSitesPath).size(), 2);
        QVERIFY(requestsTo("/token").isEmpty());
        QCOMPARE(bearerOf(requestsTo(kSitesPath).at(1)), QByteArray("Bearer ya29.from-env"));
        keep({second->problem});
    }

    // Inspection answers of each verdict, read into plain values; the request names page and property.
    void inspection_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("indexed");
        QTest::addColumn<QString>("line");
        QTest::newRow("indexed") << inspectionAnswer("PASS", "Submitted and indexed", "2026-12-01T10:20:30Z") << true
                                 << u"https://www.example.com/a\tindexed\tSubmitted and indexed\tlast crawl 2026-12-01 "
                                    u"10:20 UTC\tGoogle's canonical https://www.example.com/a"_s;
        QTest::newRow("crawled") << inspectionAnswer("NEUTRAL", "Crawled - currently not indexed",
                                                     "2026-11-30T08:00:00Z")
                                 << false
                                 << u"https://www.example.com/a\tnot indexed\tCrawled - currently not indexed\tlast "
                                    u"crawl 2026-11-30 08:00 UTC\tGoogle's canonical https://www.example.com/a"_s;
        QTest::newRow("unknown") << inspectionAnswer("NEUTRAL", "URL is unknown to Google", {}) << false
                                 << u"https://www.example.com/a\tnot indexed\tURL is unknown to Google\tnever crawled\t"
                                    u"Google's canonical https://www.example.com/a"_s;
    }
    void inspection() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, indexed);
        QFETCH(QString, line);
        m_server->setResponse(kInspectPath, LocalHttpServer::content(answer));
        const auto result = await<UrlInspection>([this](auto done) {
            m_client->inspect(u"sc-domain:example.com"_s, QUrl(u"https://www.example.com/a"_s), done);
        });
        QVERIFY(result && result->inspected());
        QCOMPARE(result->indexed(), indexed);
        QCOMPARE(result->line(), line);
        const int request = requestsTo(kInspectPath).value(0, -1);
        QVERIFY(request >= 0);
        QCOMPARE(QJsonDocument::fromJson(m_server->requestBodies().at(request)).object(),
                 QJsonObject({{u"inspectionUrl"_s, u"https://www.example.com/a"_s},
                              {u"siteUrl"_s, u"sc-domain:example.com"_s}}));
        QCOMPARE(bearerOf(request), QByteArray("Bearer ya29.first-token"));
        keep({result->line()});
    }

    // Inspections go one every 100 ms by the clock; past 2 000 in a day none is sent.
    void inspectionQuota() {
        m_server->setResponse(kInspectPath,
                              LocalHttpServer::content(inspectionAnswer("PASS", "Submitted and indexed", {})));
        const QString property = u"https://www.example.com/"_s;
        QList<UrlInspection> answers;
        for (const char* page : {"https://www.example.com/1", "https://www.example.com/2"})
            m_client->inspect(property, QUrl(QString::fromLatin1(page)),
                              [&](const UrlInspection& r) { answers.append(r); });
        QTRY_COMPARE(answers.size(), 1);
        QTest::qWait(100);
        QCOMPARE(requestsTo(kInspectPath).size(), 1); // the clock has not moved
        m_clock->advance(100);
        QTRY_COMPARE(answers.size(), 2);
        QCOMPARE(m_client->quota().usedToday(property), 2);

        while (m_client->quota().usedToday(property) < 2000)
            m_client->quota().record(property);
        m_clock->advance(100);
        const auto refused = await<UrlInspection>(
            [&](auto done) { m_client->inspect(property, QUrl(u"https://www.example.com/3"_s), done); });
        QVERIFY(refused && !refused->inspected());
        QVERIFY2(refused->problem.contains(u"2 000 URL inspections a day"_s), qPrintable(refused->problem));
        QCOMPARE(requestsTo(kInspectPath).size(), 2);
        m_clock->advance(24 * 3600 * 1000);
        QCOMPARE(m_client->quota().usedToday(property), 0);
        keep({refused->problem, m_client->quota().sentence(property)});
    }

    // The property picked for a Site URL, and whether it covers a page.
    void matchingProperties_data() {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("covered");
        QTest::newRow("prefix") << u"https://shop.example.com/"_s << u"https://shop.example.com/"_s
                                << u"https://shop.example.com/a/b"_s << true;
        QTest::newRow("prefix without slash") << u"https://SHOP.example.com"_s << u"https://shop.example.com/"_s
                                              << u"http://shop.example.com/a"_s << false;
        QTest::newRow("www to domain") << u"https://www.example.com/"_s << u"sc-domain:example.com"_s
                                       << u"http://deep.www.example.com/x"_s << true;
        QTest::newRow("domain") << u"https://example.com/"_s << u"sc-domain:example.com"_s
                                << u"https://badexample.com/"_s << false;
        QTest::newRow("scheme differs") << u"https://old.example.net/"_s << QString() << QString() << false;
        QTest::newRow("none") << u"https://example.org/"_s << QString() << QString() << false;
    }
    void matchingProperties() {
        QFETCH(QString, site);
        QFETCH(QString, property);
        QFETCH(QString, page);
        QFETCH(bool, covered);
        const QStringList properties{u"https://shop.example.com/"_s, u"sc-domain:example.com"_s,
                                     u"http://old.example.net/"_s};
        QCOMPARE(matchingProperty(properties, QUrl(site)), property);
        if (!property.isEmpty())
            QCOMPARE(propertyCovers(property, QUrl(page)), covered);
    }

    // Nothing this code produced (answers, records, messages, files) holds the key or a token.
    void noSecretsProduced() {
        QDirIterator files(m_dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        QStringList written;
        while (files.hasNext())
            written.append(files.next());
        QCOMPARE(written, QStringList{m_keyPath});
        const QList<QByteArray> pemLines = m_pem.split('\n');
        const QStringList secrets{QString::fromLatin1(pemLines.value(0)), QString::fromLatin1(pemLines.value(1)),
                                  u"ya29.first-token"_s, u"ya29.second-token"_s, u"ya29.from-env"_s};
        QVERIFY(m_produced.size() > 10);
        for (const QString& text : m_produced + messagesSeen) {
            for (const QString& secret : secrets)
                QVERIFY2(!text.contains(secret), qPrintable(text));
        }
    }

private:
    QTemporaryDir m_dir;
    Pkey m_key;
    QByteArray m_pem;
    QString m_keyPath;
    QStringList m_produced;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<NetworkFetcher> m_fetcher;
    std::unique_ptr<GoogleAccessToken> m_token;
    std::unique_ptr<SearchConsoleClient> m_client;
};

QTEST_GUILESS_MAIN(TestSearchConsole)
#include "test_search_console.moc"
