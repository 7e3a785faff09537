#include "submit/core/run_controller.h"

#include "history/core/history_run_journal.h"
#include "history/core/history_store.h"
#include "net/core/network_fetcher.h"

#include "support/fake_browser.h"
#include "support/fake_clock.h"
#include "support/fake_run_inputs.h"
#include "support/local_http_server.h"
#include "support/memory_log.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// A view that only counts what the records tell it.
class RecordView final : public RunView {
public:
    void setSubmitEnabled(bool) override {}
    void setStopEnabled(bool) override {}
    void setNextEnabled(bool) override {}
    void setPageButtonsEnabled(bool) override {}
    void setTimerActive(bool) override {}
    void showElapsedTime(const QString&, const QString&, const QString&) override {}
    void setProgressPosition(int position) override { progress = position; }
    int progressPosition() const override { return progress; }
    void setProgressLabel(const QString&) override {}
    void showResult(int index) override { shown.append(index); }

    int progress = 0;
    QList<int> shown;
};

struct Run {
    explicit Run(const QStringList& urls) {
        for (int i = 0; i < urls.size(); ++i)
            inputs.addEngine(QString("Engine %1").arg(i), urls.at(i));
    }
    void tick(quint32 milliseconds = 1000) {
        clock.advance(milliseconds);
        controller.tick();
    }
    const ResultRecord& record(int k) const { return controller.results().records.at(k); }

    FakeBrowser browser;
    FakeClock clock;
    MemoryLog log;
    RecordView view;
    FakeRunInputs inputs;
    RunController controller{browser, clock, log, view, inputs};
};

using Verdict = ResultRecord::Verdict;

} // namespace

class TestRunRecords : public QObject {
    Q_OBJECT

private slots:
    void answerBecomesRecord_data();
    void answerBecomesRecord();
    void timeoutRecord();
    void reasonCutBetweenCharacters();
    void nextAndStopSkip();
    void submitFailedAgainSendsExactlyTheFailed();
    void runsAreJournaled_data();
    void runsAreJournaled();
    void keyRefusedChecksKeyFileOncePerRun_data();
    void keyRefusedChecksKeyFileOncePerRun();
};

void TestRunRecords::answerBecomesRecord_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("loadFailed");
    QTest::addColumn<int>("status");
    QTest::addColumn<NetworkFailure>("failure");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("phrase");

    const QString plain = "http://e.test/add?u=1";
    const QString indexNow = "http://e.test/indexnow?url=a&key=k";
    const auto ok = static_cast<int>(Verdict::Ok);
    const auto error = static_cast<int>(Verdict::Error);
    const auto none = NetworkFailure::None;
    QTest::newRow("200 plain") << plain << "Thanks" << false << 200 << none << "" << ok << "accepted";
    QTest::newRow("202 IndexNow") << indexNow << "" << false << 202 << none << "" << ok << "being validated";
    QTest::newRow("403 IndexNow") << indexNow << "Forbidden" << true << 403 << none << "" << error << "key file";
    QTest::newRow("404 plain") << plain << "Not Found" << true << 404 << none << "" << error << "out of date";
    QTest::newRow("200 with error title") << plain << "Error: no" << false << 200 << none << "" << error << "title";
    QTest::newRow("refused") << plain << "" << true << 0 << NetworkFailure::ConnectionRefused << "ERR_REFUSED" << error
                             << "refused";
    QTest::newRow("failed without kind") << plain << "" << true << 0 << none << "" << error << "failed before";
}

void TestRunRecords::answerBecomesRecord() {
    QFETCH(QString, url);
    QFETCH(QString, title);
    QFETCH(bool, loadFailed);
    QFETCH(int, status);
    QFETCH(NetworkFailure, failure);
    QFETCH(QString, errorText);
    QFETCH(int, verdict);
    QFETCH(QString, phrase);

    Run run({url});
    run.controller.submit();
    QCOMPARE(run.record(0).verdict, Verdict::Pending);
    QCOMPARE(run.record(0).url, url);
    run.tick(1000);
    run.clock.advance(234);
    const QString body = QString(600, u'x').prepend("Reason: ");
    run.browser.finish(title, loadFailed, PageAnswer{status, failure, errorText, body});
    run.tick();

    const ResultRecord& record = run.record(0);
    QCOMPARE(static_cast<int>(record.verdict), verdict);
    QCOMPARE(record.title, "Engine 0");
    QCOMPARE(record.httpStatus, status);
    QCOMPARE(record.error, status > 0 ? QString() : errorText);
    QCOMPARE(record.pageTitle, title);
    QCOMPARE(record.reason, body.left(500));
    QCOMPARE(record.milliseconds, 1234); // from the navigation to the page's end, not to the next tick
    QVERIFY2(record.meaning.contains(phrase), qPrintable(record.meaning));
    QCOMPARE(run.controller.results().finished.isValid(), true);
    // The log says no more than before.
    QCOMPARE(run.log.lines.first(),
             verdict == static_cast<int>(Verdict::Ok) ? "[Engine] Engine 0...OK" : "[Engine] Engine 0...ERROR");
}

void TestRunRecords::timeoutRecord() {
    Run run({"http://slow.test/"});
    run.controller.setPageTimeLimit(3000);
    run.controller.submit();
    for (int i = 0; i < 4; ++i)
        run.tick();
    QVERIFY(!run.controller.runActive());
    const ResultRecord& record = run.record(0);
    QCOMPARE(record.verdict, Verdict::Error);
    QCOMPARE(record.failure, NetworkFailure::Timeout);
    QCOMPARE(record.httpStatus, 0);
    QVERIFY(!record.error.isEmpty());
    QVERIFY(record.meaning.contains("in time"));
    QCOMPARE(record.milliseconds, 4000);
}

void TestRunRecords::reasonCutBetweenCharacters() {
    Run run({"http://e.test/"});
    run.controller.submit();
    run.browser.finish(
        "Thanks", false,
        PageAnswer{200, NetworkFailure::None, {}, QString(499, u'x').append(QStringView(u"\U0001F600 tail"))});
    run.tick();
    QCOMPARE(run.record(0).reason, QString(499, u'x'));
}

void TestRunRecords::nextAndStopSkip() {
    Run run({"http://a.test/", "http://b.test/", "http://c.test/", "http://d.test/"});
    run.controller.submit();
    run.tick(500);
    run.controller.next(); // leaves engine 0 loading
    run.browser.finish("Thanks", false, PageAnswer{200, NetworkFailure::None, {}, {}});
    run.tick(); // judges engine 1, sends engine 2
    run.tick();
    run.controller.stop(); // leaves engine 2 loading, engine 3 never sent

    const QList<ResultRecord>& records = run.controller.results().records;
    QCOMPARE(records.size(), 4);
    QCOMPARE(records.at(0).verdict, Verdict::Skipped);
    QCOMPARE(records.at(0).milliseconds, 500);
    QCOMPARE(records.at(1).verdict, Verdict::Ok);
    QCOMPARE(records.at(2).verdict, Verdict::Skipped);
    QCOMPARE(records.at(3).verdict, Verdict::Skipped);
    QVERIFY(records.at(2).meaning != records.at(3).meaning); // left while loading vs never sent
    QCOMPARE(records.at(3).milliseconds, 0);
    QVERIFY(run.controller.results().finished.isValid());
    QCOMPARE(run.controller.results().failedTitles(), (QStringList{"Engine 0", "Engine 2", "Engine 3"}));
    QVERIFY(run.view.shown.contains(-1));
    QVERIFY(run.view.shown.contains(1));
}

// Each run goes into the history as it is judged; a history that cannot be used is said once,
// below the run's lines, and left as it is.
void TestRunRecords::runsAreJournaled_data() {
    QTest::addColumn<QByteArray>("file"); // what the history file holds before; "-": no history kept
    QTest::addColumn<int>("jobs");
    QTest::addColumn<int>("messages");

    QTest::newRow("new history") << QByteArray() << 2 << 0;
    QTest::newRow("not a history") << QByteArray("my notes\n") << 0 << 1;
    QTest::newRow("none kept") << QByteArray("-") << 0 << 0;
}

void TestRunRecords::runsAreJournaled() {
    QFETCH(QByteArray, file);
    QFETCH(int, jobs);
    QFETCH(int, messages);

    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    if (!file.isEmpty() && file != "-") {
        QFile notes(path);
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write(file) == file.size());
    }
    HistoryStore store(file == "-" ? HistoryLocation{} : historyLocation(path));
    HistoryRunJournal journal(&store, HistoryJob::Face::Window);
    QStringList said;
    journal.setMessageHandler([&](const QString& message) { said.append(message); });
    Run run({"http://a.test/", "http://b.test/", "http://c.test/"});
    run.inputs.profile = "/profiles/site.tvp";
    run.inputs.site = "https://WWW.Site.test/en/";
    run.controller.setJournal(&journal);
    for (int pass = 0; pass < 2; ++pass) {
        run.controller.submit();
        run.browser.finish("Thanks");
        run.tick();
        run.browser.finish("Not Found", true, PageAnswer{404, NetworkFailure::None, {}, {}});
        run.tick();
        run.controller.stop(); // the third one left loading
    }
    QCOMPARE(said.size(), messages);
    QCOMPARE(QFileInfo::exists(path), file != "-");
    QCOMPARE(store.jobs().size(), jobs);
    if (jobs == 0)
        return;
    const HistoryJob job = store.jobs().constFirst();
    QCOMPARE(job.siteHost, "www.site.test");
    QCOMPARE(job.face, HistoryJob::Face::Window);
    QCOMPARE(job.kind, HistoryJob::Kind::Submit);
    QCOMPARE(job.profilePath, "/profiles/site.tvp");
    QVERIFY(job.finished.isValid());
    const RunResults stored = store.jobResults(job.id);
    QCOMPARE(stored.failedTitles(), (QStringList{"Engine 1", "Engine 2"}));
}

void TestRunRecords::submitFailedAgainSendsExactlyTheFailed() {
    Run run({"http://a.test/", "http://b.test/", "http://c.test/", "http://d.test/"});
    run.inputs.profile = "/profiles/site.tvp";
    QVERIFY(!run.controller.canSubmitFailedAgain()); // no run yet
    run.controller.submit();
    QVERIFY(!run.controller.canSubmitFailedAgain()); // run active
    run.browser.finish("Error", true);
    run.tick();
    run.browser.finish("Thanks");
    run.tick();
    run.browser.finish("Thanks");
    run.tick();
    run.browser.finish("Server busy");
    run.tick();
    QCOMPARE(run.controller.results().failedTitles(), (QStringList{"Engine 0", "Engine 3"}));
    QCOMPARE(run.controller.results().profilePath, "/profiles/site.tvp");

    // The current options of the failed engines: their URLs as the inputs build them now.
    run.inputs.list.Items[3].Url = "http://d.test/?changed";
    run.browser.navigations.clear();
    QVERIFY(run.controller.canSubmitFailedAgain());
    run.controller.submitFailedAgain();
    QCOMPARE(run.log.lines, QStringList{"[Engine] Engine 0..."});
    QCOMPARE(run.controller.results().records.size(), 2);
    run.browser.finish("Thanks");
    run.tick();
    run.browser.finish("Thanks");
    run.tick();
    QCOMPARE(run.browser.navigations, (QStringList{"http://a.test/", "http://d.test/?changed"}));
    QCOMPARE(run.log.lines, (QStringList{"[Engine] Engine 0...OK", "[Engine] Engine 3...OK", "Done"}));
    QCOMPARE(run.inputs.list.Count, 4);              // the current list is untouched
    QVERIFY(!run.controller.canSubmitFailedAgain()); // nothing failed this time
    run.controller.submitFailedAgain();
    QCOMPARE(run.browser.navigations.size(), 2);

    // Refused by the completeness check, like Submit: the records stay.
    run.controller.submit();
    run.controller.stop();
    run.inputs.missingFields = QStringList{"[Site Info]  Please enter your site title"};
    run.controller.submitFailedAgain();
    QCOMPARE(run.log.lines, run.inputs.missingFields);
    QCOMPARE(run.browser.navigations.size(), 3);
    QCOMPARE(run.controller.results().records.size(), 4);
    QVERIFY(run.controller.canSubmitFailedAgain());
}

void TestRunRecords::keyRefusedChecksKeyFileOncePerRun_data() {
    QTest::addColumn<bool>("served");
    QTest::addColumn<QString>("phrase");
    QTest::newRow("file missing") << false << "was not found: the site answered with status 404";
    QTest::newRow("file served") << true << "was found and holds the key";
}

void TestRunRecords::keyRefusedChecksKeyFileOncePerRun() {
    QFETCH(bool, served);
    QFETCH(QString, phrase);
    LocalHttpServer site;
    QVERIFY(site.listen());
    site.setDefaultResponse(LocalHttpServer::status(404));
    if (served)
        site.setResponse("/key-0123456789.txt", LocalHttpServer::content("key-0123456789"));
    const QString query = "?url=" + QUrl::toPercentEncoding(site.baseUrl() + "/new page") + "&key=key-0123456789";
    // Three IndexNow endpoints refuse the key (403, 422, 403), one answers 200; a plain 403.
    Run run({"http://a.test/indexnow" + query, "http://b.test/add" + query, "http://c.test/indexnow" + query,
             "http://d.test/indexnow" + query, "http://e.test/indexnow" + query});
    NetworkFetcher fetcher;
    run.controller.setKeyFileFetcher(&fetcher);
    QTemporaryDir dir;
    HistoryStore store(historyLocation(dir.filePath("history.sqlite")));
    HistoryRunJournal journal(&store, HistoryJob::Face::CommandLine);
    run.controller.setJournal(&journal);
    run.controller.submit();
    for (const int status : {403, 403, 422, 200, 403}) {
        run.browser.finish("", status >= 400, PageAnswer{status, NetworkFailure::None, {}, {}});
        run.tick();
    }
    QVERIFY(!run.controller.runActive()); // the run does not wait for the check
    QTRY_VERIFY(run.record(4).keyFile.contains(phrase));
    for (const int k : {0, 2, 4}) {
        QVERIFY2(run.record(k).keyFile.contains(phrase), qPrintable(run.record(k).keyFile));
        // Found and holding the key: the meaning says what to do next, not that the file is missing.
        QCOMPARE(run.record(k).meaning.startsWith(QLatin1StringView("The key file is in place")), served);
    }
    QCOMPARE(run.record(1).keyFile, QString());
    QCOMPARE(run.record(3).keyFile, QString());
    QCOMPARE(site.requestLines(), QList<QByteArray>{"GET /key-0123456789.txt HTTP/1.1"});
    QCOMPARE(run.log.lines.last(), "Done");
    // The history has the check's outcome too, though it came after the run's end.
    const QList<ResultRecord> stored = store.jobResults(journal.lastJobId()).records;
    QCOMPARE(stored.size(), 5);
    for (int k = 0; k < 5; ++k) {
        QCOMPARE(stored.at(k).keyFile, run.record(k).keyFile);
        QCOMPARE(stored.at(k).meaning, run.record(k).meaning);
    }
}

QTEST_GUILESS_MAIN(TestRunRecords)
#include "test_run_records.moc"
