#include "submit/core/run_controller.h"

#include "support/fake_browser.h"
#include "support/fake_clock.h"
#include "support/fake_run_inputs.h"
#include "support/memory_log.h"

#include <QTest>
#include <QTime>
#include <limits>

namespace {

class FakeRunView final : public RunView {
public:
    void setSubmitEnabled(bool enabled) override { submitEnabled = enabled; }
    void setStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void setNextEnabled(bool enabled) override { nextEnabled = enabled; }
    void setPageButtonsEnabled(bool enabled) override { pageButtonsEnabled = enabled; }
    void setTimerActive(bool active) override { timerActive = active; }
    void showElapsedTime(const QString& hours, const QString& minutes, const QString& seconds) override {
        time = hours + ":" + minutes + ":" + seconds;
    }
    void setProgressPosition(int position) override { progress = position; }
    int progressPosition() const override { return progress; }
    void setProgressLabel(const QString& text) override { progressLabel = text; }

    bool submitEnabled = true;
    bool stopEnabled = false;
    bool nextEnabled = false;
    bool pageButtonsEnabled = true;
    bool timerActive = false;
    QString time = "00:00:00";
    int progress = 0;
    QString progressLabel = "0 %";
};

// Everything one run needs, with engines Alpha, Bravo, Charlie … in the current list.
struct Run {
    explicit Run(int engines = 1, quint32 clockStart = 1000) : clock(clockStart) {
        const QStringList titles{"Alpha", "Bravo", "Charlie", "Delta"};
        for (int i = 0; i < engines; ++i)
            inputs.addEngine(titles.at(i), url(i));
    }
    static QString url(int engine) { return QString("http://engine%1.test/add?url=x%26y").arg(engine); }

    void tick(quint32 milliseconds = 1000) {
        clock.advance(milliseconds);
        controller.tick();
    }
    // Finishes the page on display and lets the next tick judge it.
    void finishAndTick(const QString& title = "Thank you", bool failed = false) {
        browser.finish(title, failed);
        tick();
    }
    void verifyIdle() const {
        QVERIFY(!controller.runActive());
        QVERIFY(view.submitEnabled);
        QVERIFY(!view.stopEnabled);
        QVERIFY(!view.nextEnabled);
        QVERIFY(view.pageButtonsEnabled);
        QVERIFY(!view.timerActive);
    }

    FakeBrowser browser;
    FakeClock clock;
    MemoryLog log;
    FakeRunView view;
    FakeRunInputs inputs;
    RunController controller{browser, clock, log, view, inputs};
};

} // namespace

class TestRunController : public QObject {
    Q_OBJECT

private slots:
    void oneEngineRun();
    void nextIsOfferedOnlyWhileAFurtherEngineExists();
    void nextKeepsTheSkippedLineOpen();
    void stopEndsTheRunThenSubmitStartsAfresh();
    void failedValidationSendsNoEarlierList();
    void emptyCurrentList_data();
    void emptyCurrentList();
    void verdict_data();
    void verdict();
    void pageTimeLimit_data();
    void pageTimeLimit();
    void elapsedTime_data();
    void elapsedTime();
    void elapsedTimeDoesNotDriftWithLateTicks();
    void elapsedTimeShowsEverySecondOnce();
    void elapsedTimeKeptAfterRunAndRestartedBySubmit();
    void progress_data();
    void progress();
};

void TestRunController::oneEngineRun() {
    Run run;
    run.controller.submit();
    QCOMPARE(run.log.lines, QStringList{"[Engine] Alpha..."});
    QCOMPARE(run.browser.navigations, QStringList{Run::url(0)});
    QVERIFY(run.controller.runActive());
    QVERIFY(!run.view.submitEnabled);
    QVERIFY(run.view.stopEnabled);
    QVERIFY(!run.view.pageButtonsEnabled);
    QVERIFY(run.view.timerActive);

    run.tick(); // still loading
    QCOMPARE(run.log.lines, QStringList{"[Engine] Alpha..."});

    run.finishAndTick();
    QCOMPARE(run.log.lines, (QStringList{"[Engine] Alpha...OK", "Done"}));
    QCOMPARE(run.view.progress, 100);
    run.verifyIdle();
}

void TestRunController::nextIsOfferedOnlyWhileAFurtherEngineExists() {
    Run run(2);
    run.controller.submit();
    run.tick();
    QVERIFY(run.view.nextEnabled);

    run.controller.next();
    QVERIFY(!run.view.nextEnabled);
    run.tick();
    QVERIFY(!run.view.nextEnabled);

    run.controller.next(); // no further engine: nothing happens
    QCOMPARE(run.browser.navigations, (QStringList{Run::url(0), Run::url(1)}));
    QCOMPARE(run.log.lines, (QStringList{"[Engine] Alpha...", "[Engine] Bravo..."}));
    QCOMPARE(run.controller.submitIndex(), 1);
}

void TestRunController::nextKeepsTheSkippedLineOpen() {
    Run run(3);
    run.controller.submit();
    run.tick();
    const int stopsBefore = run.browser.stopCount;
    run.controller.next();
    QCOMPARE(run.browser.stopCount, stopsBefore + 1);

    run.finishAndTick("Bravo thanks you");
    run.finishAndTick("Error 7");
    QCOMPARE(run.log.lines,
             (QStringList{"[Engine] Alpha...", "[Engine] Bravo...OK", "[Engine] Charlie...ERROR", "Done"}));
    run.verifyIdle();
}

void TestRunController::stopEndsTheRunThenSubmitStartsAfresh() {
    Run run(3);
    run.controller.submit();
    run.finishAndTick();
    const int stopsBefore = run.browser.stopCount;

    run.controller.stop();
    QCOMPARE(run.log.lines, (QStringList{"[Engine] Alpha...OK", "[Engine] Bravo..."}));
    QCOMPARE(run.browser.stopCount, stopsBefore + 1);
    QCOMPARE(run.view.progress, 100);
    run.verifyIdle();
    run.controller.next(); // nothing to skip to once stopped
    QCOMPARE(run.browser.navigations.size(), 2);

    run.controller.submit();
    QCOMPARE(run.log.lines, QStringList{"[Engine] Alpha..."});
    QCOMPARE(run.browser.navigations.last(), Run::url(0));
    QCOMPARE(run.controller.submitIndex(), 0);
    QVERIFY(run.controller.runActive());
}

void TestRunController::failedValidationSendsNoEarlierList() {
    Run run(2);
    run.controller.submit();
    run.finishAndTick();
    run.finishAndTick();
    QCOMPARE(run.log.lines.last(), "Done");
    const int navigations = run.browser.navigations.size();

    run.inputs.missingFields = QStringList{"[Contact Info]  Please enter your city"};
    run.controller.submit();
    run.controller.next();
    run.tick();
    QCOMPARE(run.log.lines, run.inputs.missingFields);
    QCOMPARE(run.browser.navigations.size(), navigations);
    QCOMPARE(run.inputs.buildCount, 1);
    QCOMPARE(run.controller.submissionList().Count, 0);
    run.verifyIdle();
}

void TestRunController::emptyCurrentList_data() {
    QTest::addColumn<QStringList>("missingFields");
    QTest::newRow("complete profile") << QStringList{};
    QTest::newRow("incomplete profile") << QStringList{"[Contact Info]  Please enter your e-mail address",
                                                       "[Site Info]  Please enter your site title"};
}

void TestRunController::emptyCurrentList() {
    QFETCH(QStringList, missingFields);
    Run run(0);
    run.log.appendLine("an earlier line");
    run.inputs.missingFields = missingFields;
    run.controller.submit();
    QCOMPARE(run.log.lines, missingFields + QStringList{"[Engine Data] Please select the engine"});
    QVERIFY(run.browser.navigations.isEmpty());
    QCOMPARE(run.inputs.buildCount, 0);
    run.verifyIdle();
}

void TestRunController::verdict_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("loadFailed");
    QTest::addColumn<QString>("line");
    QTest::newRow("ordinary title") << "Thank you" << false << "[Engine] Alpha...OK";
    QTest::newRow("load failed (HTTP 404, 500, 403, network)") << "Thank you" << true << "[Engine] Alpha...ERROR";
    QTest::newRow("load failed, no title") << "" << true << "[Engine] Alpha...ERROR";
    QTest::newRow("Error 42") << "Error 42" << false << "[Engine] Alpha...ERROR";
    QTest::newRow("error in lower case") << "error: try again" << false << "[Engine] Alpha...ERROR";
    QTest::newRow("server busy") << "server busy" << false << "[Engine] Alpha...ERROR";
    QTest::newRow("SERVER alone") << "SERVER" << false << "[Engine] Alpha...ERROR";
    QTest::newRow("Served") << "Served" << false << "[Engine] Alpha...OK";
    QTest::newRow("Erro (four letters)") << "Erro" << false << "[Engine] Alpha...OK";
    QTest::newRow("error later in the title") << "No error" << false << "[Engine] Alpha...OK";
    QTest::newRow("empty title") << "" << false << "[Engine] Alpha...OK";
}

void TestRunController::verdict() {
    QFETCH(QString, title);
    QFETCH(bool, loadFailed);
    QFETCH(QString, line);
    Run run;
    run.controller.submit();
    run.finishAndTick(title, loadFailed);
    QCOMPARE(run.log.lines, (QStringList{line, "Done"}));
    QCOMPARE(run.controller.browserStat().OK, line.endsWith("OK"));
}

void TestRunController::pageTimeLimit_data() {
    QTest::addColumn<quint32>("limit");
    QTest::addColumn<int>("judgingTick"); // counted from the first tick after the navigation
    QTest::newRow("60 s") << RunController::kPageTimeLimitMs << 61;
    QTest::newRow("shortened to 3 s") << quint32(3000) << 4;
}

void TestRunController::pageTimeLimit() {
    QFETCH(quint32, limit);
    QFETCH(int, judgingTick);
    Run run(2);
    run.controller.setPageTimeLimit(limit);
    run.controller.submit();
    run.browser.title = "Thank you"; // the title of a page that never finishes loading
    for (int tick = 1; tick < judgingTick; ++tick)
        run.tick();
    QCOMPARE(run.log.lines, QStringList{"[Engine] Alpha..."});

    const int stopsBefore = run.browser.stopCount;
    run.tick();
    QCOMPARE(run.log.lines, (QStringList{"[Engine] Alpha...ERROR", "[Engine] Bravo..."}));
    QCOMPARE(run.browser.stopCount, stopsBefore + 1);
    QCOMPARE(run.view.progress, 0);
}

void TestRunController::elapsedTime_data() {
    QTest::addColumn<quint32>("clockStart");
    QTest::addColumn<quint32>("elapsed"); // milliseconds after the run's first tick
    QTest::addColumn<QString>("shown");
    QTest::newRow("first tick") << quint32(1000) << quint32(0) << "00:00:00";
    QTest::newRow("59 s") << quint32(1000) << quint32(59499) << "00:00:59";
    QTest::newRow("59.5 s rounds up") << quint32(1000) << quint32(59500) << "00:01:00";
    QTest::newRow("60 s") << quint32(1000) << quint32(60000) << "00:01:00";
    QTest::newRow("59 min 59 s") << quint32(1000) << quint32(3599000) << "00:59:59";
    QTest::newRow("one hour") << quint32(1000) << quint32(3600000) << "01:00:00";
    QTest::newRow("above 99 hours") << quint32(1000) << quint32(100 * 3600000u + 61000) << "100:01:01";
    QTest::newRow("across the clock's wrap") << quint32(0xFFFFF000u) << quint32(125000) << "00:02:05";
}

void TestRunController::elapsedTime() {
    QFETCH(quint32, clockStart);
    QFETCH(quint32, elapsed);
    QFETCH(QString, shown);
    Run run(1, clockStart);
    run.controller.setPageTimeLimit(std::numeric_limits<quint32>::max());
    run.controller.submit();
    run.tick(1000); // the run's first tick
    run.tick(elapsed);
    QCOMPARE(run.view.time, shown);
}

void TestRunController::elapsedTimeDoesNotDriftWithLateTicks() {
    Run run;
    run.controller.setPageTimeLimit(std::numeric_limits<quint32>::max());
    run.controller.submit();
    run.tick();
    for (int tick = 0; tick < 900; ++tick) // ticks arrive 1000 … 1120 ms apart, 953.88 s in all
        run.tick(1000 + (tick % 7) * 20);
    QCOMPARE(run.view.time, "00:15:54");
}

void TestRunController::elapsedTimeShowsEverySecondOnce() {
    Run run;
    run.controller.setPageTimeLimit(std::numeric_limits<quint32>::max());
    run.controller.submit();
    run.tick();
    // Ticks land up to 6 ms before or after each whole second.
    for (int second = 1; second <= 40; ++second) {
        run.tick(second % 2 == 1 ? 994 : 1006);
        QCOMPARE(run.view.time, QTime(0, 0).addSecs(second).toString(u"HH:mm:ss"));
    }
}

void TestRunController::elapsedTimeKeptAfterRunAndRestartedBySubmit() {
    Run run;
    run.controller.setPageTimeLimit(std::numeric_limits<quint32>::max());
    run.controller.submit();
    run.tick();
    run.tick(61000);
    run.finishAndTick();
    QCOMPARE(run.view.time, "00:01:02");
    QCOMPARE(run.log.lines.last(), "Done");

    run.clock.advance(30000);
    run.controller.submit();
    QCOMPARE(run.view.time, "00:01:02");
    run.tick();
    QCOMPARE(run.view.time, "00:00:00");
    run.tick();
    QCOMPARE(run.view.time, "00:00:01");
}

void TestRunController::progress_data() {
    QTest::addColumn<qint32>("progress");
    QTest::addColumn<qint32>("progressMax");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("label");
    // The bar stands at 40 and the label reads "0 %" before each event.
    QTest::newRow("complete (-1) leaves both") << -1 << 200 << 40 << "0 %";
    QTest::newRow("50 of 200") << 50 << 200 << 25 << "25 %";
    QTest::newRow("300 of 200 holds at 100") << 300 << 200 << 100 << "100 %";
    QTest::newRow("65535 % holds at 100") << 65535 << 100 << 100 << "100 %";
    QTest::newRow("zero maximum rewrites the label") << 50 << 0 << 40 << "40 %";
    QTest::newRow("negative result") << -50 << 100 << 40 << "40 %";
    QTest::newRow("negative maximum") << 50 << -100 << 40 << "40 %";
    QTest::newRow("above 65535 %") << 65536 << 100 << 40 << "40 %";
    QTest::newRow("large counts do not overflow") << 30000000 << 60000000 << 50 << "50 %";
}

void TestRunController::progress() {
    QFETCH(qint32, progress);
    QFETCH(qint32, progressMax);
    QFETCH(int, bar);
    QFETCH(QString, label);
    Run run;
    run.view.progress = 40;
    run.controller.progressChange(progress, progressMax);
    QCOMPARE(run.view.progress, bar);
    QCOMPARE(run.view.progressLabel, label);
}

QTEST_GUILESS_MAIN(TestRunController)
#include "test_run_controller.moc"
