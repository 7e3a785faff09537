#include "announce/ui/announce_window.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/message_log_view.h"
#include "indexnow/core/indexnow_key.h"
#include "submit/ui/results_window.h"
#include "support/local_http_server.h"

#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

class TestRunMenu : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        applyWindowLook();
    }

    void runMenuStandsBetweenFileAndHelp() {
        TForm1 form;
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

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRunMenu)
#include "test_run_menu.moc"
