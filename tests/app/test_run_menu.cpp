#include "app/application.h"
#include "app/main_window.h"
#include "app/message_log_view.h"

#include <QAction>
#include <QMenuBar>
#include <QSignalSpy>
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

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRunMenu)
#include "test_run_menu.moc"
