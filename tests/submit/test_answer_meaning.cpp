#include "submit/core/answer_meaning.h"

#include <QTest>

// Each row names a key phrase the meaning must hold, so that rewording keeps the tests but a
// status landing on the wrong sentence (or the wrong table) fails.
class TestAnswerMeaning : public QObject {
    Q_OBJECT

private slots:
    void meaning_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<NetworkFailure>("failure");
        QTest::addColumn<bool>("indexNow");
        QTest::addColumn<QString>("phrase");
        const auto none = NetworkFailure::None;
        QTest::newRow("200") << 200 << none << false << "accepted";
        QTest::newRow("204") << 204 << none << false << "accepted";
        QTest::newRow("301") << 301 << none << false << "moved permanently";
        QTest::newRow("302") << 302 << none << false << "moved for now";
        QTest::newRow("400") << 400 << none << false << "malformed";
        QTest::newRow("401") << 401 << none << false << "refused";
        QTest::newRow("403") << 403 << none << false << "refused";
        QTest::newRow("404") << 404 << none << false << "out of date";
        QTest::newRow("410") << 410 << none << false << "retired";
        QTest::newRow("422 general") << 422 << none << false << "HTTP 422";
        QTest::newRow("429") << 429 << none << false << "wait before sending again";
        QTest::newRow("500") << 500 << none << false << "try later";
        QTest::newRow("503") << 503 << none << false << "try later";
        QTest::newRow("IndexNow 200") << 200 << none << true << "URL was received.";
        QTest::newRow("IndexNow 202") << 202 << none << true << "still being validated";
        QTest::newRow("IndexNow 204 general") << 204 << none << true << "accepted";
        QTest::newRow("IndexNow 400") << 400 << none << true << "invalid format";
        QTest::newRow("IndexNow 403") << 403 << none << true << "key file is missing";
        QTest::newRow("IndexNow 422") << 422 << none << true << "does not belong to the host";
        QTest::newRow("IndexNow 429") << 429 << none << true << "wait before sending again";
        QTest::newRow("IndexNow 500 general") << 500 << none << true << "try later";
        QTest::newRow("timeout") << 0 << NetworkFailure::Timeout << false << "No answer in time";
        QTest::newRow("DNS") << 0 << NetworkFailure::HostNotFound << false << "DNS";
        QTest::newRow("TLS") << 0 << NetworkFailure::Tls << true << "TLS";
        QTest::newRow("refused") << 0 << NetworkFailure::ConnectionRefused << false << "refused";
        QTest::newRow("other") << 0 << NetworkFailure::Other << false << "failed before any answer";
        QTest::newRow("no status") << 0 << none << false << "no HTTP status";
    }
    void meaning() {
        QFETCH(int, status);
        QFETCH(NetworkFailure, failure);
        QFETCH(bool, indexNow);
        QFETCH(QString, phrase);
        const QString meaning = answerMeaning(status, failure, indexNow);
        QVERIFY2(meaning.contains(phrase), qPrintable(meaning));
    }

    void indexNowUrl_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("indexNow");
        QTest::newRow("path") << "https://api.example/indexnow?url=a&key=b" << true;
        QTest::newRow("trailing slash, capitals") << "https://search.example/IndexNow/" << true;
        QTest::newRow("deeper path") << "https://x.example/api/v1/indexnow" << true;
        QTest::newRow("word in query only") << "https://x.example/ping?to=/indexnow" << false;
        QTest::newRow("longer name") << "https://x.example/myindexnow" << false;
        QTest::newRow("not a URL") << "::" << false;
    }
    void indexNowUrl() {
        QFETCH(QString, url);
        QFETCH(bool, indexNow);
        QCOMPARE(isIndexNowUrl(url), indexNow);
    }
};

QTEST_APPLESS_MAIN(TestAnswerMeaning)
#include "test_answer_meaning.moc"
