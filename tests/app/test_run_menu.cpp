#include "announce/ui/announce_window.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/message_log_view.h"
#include "history/core/history_store.h"
#include "indexnow/core/indexnow_key.h"
#include "submit/ui/results_window.h"
#include "submit/ui/submit_now_page.h"
#include "support/local_http_server.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

class TestRunMenu : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        applyWindowLook();
    }

    void runMenuStandsBetweenFileAndHelp() {
        // Starting, the Results window and the Run menu read the history at most: none is made.
        const QString history = useHistory();
        TForm1 form;
        form.resultsWindow();
        emit form.findChild<QMenu*>("Run1")->aboutToShow();
        QVERIFY(!QFile::exists(history));
        QStringList menus;
        for (QAction* action : form.menuBar()->actions())
            menus.append(action->text());
        QCOMPARE(menus, (QStringList{"File", "Run", "Help"}));
        const auto item = [&form](const char* name) {
            return form.findChild<QAction*>(QString::fromLatin1(name));
        };
        QVERIFY(item("Results1") && item("Results1")->isEnabled());
        // No run yet: nothing to save, nothing failed.
        QVERIFY(item("SaveReportAs1") && !item("SaveReportAs1")->isEnabled());
        QVERIFY(item("SubmitFailedAgain1") && !item("SubmitFailedAgain1")->isEnabled());
    }

    void logLinesAnswerDoubleClicksAndToolTips() {
        MessageLogView log;
        log.resize(300, 120);
        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        log.appendLine("[Engine] Alpha...OK");
        log.appendLine("[Engine] Bravo...ERROR");
        QCOMPARE(log.lineText(1), "[Engine] Bravo...ERROR");
        QCOMPARE(log.lineText(2), QString());

        QSignalSpy clicked(&log, &MessageLogView::lineDoubleClicked);
        const QRect second = log.cursorRect(QTextCursor(log.document()->findBlockByNumber(1)));
        QTest::mouseDClick(log.viewport(), Qt::LeftButton, {}, second.center() + QPoint(4, 0));
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 1);
        // Below the last line there is no line.
        QTest::mouseDClick(log.viewport(), Qt::LeftButton, {}, QPoint(10, log.viewport()->height() - 2));
        QCOMPARE(clicked.size(), 1);
    }

    // After an announcement the Run menu works on its batch records: the Results window lists
    // them, the report holds them, and Submit Failed Again sends the failed batch once more.
    void announcementIsTheLastResults() {
        LocalHttpServer server;
        QVERIFY(server.listen());
        server.queueResponse("/indexnow", LocalHttpServer::status(403));
        server.setResponse("/indexnow", LocalHttpServer::status(200));
        server.setResponse("/0123456789abcdef.txt", LocalHttpServer::content("0123456789abcdef"));
        const QString site = server.baseUrl();
        QFile engines(m_dir.filePath("Engine.dat"));
        QVERIFY(engines.open(QIODevice::WriteOnly));
        engines.write("[Engine]\nAmount=1\nTitle1=Local\n[Local]\nUrl=" + site.toUtf8() +
                      "/indexnow\nOption=1\nOption_Title1=IndexNow key\nItem1=0\nValue1=0\n");
        engines.close();

        TForm1 form;
        ProfileFields fields = form.currentFields();
        fields.Site_URL = site;
        form.setFields(fields);
        Engine_Type& catalogue = form.catalogue();
        applyIndexNowKey(catalogue, "0123456789abcdef");
        catalogue.Items[0].Selected = 1;
        form.showCatalogue();
        form.showAnnouncePages();
        AnnounceWindow* window = form.announceWindow();
        window->findChild<QPlainTextEdit*>("TypedAddresses")->setPlainText(site + "/a\n" + site + "/b");
        window->addTyped();
        QTRY_VERIFY(!window->busy()); // the lines are read on a worker thread
        window->announce();
        QTRY_VERIFY(!window->busy());

        QCOMPARE(form.resultsWindow()->table()->model()->rowCount(), 1);
        QCOMPARE(form.resultsWindow()->table()->model()->index(0, 0).data().toString(), "Local (2 addresses)");
        const QString report = m_dir.filePath("report.json");
        form.setReportFileDialog([&](QWidget*, const QString&) { return report; });
        form.saveReportAs();
        QFile saved(report);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray json = saved.readAll();
        QVERIFY(json.contains("\"status\": 403"));
        QVERIFY(json.contains("\"batch\": {\"first\": \"" + site.toUtf8() + "/a\""));

        auto* again = form.findChild<QAction*>("SubmitFailedAgain1");
        QVERIFY(again->isEnabled());
        again->trigger();
        QTRY_VERIFY(!window->busy());
        QCOMPARE(server.requestBodies().size(), server.requestLines().size());
        QCOMPARE(server.requestBodies().constLast(), server.requestBodies().at(server.requestBodies().size() - 2));
        QCOMPARE(form.lastResults().records.constFirst().httpStatus, 200);
        QVERIFY(!again->isEnabled());
        QVERIFY(QFile::remove(engines.fileName()));
    }

    // After a restart the Results window lists the past jobs and where each engine stands; Save
    // Report As writes the job chosen, and Submit Failed Again sends the failed engines of the
    // profile's last Submit run, a run the history keeps in turn.
    void historyAfterRestart() {
        LocalHttpServer server;
        QVERIFY(server.listen());
        server.setResponse("/ok", LocalHttpServer::page("Thank you"));
        server.setResponse("/missing", LocalHttpServer::page("Thank you"));
        const QString site = server.baseUrl();
        writeFile("Engine.dat", "[Engine]\nAmount=2\nTitle1=Alpha\nTitle2=Beta\n[Alpha]\nUrl=" + site.toUtf8() +
                                    "/ok\n[Beta]\nUrl=" + site.toUtf8() + "/missing\n");
        const QString profile = writeProfile(site);
        const QString history = useHistory();
        const qint64 submit = writeJob(history, HistoryJob::Kind::Submit, "127.0.0.1", profile);
        const qint64 announcement = writeJob(history, HistoryJob::Kind::Announcement, "127.0.0.1", profile, site);

        TForm1 form;
        QVERIFY(form.profileCommands()->openLocalFile(QFile::encodeName(profile)));
        ResultsWindow* results = form.resultsWindow();
        QCOMPARE(column(results->jobList(), 1), (QStringList{"none yet", "Announcement", "Submit"}));
        QCOMPARE(column(results->jobList(), 4), (QStringList{"0", "1", "1"}));
        QCOMPARE(column(results->standingList(), 0), (QStringList{"Local", "Alpha", "Beta"}));
        const QString today = QDate::currentDate().toString("yyyy-MM-dd");
        QCOMPARE(column(results->standingList(), 1).constFirst(), "never");
        QVERIFY(column(results->standingList(), 1).at(1).startsWith("OK  " + today));
        QVERIFY(column(results->standingList(), 1).at(2).startsWith("ERROR  " + today));
        QVERIFY(column(results->standingList(), 2).constFirst().startsWith("ERROR  " + today));
        QCOMPARE(column(results->standingList(), 2).constLast(), "never");

        results->chooseJob(submit);
        const QString report = m_dir.filePath("past.csv");
        form.setReportFileDialog([&](QWidget*, const QString&) { return report; });
        form.saveReportAs();
        QFile saved(report);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("Beta,http://127.0.0.1/Beta,ERROR,404,"));

        results->chooseJob(-1);
        auto* again = form.findChild<QAction*>("SubmitFailedAgain1");
        QVERIFY(!again->isEnabled());
        emit form.findChild<QMenu*>("Run1")->aboutToShow();
        QVERIFY(again->isEnabled());
        form.submitNowPage()->setTickInterval(50);
        again->trigger();
        QVERIFY2(form.submitNowPage()->runActive(), qPrintable(form.messageLog()->toPlainText()));
        QTRY_VERIFY_WITH_TIMEOUT(!form.submitNowPage()->runActive(), 60000);
        const auto sent = [&server](const QByteArray& page) {
            return std::count_if(server.requestLines().begin(), server.requestLines().end(),
                                 [&](const QByteArray& line) { return line.startsWith("GET " + page); });
        };
        QCOMPARE(sent("/missing"), 1);
        QCOMPARE(sent("/ok"), 0);

        QCOMPARE(column(results->jobList(), 1), (QStringList{"Submit", "Submit", "Announcement", "Submit"}));
        HistoryStore reopened(historyLocation(history));
        QVERIFY(reopened.open());
        const HistoryJob newest = reopened.jobs(profile).constFirst();
        QCOMPARE(newest.face, HistoryJob::Face::Window);
        QCOMPARE(newest.okCount, 1);
        QCOMPARE(reopened.jobResults(newest.id).records.constFirst().title, "Beta");
        QVERIFY(!form.messageLog()->toPlainText().contains("history"));

        // A past announcement's failed batch goes to the Announce Pages window's job.
        server.setResponse("/Local", LocalHttpServer::status(200));
        results->chooseJob(announcement);
        QVERIFY(again->isEnabled());
        again->trigger();
        QVERIFY(form.announceWindow());
        QTRY_VERIFY(!form.announceWindow()->busy());
        QCOMPARE(server.requestLines().constLast(), "POST /Local HTTP/1.1");
        QCOMPARE(server.requestBodies().constLast(), "{\"urlList\":[\"" + site.toUtf8() + "/a\"]}");
        QCOMPARE(form.lastResults().records.constFirst().verdict, ResultRecord::Verdict::Ok);
        HistoryStore resent(historyLocation(history));
        QVERIFY(resent.open());
        QCOMPARE(resent.jobs(profile).constFirst().kind, HistoryJob::Kind::Announcement);
        // The window announces from the same history: what is new or changed can be chosen.
        QVERIFY(form.announceWindow()->findChild<QRadioButton*>("NewOrChanged")->isEnabled());
        QVERIFY(QFile::remove(m_dir.filePath("Engine.dat")));
    }

    void forgetThisSite_data() {
        QTest::addColumn<QByteArray>("file"); // what the history holds before; empty: two jobs
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("jobsLeft"); // -1: the item is disabled

        QTest::newRow("answered no") << QByteArray() << false << 2;
        QTest::newRow("answered yes: the other site stays") << QByteArray() << true << 1;
        QTest::newRow("not a history") << QByteArray("notes\n") << true << -1;
    }

    void forgetThisSite() {
        QFETCH(QByteArray, file);
        QFETCH(bool, answer);
        QFETCH(int, jobsLeft);

        const QString history = useHistory();
        if (file.isEmpty()) {
            writeJob(history, HistoryJob::Kind::Submit, "www.site.test", {});
            writeJob(history, HistoryJob::Kind::Submit, "other.test", {});
        } else {
            writeFile("history.sqlite", file);
        }
        TForm1 form;
        ProfileFields fields = form.currentFields();
        fields.Site_URL = "https://WWW.Site.test/en/";
        form.setFields(fields);
        QString asked;
        form.setQuestion([&](QWidget*, const QString& question) {
            asked = question;
            return answer;
        });
        emit form.findChild<QMenu*>("Run1")->aboutToShow();
        auto* forget = form.findChild<QAction*>("ForgetSiteHistory1");
        QCOMPARE(forget->isEnabled(), jobsLeft >= 0);
        if (jobsLeft < 0) {
            QVERIFY(!form.resultsWindow()->findChild<QLabel*>("HistoryNote")->text().isEmpty());
            return;
        }
        forget->trigger();
        QVERIFY2(asked.contains("www.site.test"), qPrintable(asked));
        HistoryStore reopened(historyLocation(history));
        QVERIFY(reopened.open());
        QCOMPARE(reopened.jobs().size(), jobsLeft);
    }

private:
    static QStringList column(const QTreeWidget* list, int column) {
        QStringList texts;
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            texts.append(list->topLevelItem(row)->text(column));
        return texts;
    }
    void writeFile(const QString& name, const QByteArray& text) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    // A fresh history for the window made next.
    QString useHistory() {
        const QString path = m_dir.filePath("history.sqlite");
        QFile::remove(path);
        qputenv("TORVANE_HISTORY", QFile::encodeName(path));
        return path;
    }
    // A job of an earlier session: Alpha answered OK and Beta ERROR, or one failed batch.
    static qint64 writeJob(const QString& path, HistoryJob::Kind kind, const QString& host, const QString& profile,
                           const QString& base = {}) {
        HistoryStore store(historyLocation(path));
        HistoryJob job;
        job.kind = kind;
        job.siteHost = host;
        job.profilePath = profile;
        const qint64 id = store.beginJob(job);
        const auto add = [&](const QString& title, ResultRecord::Verdict verdict, int status, int batch) {
            ResultRecord record;
            record.title = title;
            record.url = (base.isEmpty() ? "http://" + host : base) + "/" + title;
            record.verdict = verdict;
            record.httpStatus = status;
            record.batchSize = batch;
            record.batchBody = batch ? QByteArray("{\"urlList\":[\"" + base.toUtf8() + "/a\"]}") : QByteArray();
            store.addRecord(id, record);
        };
        if (kind == HistoryJob::Kind::Submit) {
            add("Alpha", ResultRecord::Verdict::Ok, 200, 0);
            add("Beta", ResultRecord::Verdict::Error, 404, 0);
        } else {
            add("Local", ResultRecord::Verdict::Error, 403, 2);
        }
        store.finishJob(id, {});
        return id;
    }
    QString writeProfile(const QString& siteUrl) {
        writeFile("site.tvp",
                  "[Contact Info]\nCompany=Example Co\nEmail=me@example.com\nFirst_Name=Ann\nLast_Name=Lee\n"
                  "Street=1 Main St\nCity=Springfield\nState=IL\nZip=62701\nCountry=United States\n"
                  "Country_ID=US\nPhone=555-0100\nPassword=secret\n[Site Info]\nSite_Title=Example\nSite_URL=" +
                      siteUrl.toUtf8() + "/\nKeyword1=example\nDescription=An example.\n");
        return m_dir.filePath("site.tvp");
    }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRunMenu)
#include "test_run_menu.moc"
