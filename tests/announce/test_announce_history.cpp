// The announcement job with a history: what it keeps, and "new or changed" built on it.

#include "announce/core/announce_job.h"
#include "history/core/history_store.h"
#include "history/postgres_server.h"
#include "support/fake_clock.h"
#include "support/scripted_fetcher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QString kIndex = u"https://www.example.com/sitemap.xml"_s;
const QDateTime kFirstAnnouncement(QDate(2026, 12, 1), QTime(8, 0), QTimeZone::utc());

// The pages of the two child sitemaps: /p0…/p5 on www, /s0…/s3 on shop; lastmod before the first
// announcement unless changed.
QByteArray urlset(const QString& host, int count, const QSet<int>& changed = {}, const QSet<int>& removed = {}) {
    QByteArray xml = R"(<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (int i = 0; i < count; ++i) {
        if (removed.contains(i))
            continue;
        xml += "<url><loc>https://" + host.toUtf8() + "/p" + QByteArray::number(i) + "</loc><lastmod>" +
               (changed.contains(i) ? "2026-12-05" : "2026-11-01") + "</lastmod></url>";
    }
    return xml + "</urlset>";
}

struct Site {
    QSet<int> changed; // of www's pages
    QSet<int> removedWww;
    QSet<int> removedShop;
    int childStatus = 200; // of the shop's sitemap
};

// A job and its history on a temporary file, with the site's sitemaps and two engines that
// share with none (two groups).
struct Fixture {
    QTemporaryDir dir;
    ScriptedFetcher fetcher;
    FakeClock clock;
    HistoryStore history;
    AnnounceJob job{fetcher, clock};
    QStringList messages;
    QDateTime now = kFirstAnnouncement; // the history's clock
    QList<AnnounceTarget> targets{
        {u"One"_s, u"https://one.example/indexnow"_s, u"0123456789abcdef"_s, {}, {}},
        {u"Two"_s, u"https://two.example/indexnow"_s, u"0123456789abcdef"_s, {}, {}},
    };

    // A history of its own, or the file at historyPath.
    explicit Fixture(const QString& historyPath = {})
        : history(historyLocation(historyPath.isEmpty() ? dir.filePath(u"history.sqlite"_s) : historyPath, false, {})) {
        history.setClock([this] { return now; });
        job.setSiteUrl(u"https://www.example.com/"_s);
        job.setKeyFileCheck(false);
        job.setHistory(&history, HistoryJob::Face::Window);
        job.setChoice(AnnounceChoice::NewOrChanged);
        job.setStateTargets(targets, SharedEngines::OneOnly);
        for (const AnnounceTarget& target : targets)
            fetcher.script(target.url, {ScriptedFetcher::reply(200)});
        QObject::connect(&job, &AnnounceJob::message, &job, [this](const QString& text) { messages.append(text); });
    }
    bool runUntilIdle() {
        QSignalSpy idle(&job, &AnnounceJob::idle);
        return !job.busy() || idle.wait(10000);
    }
    bool gather(const Site& site) {
        fetcher.script(
            kIndex, {ScriptedFetcher::reply(200, R"(<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">
            <sitemap><loc>https://www.example.com/www.xml</loc></sitemap>
            <sitemap><loc>https://shop.example.com/shop.xml</loc></sitemap></sitemapindex>)")});
        fetcher.script(u"https://www.example.com/www.xml"_s,
                       {ScriptedFetcher::reply(200, urlset(u"www.example.com"_s, 6, site.changed, site.removedWww))});
        fetcher.script(
            u"https://shop.example.com/shop.xml"_s,
            {ScriptedFetcher::reply(site.childStatus, urlset(u"shop.example.com"_s, 4, {}, site.removedShop))});
        job.clear();
        job.gather({AnnounceSource::fromArgument(kIndex)});
        return runUntilIdle();
    }
    // Each POST since `from` as "engine host: address address …".
    QStringList posts(qsizetype from) const {
        QStringList result;
        for (qsizetype i = from; i < fetcher.requests.size(); ++i) {
            const FetchRequest& request = fetcher.requests[i];
            if (request.method != "POST")
                continue;
            QStringList addresses;
            for (const QJsonValue& address :
                 QJsonDocument::fromJson(request.body).object().value("urlList"_L1).toArray())
                addresses.append(address.toString().section(u'/', 2));
            result.append(request.url.host() + u": "_s + addresses.join(u' '));
        }
        return result;
    }
    bool announce() {
        job.announce(targets, SharedEngines::OneOnly);
        return runUntilIdle();
    }
};

} // namespace

class TestAnnounceHistory : public QObject {
    Q_OBJECT

private slots:
    void onlyWhatChangedIsSent();
    void goneOnlyWhenEverySitemapWasRead_data();
    void goneOnlyWhenEverySitemapWasRead();
    void failedBatchesOfThePastSentAgain();
    void historyLostMidwayTheJobGoesOn();
};

void TestAnnounceHistory::onlyWhatChangedIsSent() {
    Fixture f;
    QVERIFY(f.gather({}));
    QCOMPARE(f.job.stateCount(PageState::New), 10);
    QVERIFY(!f.job.siteHasHistory());
    QVERIFY(f.announce());
    QCOMPARE(f.posts(0).size(), 4); // one batch per host and engine
    QVERIFY(f.job.siteHasHistory());

    // Again: nothing is sent, every page is unchanged; the job is kept all the same.
    qsizetype from = f.fetcher.requests.size();
    QVERIFY(f.gather({}));
    QCOMPARE(f.job.stateCount(PageState::Unchanged), 10);
    QCOMPARE(f.job.pageState(1).state, PageState::Unchanged);
    QCOMPARE(f.job.pageState(1).announced, kFirstAnnouncement.toSecsSinceEpoch());
    QVERIFY(f.announce());
    QCOMPARE(f.posts(from), QStringList());
    QVERIFY(f.messages.contains(u"Nothing new or changed to announce."_s));

    // Three pages changed, two left the sitemaps: exactly those five, one batch per host and engine.
    from = f.fetcher.requests.size();
    QVERIFY(f.gather({{0, 2, 4}, {5}, {3}}));
    QCOMPARE(f.job.stateCount(PageState::Changed), 3);
    QCOMPARE(f.job.stateCount(PageState::Unchanged), 5);
    QCOMPARE(f.job.stateCount(PageState::Gone), 2);
    QCOMPARE(f.job.goneNotWorkedOut(), QString());
    f.now = kFirstAnnouncement.addDays(7);
    QVERIFY(f.announce());
    const QStringList five{u"www.example.com/p0 www.example.com/p2 www.example.com/p4 www.example.com/p5"_s,
                           u"shop.example.com/p3"_s};
    QCOMPARE(f.posts(from), (QStringList{u"one.example: "_s + five[0], u"one.example: "_s + five[1],
                                         u"two.example: "_s + five[0], u"two.example: "_s + five[1]}));

    // Once announced as gone, a page is not sent again; the history holds the three jobs with work.
    from = f.fetcher.requests.size();
    QVERIFY(f.gather({{0, 2, 4}, {5}, {3}}));
    QCOMPARE(f.job.stateCount(PageState::Gone), 0);
    QVERIFY(f.announce());
    QCOMPARE(f.posts(from), QStringList());
    const QList<HistoryJob> jobs = f.history.jobs();
    QCOMPARE(jobs.size(), 4);
    QCOMPARE(jobs.constLast().okCount, 4);
    QCOMPARE(jobs.constLast().dateRule, u"new or changed"_s);
    QCOMPARE(jobs.constLast().siteHost, u"www.example.com"_s);
}

void TestAnnounceHistory::goneOnlyWhenEverySitemapWasRead_data() {
    QTest::addColumn<int>("childStatus");
    QTest::addColumn<bool>("asList"); // the pages typed, not a sitemap
    QTest::addColumn<int>("gone");
    QTest::addColumn<QString>("reason");

    QTest::newRow("every sitemap read") << 200 << false << 2 << QString();
    QTest::newRow("a child failed") << 500 << false << 0 << u"not every sitemap was read whole (1 problem said)"_s;
    QTest::newRow("no sitemap") << 200 << true << 0 << u"the sources hold no sitemap"_s;
}

void TestAnnounceHistory::goneOnlyWhenEverySitemapWasRead() {
    QFETCH(int, childStatus);
    QFETCH(bool, asList);
    QFETCH(int, gone);
    QFETCH(QString, reason);

    Fixture f;
    QVERIFY(f.gather({}));
    QVERIFY(f.announce());
    const qsizetype from = f.fetcher.requests.size();
    if (asList) {
        f.job.clear();
        f.job.gather({{AnnounceSource::Kind::Text, u"https://www.example.com/p0"_s}});
        QVERIFY(f.runUntilIdle());
    } else {
        Site site;
        site.removedWww = {1};
        site.removedShop = {2};
        site.childStatus = childStatus;
        QVERIFY(f.gather(site));
    }
    QCOMPARE(f.job.stateCount(PageState::Gone), gone);
    QCOMPARE(f.job.gonePages().size(), gone);
    QVERIFY2(f.job.goneNotWorkedOut().contains(reason), qPrintable(f.job.goneNotWorkedOut()));
    QCOMPARE(f.job.goneNotWorkedOut().isEmpty(), reason.isEmpty());
    // A page of a sitemap not read never looks gone, so nothing is sent for it.
    QVERIFY(f.announce());
    QCOMPARE(f.posts(from).size(), gone > 0 ? 4 : 0);
}

void TestAnnounceHistory::failedBatchesOfThePastSentAgain() {
    Fixture f;
    f.fetcher.script(f.targets[1].url, {ScriptedFetcher::reply(400), ScriptedFetcher::reply(200)});
    QVERIFY(f.gather({}));
    QVERIFY(f.announce());
    const qint64 first = f.history.jobs().constFirst().id;
    const QList<ResultRecord> failed = f.history.failedRecords(first);
    QCOMPARE(failed.size(), 1);

    // A new job (as after a restart) sends the failed batch again; its pages are then unchanged.
    Fixture again(f.dir.filePath(u"history.sqlite"_s));
    again.job.resendFailed(failed);
    QVERIFY(again.runUntilIdle());
    QCOMPARE(again.posts(0), (QStringList{u"two.example: www.example.com/p0 www.example.com/p1 www.example.com/p2 "
                                          u"www.example.com/p3 www.example.com/p4 www.example.com/p5"_s}));
    QVERIFY(again.gather({}));
    QCOMPARE(again.job.stateCount(PageState::Unchanged), 10);
}

void TestAnnounceHistory::historyLostMidwayTheJobGoesOn() {
    PostgresServer server;
    if (const QString problem = server.start(); !problem.isEmpty()) {
        // Installed on every CI machine (scripts/common.sh): missing there is a fault.
        QVERIFY2(!server.skipReason().isEmpty() && !qEnvironmentVariableIsSet("CI"), qPrintable(problem));
        QSKIP(qPrintable(problem));
    }
    QCOMPARE(server.administer(u"CREATE DATABASE lost"_s), QString());
    qputenv("PGPASSWORD", PostgresServer::kPassword);
    Fixture f(server.url(u"lost"_s));
    QVERIFY(f.gather({}));
    // The server goes away once the first answer is written.
    QObject::connect(&f.job, &AnnounceJob::recorded, &f.job, [&](int index) {
        if (index == 0)
            server.stop();
    });
    QVERIFY(f.announce());
    QCOMPARE(f.posts(0).size(), 4);
    QCOMPARE(f.messages.filter(u"could not be written"_s).size(), 1);
    const QStringList unstored = f.messages.filter(u"records of this job were not stored in the history"_s);
    QCOMPARE(unstored.size(), 1);
    QVERIFY2(unstored[0].startsWith(u"3 records"_s) && unstored[0].contains(u"Two (https://www.example.com/p0"_s),
             qPrintable(unstored[0]));
}

QTEST_GUILESS_MAIN(TestAnnounceHistory)
#include "test_announce_history.moc"
