// How a command-line job hears stop signals: which ones stop it, what a second one does, and
// which actions are left behind.

#include "cli/stop_signals.h"

#include <QSignalSpy>
#include <QTest>
#include <csignal>

namespace {

volatile std::sig_atomic_t g_recorded = 0;

void recordSignal(int signal) {
    g_recorded = signal;
}

void setHandler(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

void (*currentHandler(int signal))(int) {
    struct sigaction action = {};
    ::sigaction(signal, nullptr, &action);
    return action.sa_handler;
}

} // namespace

class TestStopSignals : public QObject {
    Q_OBJECT

private slots:
    void eachStopSignalStopsOnceThenEndsAtOnce_data();
    void eachStopSignalStopsOnceThenEndsAtOnce();
    void ignoredSignalStaysIgnored();
};

void TestStopSignals::eachStopSignalStopsOnceThenEndsAtOnce_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

// The action found at the start stands for the default one here: the second signal runs it (the
// default action would end the test), and it is what is left when the job ends.
void TestStopSignals::eachStopSignalStopsOnceThenEndsAtOnce() {
    QFETCH(int, signal);
    setHandler(signal, recordSignal);
    g_recorded = 0;
    {
        StopSignals stops;
        QSignalSpy stopped(&stops, &StopSignals::stopRequested);
        ::raise(signal);
        QTRY_COMPARE(stopped.size(), 1);
        QCOMPARE(g_recorded, 0);
        QVERIFY(stops.received());

        ::raise(signal);
        QCOMPARE(g_recorded, signal);
    }
    QVERIFY(currentHandler(signal) == &recordSignal);
    setHandler(signal, SIG_DFL);
}

void TestStopSignals::ignoredSignalStaysIgnored() {
    setHandler(SIGHUP, SIG_IGN);
    {
        StopSignals stops;
        QSignalSpy stopped(&stops, &StopSignals::stopRequested);
        setHandler(SIGHUP, SIG_DFL); // as the web engine does when it starts
        stops.install();
        ::raise(SIGHUP);
        ::raise(SIGHUP);
        QTest::qWait(50);
        QCOMPARE(stopped.size(), 0);
    }
    QVERIFY(currentHandler(SIGHUP) == SIG_IGN);
    setHandler(SIGHUP, SIG_DFL);
}

QTEST_GUILESS_MAIN(TestStopSignals)
#include "test_stop_signals.moc"
