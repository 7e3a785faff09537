#include "app/main_window.h"
#include "common/ui/error_report.h"
#include "indexnow/ui/indexnow_key_window.h"
#include "net/core/network_fetcher.h"
#include "submit/core/answer_meaning.h"
#include "submit/core/request_builder.h"

#include "support/local_http_server.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

class FakeKeyHost final : public IndexNowKeyHost {
public:
    Engine_Type& catalogue() override { return engines; }
    QStringList currentEngineLines() const override { return {}; }
    QString siteUrl() const override { return site; }
    const QString& startDirectory() const override { return directory; }
    void engineOptionsChanged() override {}

    Engine_Type engines;
    QString site;
    QString directory;
};

template <typename Widget> Widget* child(const QWidget* window, const char* name) {
    auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

QString text(const QWidget* window, const char* name) {
    return child<QLabel>(window, name)->text();
}

} // namespace

class TestIndexNowKeyWindow : public QObject {
    Q_OBJECT

private slots:
    void typeGenerateAndSave() {
        QTemporaryDir dir;
        FakeKeyHost host;
        host.site = "https://www.example.com/blog/";
        host.directory = dir.path();
        NetworkFetcher fetcher;
        IndexNowKeyWindow window(host, fetcher);
        window.showWindow();
        auto* save = child<QPushButton>(&window, "SaveKeyFileButton");

        // The rule, as typed.
        QTest::keyClicks(child<QLineEdit>(&window, "KeyEdit"), "abc_");
        QVERIFY2(text(&window, "KeyMessage").contains("\"_\", at position 4"), qPrintable(text(&window, "KeyMessage")));
        QVERIFY(!save->isEnabled() && !child<QPushButton>(&window, "UseForAllButton")->isEnabled());

        child<QPushButton>(&window, "GenerateButton")->click();
        const QString key = window.key();
        QVERIFY2(QRegularExpression("^[0-9a-f]{32}$").match(key).hasMatch(), qPrintable(key));
        QCOMPARE(text(&window, "KeyMessage"), "The key is valid.");
        QVERIFY(text(&window, "KeyFileAddress").contains("https://www.example.com/" + key + ".txt"));
        QVERIFY(save->isEnabled());

        // The save dialog offers <key>.txt; the file holds exactly the key.
        ProfileFileDialog asked;
        QString answer = dir.filePath(key + ".txt");
        window.setFileDialog([&](const ProfileFileDialog& request) {
            asked = request;
            return answer;
        });
        save->click();
        QCOMPARE(asked.kind, ProfileFileDialog::Save);
        QCOMPARE(asked.offeredName, answer);
        QVERIFY(asked.nameFilter.contains("*.txt"));
        QFile file(answer);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), key.toLatin1());
        QVERIFY(text(&window, "KeyFileStatus").contains("reachable at https://www.example.com/" + key + ".txt"));

        // A failed write is reported as every failed save is.
        QString reported;
        setErrorReportPresenter([&reported](const QString& message) { reported = message; });
        answer = dir.filePath("missing/" + key + ".txt");
        save->click();
        setErrorReportPresenter({});
        QCOMPARE(reported, "Unable to write to " + answer + ".");
    }

    void checkShowsOutcome_data() {
        QTest::addColumn<bool>("served");
        QTest::addColumn<QString>("phrase");
        QTest::newRow("served") << true << "was found and holds the key.";
        QTest::newRow("missing") << false << "was not found: the site answered with status 404.";
    }
    void checkShowsOutcome() {
        QFETCH(bool, served);
        QFETCH(QString, phrase);
        const QString key = "abcdef-0123456789";
        LocalHttpServer site;
        QVERIFY(site.listen());
        site.setDefaultResponse(LocalHttpServer::status(404));
        if (served)
            site.setResponse("/" + key.toLatin1() + ".txt", LocalHttpServer::content(key.toLatin1()));
        FakeKeyHost host;
        host.site = site.baseUrl() + "/shop/";
        NetworkFetcher fetcher;
        IndexNowKeyWindow window(host, fetcher);
        window.showWindow();
        child<QLineEdit>(&window, "KeyEdit")->setText(key);
        auto* check = child<QPushButton>(&window, "CheckButton");
        check->click();
        // The window goes on while the check runs.
        QVERIFY(text(&window, "KeyFileStatus").contains("is being checked"));
        QVERIFY(!check->isEnabled());
        QTRY_VERIFY(check->isEnabled());
        QCOMPARE(text(&window, "KeyFileStatus"), "The key file " + site.baseUrl() + "/" + key + ".txt " + phrase);
        QCOMPARE(site.requestLines().size(), 1);
    }

    // The shipped catalogue: Use for All, then Add All takes every IndexNow engine, each sending the key.
    void useForAllThenAddAll() {
        QVERIFY(QDir::setCurrent(QStringLiteral(TORVANE_SOURCE_DIR "/data")));
        TForm1 form;
        form.catalogue();
        QVERIFY(!form.saveAction()->isEnabled());
        form.findChild<QAction*>("IndexNowKey1")->trigger();
        IndexNowKeyWindow* window = form.indexNowKeyWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->key(), QString()); // no engine chosen yet
        const QString key = "my-key-2026";
        child<QLineEdit>(window, "KeyEdit")->setText(key);
        child<QPushButton>(window, "UseForAllButton")->click();
        QVERIFY(text(window, "UseForAllStatus").contains("All 6 IndexNow engines"));
        QVERIFY(form.saveAction()->isEnabled());

        child<QToolButton>(&form, "SpeedButton10")->click();
        QCOMPARE(child<QListWidget>(&form, "ListBox1")->count(), 0);
        QStringList lines;
        for (int row = 0; row < child<QListWidget>(&form, "ListBox2")->count(); ++row)
            lines << child<QListWidget>(&form, "ListBox2")->item(row)->text();
        form.ReadData();
        RequestBuilder builder(form.catalogue(), form.snapshot());
        Submit_Type list;
        builder.buildSubmissionList(lines, list);
        int indexNow = 0;
        for (const Submit_Data& entry : std::as_const(list.Items)) {
            if (isIndexNowUrl(entry.Url)) {
                ++indexNow;
                QVERIFY2(entry.Url.endsWith("&key=" + key), qPrintable(entry.Url));
            }
        }
        QCOMPARE(indexNow, 6);

        // Opened again, the window shows the key in use.
        window->close();
        child<QLineEdit>(window, "KeyEdit")->clear();
        form.showIndexNowKeyWindow();
        QCOMPARE(window->key(), key);
    }
};

QTEST_MAIN(TestIndexNowKeyWindow)
#include "test_indexnow_key_window.moc"
