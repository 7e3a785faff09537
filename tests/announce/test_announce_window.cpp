#include "announce/ui/announce_window.h"
#include "announce/ui/gathered_hosts_model.h"
#include "announce/ui/gathered_pages_model.h"
#include "history/core/history_store.h"
#include "net/core/network_fetcher.h"
#include "submit/core/answer_meaning.h"
#include "support/local_http_server.h"

#include <QComboBox>
#include <QDateEdit>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QString kKey = u"0123456789abcdef"_s;

Engine_Data indexNowEngine(const QString& title, const QString& url) {
    Engine_Data engine;
    engine.Title = title;
    engine.Option = 1;
    engine.Option_Title[0] = u"IndexNow key"_s;
    engine.Option1 = kKey;
    engine.Url = url;
    engine.Shares = u"IndexNow"_s;
    return engine;
}

// A sitemap of base's pages: name and lastmod each.
QByteArray sitemapOf(const QByteArray& base, const QList<std::pair<QByteArray, QByteArray>>& pages) {
    QByteArray xml = R"(<?xml version="1.0"?><urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (const auto& [name, lastmod] : pages)
        xml += "<url><loc>" + base + '/' + name + "</loc><lastmod>" + lastmod + "</lastmod></url>";
    return xml + "</urlset>";
}

// The addresses in the urlList of the POSTs from the request at index `from` on.
QStringList postedAddresses(const LocalHttpServer& server, qsizetype from, int* posts = nullptr) {
    QStringList addresses;
    int count = 0;
    for (qsizetype i = from; i < server.requestLines().size(); ++i) {
        if (!server.requestLines()[i].startsWith("POST "))
            continue;
        ++count;
        const QJsonArray list =
            QJsonDocument::fromJson(server.requestBodies()[i]).object().value("urlList"_L1).toArray();
        for (const QJsonValue& value : list)
            addresses.append(value.toString());
    }
    if (posts)
        *posts = count;
    return addresses;
}

} // namespace

// The window against a local server that serves the site (robots.txt, a sitemap) and poses as
// two IndexNow engines.
class TestAnnounceWindow : public QObject {
    Q_OBJECT

private slots:
    void gathersFiltersAndAnnouncesToTwoEngines();
    void remembersWhatWasAnnounced();
    void newOrChangedOnceTheSiteHasAHistory();
};

void TestAnnounceWindow::gathersFiltersAndAnnouncesToTwoEngines() {
    LocalHttpServer server;
    QVERIFY(server.listen());
    const QString site = server.baseUrl();
    const QByteArray base = site.toUtf8();
    server.setResponse("/robots.txt", LocalHttpServer::content("User-agent: *\nSitemap: /listed.xml\n"));
    server.setResponse(
        "/sitemap.xml",
        LocalHttpServer::content(R"(<?xml version="1.0"?><urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)"
                                 "<url><loc>" +
                                 base +
                                 "/p1</loc><lastmod>2026-01-01</lastmod></url>"
                                 "<url><loc>" +
                                 base +
                                 "/p2</loc></url>"
                                 "<url><loc>" +
                                 base +
                                 "/old</loc><lastmod>2020-05-01T10:00:00+02:00</lastmod></url>"
                                 "</urlset>"));
    server.queueResponse("/one/indexnow", {429, "Too many", false, "Retry-After: 1\r\n"});
    server.queueResponse("/two/indexnow", LocalHttpServer::status(403));
    server.setResponse("/" + kKey.toUtf8() + ".txt", LocalHttpServer::content(kKey.toUtf8()));
    server.setResponse("/one/indexnow", LocalHttpServer::status(200));
    server.setResponse("/two/indexnow", LocalHttpServer::status(202));

    Engine_Type catalogue;
    catalogue.Items = {indexNowEngine(u"One"_s, site + "/one/indexnow"_L1),
                       indexNowEngine(u"Two"_s, site + "/two/indexnow"_L1)};
    catalogue.Count = 2;

    NetworkFetcher fetcher;
    AnnounceWindow window(fetcher);
    window.setInputs([&] {
        return AnnounceInputs{site, indexNowTargets(catalogue, {u"One"_s, u"Two"_s}, site), u"/p/site.tvp"_s};
    });
    // Another host: the same server under another name.
    const QByteArray other = "http://localhost:" + base.split(':').last();
    QTemporaryDir dir;
    const QString list = dir.filePath(u"list.txt"_s);
    {
        QFile file(list);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(base + "/p1\nftp://files.example/x\n" + other + "/z\n");
    }
    window.setFileDialog([&](QWidget*, const QString&) { return list; });
    window.show();

    // The default sitemap, and the one robots.txt lists, are offered.
    auto* sitemap = window.findChild<QComboBox*>(u"SitemapAddress"_s);
    QCOMPARE(sitemap->currentText(), site + "/sitemap.xml"_L1);
    QTRY_COMPARE(sitemap->count(), 2);
    QCOMPARE(sitemap->itemText(1), site + "/listed.xml"_L1);

    window.addFromSitemap();
    QTRY_VERIFY(!window.busy());
    window.addFromFile();
    QTRY_VERIFY(!window.busy());
    const PageGathering& pages = window.gathering();
    QCOMPARE(pages.pages().size(), 6);
    QCOMPARE(pages.acceptedCount(), 4);
    QCOMPARE(pages.duplicateCount(), 1);
    QCOMPARE(pages.refusedCount(), 1);
    QCOMPARE(pages.hosts().size(), 2);
    QVERIFY(pages.hosts().at(1).foreign);

    window.findChild<QRadioButton*>(u"ChangedSinceFilter"_s)->setChecked(true);
    window.findChild<QDateEdit*>(u"ChangedSince"_s)->setDate(QDate(2025, 1, 1));
    window.findChild<QRadioButton*>(u"EveryEngine"_s)->setChecked(true);
    // The counts follow the date, the hosts table too; each count agrees in number.
    QTRY_COMPARE(window.findChild<QLabel*>(u"PagesSummary"_s)->text(),
                 u"6 addresses: 3 to announce, 1 duplicate removed, 1 refused, 1 not changed since 2025-01-01."_s);
    const QAbstractItemModel* hosts = window.findChild<QTableView*>(u"HostsTable"_s)->model();
    QCOMPARE(hosts->index(0, GatheredHostsModel::PagesColumn).data().toString(), u"2"_s);
    window.announce();
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 15000);

    QList<QByteArray> posts;
    QList<QByteArray> keyFileChecks;
    for (qsizetype i = 0; i < server.requestLines().size(); ++i) {
        if (server.requestLines()[i].startsWith("GET /" + kKey.toUtf8()))
            keyFileChecks.append(LocalHttpServer::headerValue(server.requestHeads()[i], "host").startsWith("localhost")
                                     ? "localhost"
                                     : "site");
        if (server.requestLines()[i].startsWith("POST ")) {
            QCOMPARE(keyFileChecks.size(), 2); // both hosts' key files before the first batch
            posts.append(server.requestLines()[i].split(' ').value(1) + ' ' + server.requestBodies()[i]);
            QCOMPARE(LocalHttpServer::headerValue(server.requestHeads()[i], "content-type"),
                     "application/json; charset=utf-8");
        }
    }
    // The key file is not at the site's root (the site has a port): it is named for its own host.
    const QByteArray siteBatch = R"({"host":"127.0.0.1","key":"0123456789abcdef","keyLocation":")" + base +
                                 R"(/0123456789abcdef.txt","urlList":[")" + base + R"(/p1",")" + base + R"(/p2"]})";
    const QByteArray otherBatch = R"({"host":"localhost","key":"0123456789abcdef","urlList":[")" + other + R"(/z"]})";
    QCOMPARE(posts, (QList<QByteArray>{"/one/indexnow " + siteBatch, "/one/indexnow " + siteBatch,
                                       "/two/indexnow " + siteBatch, "/one/indexnow " + otherBatch,
                                       "/two/indexnow " + otherBatch}));

    const QList<ResultRecord>& records = window.results().records;
    QCOMPARE(records.size(), 4);
    QCOMPARE(window.results().profilePath, u"/p/site.tvp"_s);
    QCOMPARE(records[0].httpStatus, 200); // after the 429's wait
    QVERIFY(records[0].milliseconds >= 1000);
    QCOMPARE(records[1].verdict, ResultRecord::Verdict::Error);
    QCOMPARE(records[1].httpStatus, 403);
    // The key file is in place: the record says what to do next.
    QCOMPARE(records[1].meaning, keyFileInPlaceMeaning());
    QCOMPARE(records[1].batchSize, 2);
    QCOMPARE(records[1].batchFirst, site + "/p1"_L1);
    QCOMPARE(records[1].batchLast, site + "/p2"_L1);
    QCOMPARE(records[3].verdict, ResultRecord::Verdict::Ok);

    // Check Google's Index hands over the selected pages that can be announced, else the pages
    // of the last announcement; without a function to hand them to, it is disabled.
    auto* check = window.findChild<QPushButton*>(u"CheckGoogleIndex"_s);
    QVERIFY(!check->isEnabled());
    QList<QUrl> handed;
    window.setGoogleIndexCheck([&](const QList<QUrl>& pages) { handed = pages; });
    check->click();
    const QUrl p2(site + "/p2"_L1), z(QString::fromUtf8(other + "/z"));
    QCOMPARE(handed, (QList<QUrl>{QUrl(site + "/p1"_L1), p2, z}));
    auto* table = window.findChild<QTableView*>(u"PagesTable"_s);
    for (const int row : {5, 4, 1}) // z, the refused ftp address, p2
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    check->click();
    QCOMPARE(handed, (QList<QUrl>{p2, z}));

    // Sending the failed batches again sends the one refused, as it was.
    QVERIFY(window.canResendFailed());
    window.resendFailed();
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 10000);
    QCOMPARE(server.requestBodies().constLast(), siteBatch);
    QCOMPARE(window.results().records.size(), 1);
    QCOMPARE(window.results().records[0].httpStatus, 202);
    QVERIFY(!window.canResendFailed());
}

// With a history: the first announcement sends every page; then "New or changed" is the
// default, a failed child sitemap makes no page look gone, and after the sitemap changed (3
// pages changed, 2 removed) exactly those 5 are sent. Every page still sends all.
void TestAnnounceWindow::remembersWhatWasAnnounced() {
    LocalHttpServer server;
    QVERIFY(server.listen());
    const QString site = server.baseUrl();
    const QByteArray base = site.toUtf8();
    const QByteArray before = "2026-01-01", after = "2026-07-01";
    server.setResponse(
        "/first.xml",
        LocalHttpServer::content(sitemapOf(
            base, {{"p1", before}, {"p2", before}, {"p3", before}, {"p4", before}, {"p5", before}, {"p6", before}})));
    const QByteArray changed = sitemapOf(base, {{"p1", after}, {"p2", after}, {"p3", after}, {"p4", before}});
    server.setResponse("/changed.xml", LocalHttpServer::content(changed));
    server.setResponse("/index.xml",
                       LocalHttpServer::content(R"(<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)"
                                                "<sitemap><loc>" +
                                                base + "/changed.xml</loc></sitemap><sitemap><loc>" + base +
                                                "/missing.xml</loc></sitemap></sitemapindex>"));
    server.setResponse("/missing.xml", LocalHttpServer::status(404));
    server.setResponse("/" + kKey.toUtf8() + ".txt", LocalHttpServer::content(kKey.toUtf8()));
    server.setResponse("/one/indexnow", LocalHttpServer::status(200));

    Engine_Type catalogue;
    catalogue.Items = {indexNowEngine(u"One"_s, site + "/one/indexnow"_L1)};
    catalogue.Count = 1;
    QTemporaryDir dir;
    HistoryStore history(historyLocation(dir.filePath(u"history.sqlite"_s)));
    QVERIFY(history.open());
    history.setClock([] { return QDateTime(QDate(2026, 6, 1), QTime(12, 0), QTimeZone::utc()); });

    NetworkFetcher fetcher;
    AnnounceWindow window(fetcher);
    window.setInputs([&] { return AnnounceInputs{site, indexNowTargets(catalogue, {u"One"_s}, site), {}}; });
    window.setHistory(&history);
    window.show();
    auto* sitemap = window.findChild<QComboBox*>(u"SitemapAddress"_s);
    auto* table = window.findChild<QTableView*>(u"PagesTable"_s)->model();
    auto* states = window.findChild<QLabel*>(u"PageStates"_s);
    const auto gatherFrom = [&](const char* path) {
        window.clearPages();
        sitemap->setEditText(site + QLatin1StringView(path));
        window.addFromSitemap();
        QTRY_VERIFY(!window.busy());
    };
    // Announces; the index of its first request.
    const auto announce = [&] {
        const qsizetype from = server.requestLines().size();
        window.announce();
        return QTest::qWaitFor([&] { return !window.busy(); }, 15000) ? from : -1;
    };
    const auto page = [&](const char* name) {
        return site + u'/' + QLatin1StringView(name);
    };

    QVERIFY(window.findChild<QRadioButton*>(u"EveryPage"_s)->isChecked());
    gatherFrom("/first.xml");
    qsizetype from = announce();
    QVERIFY(from >= 0);
    QCOMPARE(postedAddresses(server, from).size(), 6);
    QTRY_COMPARE(states->text(), u"0 new, 0 changed, 6 unchanged, 0 gone from the sitemap."_s);
    QVERIFY(window.findChild<QRadioButton*>(u"NewOrChanged"_s)->isChecked());

    // A child that cannot be read: no page is gone, and the window says why.
    gatherFrom("/index.xml");
    QTRY_VERIFY(!window.job().goneNotWorkedOut().isEmpty());
    QCOMPARE(table->rowCount(), 4);
    QVERIFY(states->text().contains(window.job().goneNotWorkedOut()));

    gatherFrom("/changed.xml");
    QTRY_COMPARE(states->text(), u"0 new, 3 changed, 1 unchanged, 2 gone from the sitemap."_s);
    QCOMPARE(table->rowCount(), 6);
    QCOMPARE(window.findChild<QLabel*>(u"PagesSummary"_s)->text(),
             u"4 addresses: 5 to announce, 0 duplicates removed, 0 refused."_s);
    const QString changedState = u"Changed since 2026-06-01"_s, gone = u"Gone from the sitemap"_s;
    const QStringList expected{changedState, changedState, changedState, u"Unchanged (announced 2026-06-01)"_s,
                               gone,         gone};
    for (int row = 0; row < table->rowCount(); ++row)
        QCOMPARE(table->index(row, GatheredPagesModel::StateColumn).data().toString(), expected[row]);
    QCOMPARE(table->index(4, GatheredPagesModel::AddressColumn).data().toString(), page("p5"));
    int posts = 0;
    from = announce();
    QVERIFY(from >= 0);
    QStringList sent = postedAddresses(server, from, &posts);
    sent.sort();
    QCOMPARE(sent, (QStringList{page("p1"), page("p2"), page("p3"), page("p5"), page("p6")}));
    QCOMPARE(posts, 1);

    window.findChild<QRadioButton*>(u"EveryPage"_s)->setChecked(true);
    from = announce();
    QVERIFY(from >= 0);
    QCOMPARE(postedAddresses(server, from), (QStringList{page("p1"), page("p2"), page("p3"), page("p4")}));
}

// Until the user chooses, What to announce becomes "New or changed" as soon as the pages read
// show that the site has a history.
void TestAnnounceWindow::newOrChangedOnceTheSiteHasAHistory() {
    const QString site = u"https://www.example.com"_s;
    QTemporaryDir dir;
    HistoryStore history(historyLocation(dir.filePath(u"history.sqlite"_s)));
    QVERIFY(history.open());
    ResultRecord record;
    record.title = u"One"_s;
    record.verdict = ResultRecord::Verdict::Ok;
    record.batchSize = 1;
    HistoryJob job;
    job.siteHost = u"www.example.com"_s;
    QVERIFY(history.addAnnouncementRecord(history.beginJob(job), record, historyGroupName(u"One"_s, u"IndexNow"_s),
                                          {{site + "/a"_L1, {}, false}}));

    Engine_Type catalogue;
    catalogue.Items = {indexNowEngine(u"One"_s, site + "/indexnow"_L1)};
    catalogue.Count = 1;
    NetworkFetcher fetcher;
    AnnounceWindow window(fetcher);
    window.setInputs([&] { return AnnounceInputs{site, indexNowTargets(catalogue, {u"One"_s}, site), {}}; });
    window.setHistory(&history);
    window.findChild<QPlainTextEdit*>(u"TypedAddresses"_s)->setPlainText(site + "/a\n"_L1 + site + "/b"_L1);
    window.addTyped();
    QTRY_VERIFY(!window.busy());
    QVERIFY(window.findChild<QRadioButton*>(u"NewOrChanged"_s)->isChecked());
    QVERIFY(window.findChild<QLabel*>(u"PageStates"_s)->text().startsWith(u"1 new, 0 changed, 1 unchanged"_s));
    QCOMPARE(window.findChild<QLabel*>(u"PagesSummary"_s)->text(),
             u"2 addresses: 1 to announce, 0 duplicates removed, 0 refused."_s);
}

QTEST_MAIN(TestAnnounceWindow)
#include "test_announce_window.moc"
