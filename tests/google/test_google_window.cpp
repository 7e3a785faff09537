// Run > Google Search Console… against a local stand-in for Google's APIs, as a new user goes:
// a key file chosen (its path becomes a profile edit), Connect lists the account's properties
// and picks the one matching the Site URL, the property's sitemaps shown, three pages checked
// and the answers saved as a report.

#include "announce/ui/announce_window.h"
#include "app/application.h"
#include "app/main_window.h"
#include "google/core/google_access_token.h"
#include "google/core/google_api.h"
#include "google/core/index_check.h"
#include "google/google_test_keys.h"
#include "history/core/history_store.h"
#include "support/local_http_server.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

QByteArray inspectionAnswer(const QByteArray& verdict, const QByteArray& coverage) {
    return "{\"inspectionResult\":{\"indexStatusResult\":{\"verdict\":\"" + verdict + "\",\"coverageState\":\"" +
           coverage + "\",\"googleCanonical\":\"https://www.example.com/a\"}}}";
}

} // namespace

class TestGoogleWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_pem;

    template <typename T> static T* child(QWidget* window, const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    // The stand-in for Google: two properties, one sitemap, three pages' answers; the key file.
    QString standIn(LocalHttpServer& server, bool othersCanRead = false) {
        qputenv(kGoogleApiEnvironment, server.baseUrl().toUtf8());
        server.setResponse("/token", LocalHttpServer::content("{\"access_token\":\"ya29.window-token\","
                                                              "\"expires_in\":3599}"));
        server.setResponse("/webmasters/v3/sites",
                           LocalHttpServer::content("{\"siteEntry\":[{\"siteUrl\":\"sc-domain:example.org\"},"
                                                    "{\"siteUrl\":\"https://www.example.com/\"}]}"));
        server.setResponse("/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/sitemaps",
                           LocalHttpServer::content("{\"sitemap\":[{\"path\":\"https://www.example.com/sitemap.xml\","
                                                    "\"lastSubmitted\":\"2026-12-08T09:00:00Z\",\"isPending\":true,"
                                                    "\"errors\":\"0\",\"warnings\":\"1\"}]}"));
        for (const QByteArray& answer : {inspectionAnswer("PASS", "Submitted and indexed"),
                                         inspectionAnswer("NEUTRAL", "Crawled - currently not indexed"),
                                         inspectionAnswer("NEUTRAL", "URL is unknown to Google")})
            server.queueResponse("/v1/urlInspection/index:inspect", LocalHttpServer::content(answer));
        const QString keyPath = m_dir.filePath(u"key.json"_s);
        QFile::remove(keyPath);
        const bool written = writeFile(
            keyPath, keyJson(m_pem, u"checker@torvane-test.iam.gserviceaccount.com"_s, server.baseUrl() + u"/token"_s),
            othersCanRead ? kOwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther : kOwnerOnly);
        return written ? keyPath : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        applyWindowLook();
        qunsetenv(GoogleAccessToken::kEnvironmentVariable);
        m_pem = privatePem(makeRsaKey().get());
    }

    void connectAndCheck_data() {
        QTest::addColumn<QString>("siteUrl");
        QTest::addColumn<bool>("othersCanRead");
        QTest::addColumn<QString>("picked"); // the property picked by Connect; empty: chosen by hand
        QTest::addColumn<QString>("said");
        QTest::newRow("matching property picked")
            << u"https://www.example.com/"_s << false << u"https://www.example.com/"_s
            << u"https://www.example.com/ matches the Site URL"_s;
        QTest::newRow("none matches: chosen by hand, key readable by others")
            << u"https://shop.example.net/"_s << true << QString() << u"none of which matches the Site URL"_s;
    }
    void connectAndCheck() {
        QFETCH(QString, siteUrl);
        QFETCH(bool, othersCanRead);
        QFETCH(QString, picked);
        QFETCH(QString, said);

        LocalHttpServer server;
        QVERIFY(server.listen());
        const QString keyPath = standIn(server, othersCanRead);
        TForm1 form;
        form.findChild<QLineEdit*>(u"Edit14"_s)->setText(siteUrl);
        form.setSaveEnabled(false);
        form.findChild<QAction*>(u"GoogleSearchConsole1"_s)->trigger();
        GoogleWindow* window = form.googleWindow();
        QVERIFY(window && window->isVisible());
        window->setKeyFileDialog([&](const ProfileFileDialog&) { return keyPath; });
        window->chooseKeyFile();
        QCOMPARE(form.currentFields().Google_Key_File, keyPath);
        QVERIFY(form.saveAction()->isEnabled());
        const QString keyStatus = child<QLabel>(window, "KeyStatus")->text();
        QVERIFY2(keyStatus.contains(u"signs in as checker@torvane-test.iam.gserviceaccount.com"_s),
                 qPrintable(keyStatus));
        QCOMPARE(keyStatus.contains(u"anyone on this machine can use this key"_s), othersCanRead);

        window->connectToGoogle();
        auto* properties = child<QComboBox>(window, "PropertyBox");
        QTRY_COMPARE(properties->count(), 2);
        QVERIFY2(child<QLabel>(window, "ConnectStatus")->text().contains(said),
                 qPrintable(child<QLabel>(window, "ConnectStatus")->text()));
        QCOMPARE(window->property(), picked);
        if (picked.isEmpty())
            properties->setCurrentIndex(1); // the owner picks the property
        auto* sitemaps = child<QTreeWidget>(window, "SitemapList");
        QTRY_COMPARE(sitemaps->topLevelItemCount(), 1);
        QCOMPARE(sitemaps->topLevelItem(0)->text(3), u"processing pending; 0 errors, 1 warnings"_s);

        child<QPlainTextEdit>(window, "PagesEdit")
            ->setPlainText(u"https://www.example.com/a\n\nhttps://www.example.com/b\nhttps://www.example.com/c\n"_s);
        auto* check = child<QPushButton>(window, "CheckIndexButton");
        QVERIFY(check->isEnabled());
        check->click();
        QTRY_VERIFY(!window->indexCheck().running());
        auto* table = child<QTableWidget>(window, "IndexTable");
        QCOMPARE(table->rowCount(), 3);
        const QStringList coverage{u"Submitted and indexed"_s, u"Crawled - currently not indexed"_s,
                                   u"URL is unknown to Google"_s};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(table->item(row, 1)->text(), row == 0 ? u"indexed"_s : u"not indexed"_s);
            QCOMPARE(table->item(row, 2)->text(), coverage[row]);
        }
        QVERIFY(child<QLabel>(window, "CheckStatus")->text().contains(u"3 of 2 000 URL inspections"_s));

        const QString reportPath = m_dir.filePath(u"index.json"_s);
        window->setReportDialog([&](QWidget*, const QString&) { return reportPath; });
        child<QPushButton>(window, "SaveReportButton")->click();
        QFile report(reportPath);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QByteArray written = report.readAll();
        QCOMPARE(written.count("\"title\": \"Google index\""), 3);
        // Neither the key nor the token reaches the report or the window's words.
        QString shown = written + keyStatus + child<QLabel>(window, "CheckStatus")->text();
        for (int row = 0; row < 3; ++row)
            shown += table->item(row, 2)->text();
        QVERIFY(!shown.contains(u"ya29.window-token"_s));
        QVERIFY(!shown.contains(u"PRIVATE KEY"_s));
        qunsetenv(kGoogleApiEnvironment);
    }

    // Pages handed over from elsewhere (the Announce window): the window connects, picks the
    // property, checks them, and the history that exists keeps each page's answer.
    void checkPagesKeptInHistory() {
        LocalHttpServer server;
        QVERIFY(server.listen());
        const QString keyPath = standIn(server);
        HistoryLocation location;
        location.kind = HistoryLocation::Kind::SqliteFile;
        location.path = m_dir.filePath(u"history.sqlite"_s);
        HistoryStore history(location);
        QVERIFY(history.open());
        QVERIFY(history.beginJob({}) >= 0); // the history exists once a job was kept

        TForm1 form;
        form.findChild<QLineEdit*>(u"Edit14"_s)->setText(u"https://www.example.com/"_s);
        form.setSaveEnabled(false);
        form.showAnnouncePages(); // its Check Google's Index hands pages to the Google window
        QVERIFY(form.announceWindow()->findChild<QPushButton*>(u"CheckGoogleIndex"_s)->isEnabled());
        form.showGoogleWindow();
        GoogleWindow* window = form.googleWindow();
        window->setKeyFileDialog([&](const ProfileFileDialog&) { return keyPath; });
        window->chooseKeyFile();
        window->setHistory(&history);
        window->checkPages({QUrl(u"https://www.example.com/a"_s), QUrl(u"https://www.example.com/b"_s),
                            QUrl(u"https://www.example.com/c"_s)});
        QTRY_COMPARE(window->indexCheck().answeredCount(), 3);
        QCOMPARE(window->property(), u"https://www.example.com/"_s);
        const QList<PageInspection> kept = history.inspections(u"www.example.com"_s);
        QCOMPARE(kept.size(), 3);
        QCOMPARE(kept[1].page, u"https://www.example.com/b"_s);
        QCOMPARE(kept[1].property, u"https://www.example.com/"_s);
        QCOMPARE(kept[1].coverageState, u"Crawled - currently not indexed"_s);
        QCOMPARE(kept[0].verdict, u"PASS"_s);
        QCOMPARE(kept[2].googleCanonical, u"https://www.example.com/a"_s);
        qunsetenv(kGoogleApiEnvironment);
    }
};

QTEST_MAIN(TestGoogleWindow)
#include "test_google_window.moc"
