#include "announce/core/announce_job.h"
#include "submit/core/answer_meaning.h"
#include "support/fake_clock.h"
#include "support/scripted_fetcher.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kKey = u"0123456789abcdef"_s;

QByteArray urlset(const QList<QByteArray>& locs) {
    QByteArray xml = R"(<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (const QByteArray& loc : locs)
        xml += "<url><loc>" + loc + "</loc></url>";
    return xml + "</urlset>";
}

QByteArray sitemapIndex(const QList<QByteArray>& locs) {
    QByteArray xml = R"(<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (const QByteArray& loc : locs)
        xml += "<sitemap><loc>" + loc + "</loc></sitemap>";
    return xml + "</sitemapindex>";
}

// A job with its messages collected.
struct Job {
    ScriptedFetcher fetcher;
    FakeClock clock;
    AnnounceJob job{fetcher, clock};
    QStringList messages;

    Job() {
        QObject::connect(&job, &AnnounceJob::message, &job, [this](const QString& text) { messages.append(text); });
    }
    bool runUntilIdle() {
        QSignalSpy idle(&job, &AnnounceJob::idle);
        return !job.busy() || idle.wait(10000);
    }
    QStringList addresses() const {
        QStringList result;
        for (const GatheredPage& page : job.gathering().pages())
            result.append(page.address);
        return result;
    }
    QStringList fetched() const {
        QStringList result;
        for (const FetchRequest& request : fetcher.requests)
            result.append(request.method + u' ' + request.url.toString());
        return result;
    }
};

AnnounceTarget target(const QString& title) {
    return {title, u"https://%1.example/indexnow"_s.arg(title.toLower()), kKey, {}, u"IndexNow"_s};
}

} // namespace

class TestAnnounceJob : public QObject {
    Q_OBJECT

private slots:
    void indexesFollowedOnceToTheirDepth();
    void limitsCountOverTheWholeGathering();
    void keyFileCheckedBeforeSending_data();
    void keyFileCheckedBeforeSending();
};

void TestAnnounceJob::indexesFollowedOnceToTheirDepth() {
    // A local index → a web index listed three times, a relative child, a missing child; the web
    // index → a page list, a nested index, itself; the nested index is past the depth of 2.
    Job j;
    const QString base = u"https://a.example/"_s;
    j.fetcher.script(base + "index.xml"_L1,
                     {ScriptedFetcher::reply(200, sitemapIndex({"https://a.example/one.xml", "/nested.xml",
                                                                "https://a.example/index.xml"}))});
    j.fetcher.script(base + "one.xml"_L1, {ScriptedFetcher::reply(200, urlset({"https://a.example/1"}))});
    j.fetcher.script(base + "nested.xml"_L1,
                     {ScriptedFetcher::reply(200, sitemapIndex({"https://a.example/two.xml"}))});
    j.fetcher.script(base + "after.xml"_L1, {ScriptedFetcher::reply(200, urlset({"https://a.example/3"}))});
    QTemporaryDir dir;
    QFile local(dir.filePath(u"index.xml"_s));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write(sitemapIndex({"https://a.example/index.xml", "https://a.example/index.xml", "relative.xml",
                              "https://a.example/gone.xml", "https://a.example/index.xml"}));
    local.close();

    j.job.gather({{AnnounceSource::Kind::File, local.fileName()}, AnnounceSource::fromArgument(base + "after.xml"_L1)});
    QVERIFY(j.runUntilIdle());
    QCOMPARE(j.addresses(), (QStringList{base + "1"_L1, base + "3"_L1}));
    QCOMPARE(j.fetched(), (QStringList{u"GET https://a.example/index.xml"_s, u"GET https://a.example/gone.xml"_s,
                                       u"GET https://a.example/one.xml"_s, u"GET https://a.example/nested.xml"_s,
                                       u"GET https://a.example/after.xml"_s}));
    const QString said = j.messages.join(u'\n');
    QVERIFY2(said.contains(u"relative.xml: a relative address"_s), qPrintable(said));
    QVERIFY2(said.contains(u"gone.xml: the server answered HTTP 404, not read."_s), qPrintable(said));
    QVERIFY2(said.contains(u"nested.xml: an index nested more than 2 levels deep: 1 sitemap it lists was not read."_s),
             qPrintable(said));
    QVERIFY(j.job.unreadableSources().isEmpty()); // a bad child is not a bad source
}

void TestAnnounceJob::limitsCountOverTheWholeGathering() {
    Job j;
    SitemapLimits limits;
    limits.maxChildSitemaps = 2;
    j.job.setLimits(limits);
    for (const char* name : {"a", "b"}) {
        const QByteArray index = "https://a.example/" + QByteArray(name);
        j.fetcher.script(QString::fromLatin1(index + ".xml"),
                         {ScriptedFetcher::reply(200, sitemapIndex({index + "1.xml", index + "2.xml"}))});
        for (const char* child : {"1", "2"})
            j.fetcher.script(QString::fromLatin1(index + child + ".xml"),
                             {ScriptedFetcher::reply(200, urlset({index + child}))});
    }
    j.job.gather({AnnounceSource::fromArgument(u"https://a.example/a.xml"_s),
                  AnnounceSource::fromArgument(u"https://a.example/b.xml"_s)});
    QVERIFY(j.runUntilIdle());
    QCOMPARE(j.addresses(), (QStringList{u"https://a.example/a1"_s, u"https://a.example/a2"_s}));
    QCOMPARE(j.messages.filter(u"More than 2 child sitemaps"_s).size(), 1);

    // Past the total size, nothing more is fetched.
    Job bounded;
    limits = {};
    limits.maxTotalBytes = 100;
    bounded.job.setLimits(limits);
    bounded.fetcher.script(
        u"https://a.example/a.xml"_s,
        {ScriptedFetcher::reply(200, sitemapIndex({"https://a.example/a1.xml", "https://a.example/a2.xml"}))});
    bounded.job.gather({AnnounceSource::fromArgument(u"https://a.example/a.xml"_s)});
    QVERIFY(bounded.runUntilIdle());
    QCOMPARE(bounded.fetcher.requests.size(), 1);
    QVERIFY2(bounded.messages.join(u'\n').contains(u"more than 100 bytes in all. 2 files were not read."_s),
             qPrintable(bounded.messages.join(u'\n')));
}

void TestAnnounceJob::keyFileCheckedBeforeSending_data() {
    QTest::addColumn<int>("keyFileStatus");
    QTest::addColumn<int>("engineStatus");
    QTest::addColumn<bool>("sendAnyway");
    QTest::addColumn<int>("posts");
    QTest::addColumn<QString>("meaning");

    const QString refused = u"Not sent: the key file of this host was not found or does not hold the key."_s;
    QTest::newRow("key file found, 200") << 200 << 200 << false << 2 << answerMeaning(200, NetworkFailure::None, true);
    QTest::newRow("key file found, 403 says what to do") << 200 << 403 << false << 2 << keyFileInPlaceMeaning();
    QTest::newRow("key file missing: nothing sent") << 404 << 200 << false << 0 << refused;
    QTest::newRow("key file missing, sent anyway")
        << 404 << 403 << true << 2 << answerMeaning(403, NetworkFailure::None, true);
}

void TestAnnounceJob::keyFileCheckedBeforeSending() {
    QFETCH(int, keyFileStatus);
    QFETCH(int, engineStatus);
    QFETCH(bool, sendAnyway);
    QFETCH(int, posts);
    QFETCH(QString, meaning);

    Job j;
    const QString keyFile = u"https://www.example.com/"_s + kKey + u".txt"_s;
    j.fetcher.script(keyFile, {ScriptedFetcher::reply(keyFileStatus, kKey.toUtf8())});
    j.fetcher.script(u"https://one.example/indexnow"_s, {ScriptedFetcher::reply(engineStatus)});
    j.fetcher.script(u"https://two.example/indexnow"_s, {ScriptedFetcher::reply(engineStatus)});
    j.job.setSiteUrl(u"https://www.example.com/"_s);
    j.job.gather({{AnnounceSource::Kind::Text, u"https://www.example.com/a\nhttps://www.example.com/b"_s}});
    QVERIFY(j.runUntilIdle());
    QStringList asked;
    connect(&j.job, &AnnounceJob::keyFileQuestion, &j.job, [&](const QStringList& problems) {
        asked = problems;
        QTimer::singleShot(0, &j.job, [&] { j.job.answerKeyFileQuestion(sendAnyway); });
    });
    j.job.announce({target(u"One"_s), target(u"Two"_s)}, SharedEngines::All);
    QVERIFY(j.runUntilIdle());

    // The key file is fetched once, before any batch; the records say what it found.
    QCOMPARE(j.fetched().value(0), u"GET "_s + keyFile);
    QCOMPARE(j.fetched().filter(u"GET "_s).size(), 1);
    QCOMPARE(j.fetched().filter(u"POST "_s).size(), posts);
    QCOMPARE(asked.size(), keyFileStatus == 200 ? 0 : 1);
    const RunResults& results = j.job.results();
    QCOMPARE(results.records.size(), 2);
    QCOMPARE(results.records[1].meaning, meaning);
    QCOMPARE(results.records[1].keyFile.isEmpty(), engineStatus != 403 && posts > 0);
    // Sent to every engine of a shared group: the notice says so.
    QCOMPARE(results.sharedNotices.size(), 1);
    QVERIFY(results.started.isValid() && results.started.timeSpec() == Qt::LocalTime);
    const QString said = j.messages.join(u'\n');
    QVERIFY2(said.contains(u"Announcing 2 addresses of 1 host in 1 batch, 2 requests to 2 engines: One, Two."_s),
             qPrintable(said));
    const int ok = engineStatus == 200 && posts > 0 ? 2 : 0;
    QVERIFY2(said.contains(u"Done: %1 answered OK, %2 not."_s.arg(ok == 2 ? u"2 requests"_s : u"0 requests"_s,
                                                                  QString::number(2 - ok))),
             qPrintable(said));
}

QTEST_GUILESS_MAIN(TestAnnounceJob)
#include "test_announce_job.moc"
