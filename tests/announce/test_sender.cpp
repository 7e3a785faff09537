#include "announce/core/announce_sender.h"
#include "submit/core/answer_meaning.h"
#include "support/fake_clock.h"
#include "support/scripted_fetcher.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QString kEngine = u"https://engine.example/indexnow"_s;

using Headers = QList<QPair<QByteArray, QByteArray>>;

AnnounceRequest request(const QString& first = u"https://www.example.com/a"_s) {
    return {u"Engine"_s, kEngine, indexNowBody(u"www.example.com"_s, u"k"_s, {}, {first}), 1, first, first, 1, 1,
            {},          {}};
}

// Lets the sender run until it is idle, moving the clock over every wait it starts; returns
// the waits in seconds.
QList<int> runToEnd(AnnounceSender& sender, FakeClock& clock) {
    QList<int> waits;
    QSignalSpy waiting(&sender, &AnnounceSender::waiting);
    for (int guard = 0; guard < 100 && sender.state() != AnnounceSender::State::Idle; ++guard) {
        if (sender.state() == AnnounceSender::State::Waiting) {
            const int seconds = waiting.last().at(0).toInt();
            waits.append(seconds);
            clock.advance(static_cast<quint32>(seconds) * 1000 - 1);
            sender.tick(); // a millisecond short: still waiting
            if (sender.state() != AnnounceSender::State::Waiting)
                return {-1};
            clock.advance(1);
            sender.tick();
        }
        QCoreApplication::processEvents();
    }
    return waits;
}

} // namespace

class TestAnnounceSender : public QObject {
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void countdownAndCancel();
    void waitBudgetPerEngine();
    void planSharesAndResend();
};

void TestAnnounceSender::answers_data() {
    QTest::addColumn<QList<FetchReply>>("replies");
    QTest::addColumn<int>("sends");
    QTest::addColumn<QList<int>>("waits");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reason");

    const auto reply = [](int status, Headers headers = {}, const QByteArray& body = {}) {
        return ScriptedFetcher::reply(status, body, std::move(headers));
    };
    FetchReply timeout;
    timeout.failure = NetworkFailure::Timeout;
    timeout.errorText = u"No answer within 30 s."_s;

    QTest::newRow("200") << QList{reply(200)} << 1 << QList<int>() << 200 << true << QString();
    QTest::newRow("429 Retry-After: 1 waited and sent again")
        << QList{reply(429, {{"Retry-After", "1"}}), reply(202)} << 2 << QList<int>{1} << 202 << true << QString();
    QTest::newRow("429 Retry-After as a date, against the answer's Date")
        << QList{reply(429,
                       {{"date", "Tue, 08 Dec 2026 10:00:00 GMT"}, {"retry-after", "Tue, 08 Dec 2026 10:00:05 GMT"}}),
                 reply(200)}
        << 2 << QList<int>{5} << 200 << true << QString();
    QTest::newRow("429 three waits at most") << QList{reply(429, {{"Retry-After", "2"}}, "slow down")} << 4
                                             << QList<int>{2, 2, 2} << 429 << false << u"slow down"_s;
    QTest::newRow("429 asking for an hour is not waited")
        << QList{reply(429, {{"Retry-After", "3600"}})} << 1 << QList<int>() << 429 << false << QString();
    QTest::newRow("429 waits of 10 minutes in all at most")
        << QList{reply(429, {{"Retry-After", "300"}})} << 3 << QList<int>{300, 300} << 429 << false << QString();
    QTest::newRow("503 sent again once after 30 s")
        << QList{reply(503), reply(200)} << 2 << QList<int>{30} << 200 << true << QString();
    QTest::newRow("500 twice is recorded") << QList{reply(500, {}, "<h1>Internal   error</h1>")} << 2 << QList<int>{30}
                                           << 500 << false << u"<h1>Internal error</h1>"_s;
    QTest::newRow("403 recorded") << QList{reply(403, {}, "key not found")} << 1 << QList<int>() << 403 << false
                                  << u"key not found"_s;
    QTest::newRow("no answer: not retried") << QList{timeout} << 1 << QList<int>() << 0 << false << QString();
}

void TestAnnounceSender::answers() {
    QFETCH(QList<FetchReply>, replies);
    QFETCH(int, sends);
    QFETCH(QList<int>, waits);
    QFETCH(int, status);
    QFETCH(bool, ok);
    QFETCH(QString, reason);

    ScriptedFetcher fetcher;
    fetcher.script(kEngine, replies);
    FakeClock clock;
    AnnounceSender sender(fetcher, clock);
    sender.setWallClock([] { return QDateTime(QDate(2026, 12, 8), QTime(23, 0), QTimeZone::utc()); });
    QSignalSpy finished(&sender, &AnnounceSender::finished);
    sender.start({request()});
    QCOMPARE(runToEnd(sender, clock), waits);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(fetcher.requests.size(), sends);
    for (const FetchRequest& sent : std::as_const(fetcher.requests)) {
        QCOMPARE(sent.method, QByteArray("POST"));
        QCOMPARE(sent.contentType, QByteArray("application/json; charset=utf-8"));
        QCOMPARE(sent.body, request().body);
    }
    QCOMPARE(sender.results().records.size(), 1);
    const ResultRecord& record = sender.results().records.first();
    QCOMPARE(record.httpStatus, status);
    QCOMPARE(record.verdict, ok ? ResultRecord::Verdict::Ok : ResultRecord::Verdict::Error);
    QCOMPARE(record.meaning,
             status == 429 ? waitedTooLongText()
                           : answerMeaning(status, status ? NetworkFailure::None : NetworkFailure::Timeout, true));
    QVERIFY2(record.reason.contains(reason), qPrintable(record.reason));
    QCOMPARE(record.batchSize, 1);
    QCOMPARE(record.batchFirst, u"https://www.example.com/a"_s);
    QCOMPARE(record.batchBody, request().body);
    // The error is followed by the meaning after a colon: it keeps no full stop of its own.
    QCOMPARE(record.error, status ? QString() : u"No answer within 30 s"_s);
}

void TestAnnounceSender::countdownAndCancel() {
    ScriptedFetcher fetcher;
    fetcher.script(kEngine, {ScriptedFetcher::reply(503)});
    FakeClock clock;
    AnnounceSender sender(fetcher, clock);
    QSignalSpy waiting(&sender, &AnnounceSender::waiting);
    sender.start({request(u"https://www.example.com/1"_s), request(u"https://www.example.com/2"_s)});
    QTRY_COMPARE(sender.state(), AnnounceSender::State::Waiting);
    clock.advance(10500);
    sender.tick();
    QCOMPARE(waiting.last().at(0).toInt(), 20); // 19.5 s left, shown as whole seconds rounded up
    QCOMPARE(waiting.last().at(1).toString(), u"Engine, batch 1 of 1: server error (503); sending again in 20 s"_s);
    sender.cancel();
    QCOMPARE(sender.state(), AnnounceSender::State::Idle);
    QVERIFY(sender.wasCancelled());
    QCOMPARE(sender.results().records.size(), 2);
    for (const ResultRecord& record : sender.results().records)
        QCOMPARE(record.verdict, ResultRecord::Verdict::Skipped);
    QCOMPARE(sender.results().records[0].meaning, u"Sent once; cancelled while waiting to send again."_s);
    QCOMPARE(sender.results().records[1].meaning, u"Not sent: the announcement was cancelled."_s);
    clock.advance(60000);
    sender.tick();
    QTest::qWait(20);
    QCOMPARE(fetcher.requests.size(), 1); // nothing sent after the cancel

    // Cancelled while a request is in flight: the fetch is cancelled and its answer never lands.
    sender.start({request()});
    QCOMPARE(sender.state(), AnnounceSender::State::Sending);
    sender.cancel();
    QCOMPARE(fetcher.cancelled, 1);
    QTest::qWait(20);
    QCOMPARE(sender.results().records.size(), 1);
    QCOMPARE(sender.results().records.first().verdict, ResultRecord::Verdict::Skipped);
}

void TestAnnounceSender::waitBudgetPerEngine() {
    // Three batches to one engine that keeps asking to wait: three waits in all, then the rest
    // is recorded without being sent. Another engine keeps its own budget.
    ScriptedFetcher fetcher;
    fetcher.script(kEngine, {ScriptedFetcher::reply(429, {}, {{"Retry-After", "1"}})});
    const QString other = u"https://other.example/indexnow"_s;
    fetcher.script(other, {ScriptedFetcher::reply(429, {}, {{"Retry-After", "1"}}), ScriptedFetcher::reply(200)});
    FakeClock clock;
    AnnounceSender sender(fetcher, clock);
    AnnounceRequest toOther = request(u"https://www.example.com/o"_s);
    toOther.url = other;
    sender.start({request(u"https://www.example.com/1"_s), request(u"https://www.example.com/2"_s), toOther,
                  request(u"https://www.example.com/3"_s)});
    QCOMPARE(runToEnd(sender, clock), (QList<int>{1, 1, 1, 1}));
    QCOMPARE(fetcher.requests.size(), 6); // 4 to the engine, 2 to the other
    const QList<ResultRecord>& records = sender.results().records;
    QCOMPARE(records.size(), 4);
    for (const int i : {0, 1, 3}) {
        QCOMPARE(records[i].verdict, ResultRecord::Verdict::Error);
        QCOMPARE(records[i].meaning, u"The engine asked to wait too long; try again later."_s);
    }
    QCOMPARE(records[1].httpStatus, 0); // not sent
    QCOMPARE(records[2].verdict, ResultRecord::Verdict::Ok);

    // A wait lasts what was asked, to the millisecond rather than to the next whole second.
    ScriptedFetcher timed;
    timed.script(kEngine, {ScriptedFetcher::reply(429, {}, {{"Retry-After", "Tue, 08 Dec 2026 10:00:02 GMT"}}),
                           ScriptedFetcher::reply(200)});
    SystemClock realClock;
    AnnounceSender exact(timed, realClock);
    exact.setWallClock([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0, 700), QTimeZone::utc()); });
    QElapsedTimer elapsed;
    elapsed.start();
    exact.start({request()});
    QTRY_COMPARE_WITH_TIMEOUT(timed.requests.size(), 2, 5000);
    // 1.3 s asked; a once-a-second check would send after 2 s. (Generous above: a loaded machine.)
    QVERIFY2(elapsed.elapsed() >= 1250 && elapsed.elapsed() < 1950, qPrintable(QString::number(elapsed.elapsed())));
}

void TestAnnounceSender::planSharesAndResend() {
    const QList<AnnounceTarget> targets{{u"A"_s, u"https://a.example/indexnow"_s, u"k"_s, {}, u"IndexNow"_s},
                                        {u"B"_s, u"https://b.example/indexnow"_s, u"k"_s, {}, u"indexnow"_s},
                                        {u"C"_s, u"https://c.example/indexnow"_s, u"k2"_s, {}, {}}};
    QCOMPARE(chooseTargets(targets, SharedEngines::OneOnly).size(), 2);
    QCOMPARE(chooseTargets(targets, SharedEngines::OneOnly).at(1).title, u"C"_s);
    QCOMPARE(chooseTargets(targets, SharedEngines::All).size(), 3);

    const QList<AnnounceBatch> batches{{u"www.example.com"_s, {u"https://www.example.com/1"_s}},
                                       {u"www.example.com"_s, {u"https://www.example.com/2"_s}}};
    const QList<AnnounceRequest> plan = planAnnouncement(batches, targets);
    QCOMPARE(plan.size(), 6);
    QCOMPARE(plan.at(4).title, u"B"_s);
    QCOMPARE(plan.at(4).body, indexNowBody(u"www.example.com"_s, u"k"_s, {}, {u"https://www.example.com/2"_s}));
    QCOMPARE(plan.at(5).body, indexNowBody(u"www.example.com"_s, u"k2"_s, {}, {u"https://www.example.com/2"_s}));

    ScriptedFetcher fetcher;
    fetcher.script(u"https://a.example/indexnow"_s, {ScriptedFetcher::reply(200)});
    fetcher.script(u"https://b.example/indexnow"_s, {ScriptedFetcher::reply(422)});
    fetcher.script(u"https://c.example/indexnow"_s, {ScriptedFetcher::reply(202)});
    FakeClock clock;
    AnnounceSender sender(fetcher, clock);
    QSignalSpy progress(&sender, &AnnounceSender::progress);
    sender.start(plan);
    QCOMPARE(runToEnd(sender, clock), QList<int>());
    QCOMPARE(progress.last(), (QVariantList{6, 6}));
    const QList<AnnounceRequest> again = requestsToResend(sender.results().records);
    QCOMPARE(again.size(), 2);
    QCOMPARE(again.at(1).url, u"https://b.example/indexnow"_s);
    QCOMPARE(again.at(1).body, plan.at(4).body);
    QCOMPARE(again.at(1).first, u"https://www.example.com/2"_s);
}

QTEST_GUILESS_MAIN(TestAnnounceSender)
#include "test_sender.moc"
