#include "net/core/network_fetcher.h"
#include "support/local_http_server.h"

#include <QTcpServer>
#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

// Waits for the one answer of request; fails the test when none comes within 10 s.
static std::optional<FetchReply> fetchAndWait(NetworkFetcher& fetcher, const FetchRequest& request) {
    std::optional<FetchReply> answer;
    QObject receiver;
    fetcher.fetch(request, &receiver, [&answer](const FetchReply& reply) { answer = reply; });
    (void)QTest::qWaitFor([&answer] { return answer.has_value(); }, 10000);
    return answer;
}

class TestNetworkFetcher : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_server = std::make_unique<LocalHttpServer>();
        m_otherHost = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
        QVERIFY(m_otherHost->listen());
        m_server->setResponse("/ok", LocalHttpServer::content("hello", "X-Answer: yes\r\n"));
        m_server->setResponse("/missing", LocalHttpServer::status(404));
        m_server->setResponse("/hop1", LocalHttpServer::redirect("/hop2"));
        m_server->setResponse("/hop2", LocalHttpServer::redirect(m_server->baseUrl().toUtf8() + "/ok"));
        m_server->setResponse("/loop", LocalHttpServer::redirect("/loop"));
        // The same machine under another host name.
        m_server->setResponse(
            "/away",
            LocalHttpServer::redirect("http://localhost:" + m_otherHost->baseUrl().section(u':', 2).toUtf8() + "/ok"));
        m_server->setResponse("/slow", LocalHttpServer::hanging());
        m_server->setResponse("/big", LocalHttpServer::content(QByteArray(300000, 'x')));
        // A port nothing listens on any more.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        m_refusedUrl = u"http://127.0.0.1:%1/ok"_s.arg(closed.serverPort());
        // A server that answers a secure handshake with plain text.
        if (!m_plainText.isListening()) {
            QVERIFY(m_plainText.listen(QHostAddress::LocalHost, 0));
            connect(&m_plainText, &QTcpServer::newConnection, this, [this] {
                QTcpSocket* socket = m_plainText.nextPendingConnection();
                socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
                socket->disconnectFromHost();
            });
        }
    }

    void answers_data() {
        QTest::addColumn<QString>("path"); // on the server; "refused" and "file" name other addresses
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("maxRedirects");
        QTest::addColumn<qint64>("maxBodyBytes");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("failure");
        QTest::addColumn<qsizetype>("bodySize");
        QTest::addColumn<bool>("tooLarge");
        QTest::addColumn<QList<QByteArray>>("requested"); // paths, in order

        const int none = int(NetworkFailure::None);
        const int other = int(NetworkFailure::Other);
        QTest::newRow("200 with a body") << "/ok" << 5000 << 5 << qint64(1000) << 200 << none << qsizetype(5) << false
                                         << QList<QByteArray>{"/ok"};
        QTest::newRow("404") << "/missing" << 5000 << 5 << qint64(1000) << 404 << none << qsizetype(0) << false
                             << QList<QByteArray>{"/missing"};
        QTest::newRow("two redirects followed") << "/hop1" << 5000 << 5 << qint64(1000) << 200 << none << qsizetype(5)
                                                << false << QList<QByteArray>{"/hop1", "/hop2", "/ok"};
        QTest::newRow("redirect to another host refused") << "/away" << 5000 << 5 << qint64(1000) << 0 << other
                                                          << qsizetype(0) << false << QList<QByteArray>{"/away"};
        QTest::newRow("more redirects than allowed")
            << "/loop" << 5000 << 3 << qint64(1000) << 0 << other << qsizetype(0) << false
            << QList<QByteArray>{"/loop", "/loop", "/loop", "/loop"};
        QTest::newRow("slow server past the limit")
            << "/slow" << 300 << 5 << qint64(1000) << 0 << int(NetworkFailure::Timeout) << qsizetype(0) << false
            << QList<QByteArray>{"/slow"};
        QTest::newRow("refused connection")
            << "refused" << 5000 << 5 << qint64(1000) << 0 << int(NetworkFailure::ConnectionRefused) << qsizetype(0)
            << false << QList<QByteArray>{};
        QTest::newRow("body past the limit") << "/big" << 5000 << 5 << qint64(1000) << 200 << none << qsizetype(1000)
                                             << true << QList<QByteArray>{"/big"};
        QTest::newRow("https to a server without TLS")
            << "tls" << 5000 << 5 << qint64(1000) << 0 << int(NetworkFailure::Tls) << qsizetype(0) << false
            << QList<QByteArray>{};
        QTest::newRow("not a web address")
            << "file" << 5000 << 5 << qint64(1000) << 0 << other << qsizetype(0) << false << QList<QByteArray>{};
    }

    void answers() {
        QFETCH(QString, path);
        QFETCH(int, timeoutMs);
        QFETCH(int, maxRedirects);
        QFETCH(qint64, maxBodyBytes);
        QFETCH(int, status);
        QFETCH(int, failure);
        QFETCH(qsizetype, bodySize);
        QFETCH(bool, tooLarge);
        QFETCH(QList<QByteArray>, requested);

        FetchRequest request;
        request.url = path == "refused"_L1 ? QUrl(m_refusedUrl)
                      : path == "file"_L1  ? QUrl(u"file:///etc/hostname"_s)
                      : path == "tls"_L1   ? QUrl(u"https://127.0.0.1:%1/ok"_s.arg(m_plainText.serverPort()))
                                           : QUrl(m_server->baseUrl() + path);
        request.timeoutMs = timeoutMs;
        request.maxRedirects = maxRedirects;
        request.maxBodyBytes = maxBodyBytes;
        NetworkFetcher fetcher;
        QElapsedTimer clock;
        clock.start();
        const std::optional<FetchReply> reply = fetchAndWait(fetcher, request);
        QVERIFY(reply);

        QCOMPARE(reply->httpStatus, status);
        QCOMPARE(int(reply->failure), failure);
        QCOMPARE(reply->errorText.isEmpty(), failure == int(NetworkFailure::None) && !tooLarge);
        QCOMPARE(reply->body.size(), bodySize);
        QCOMPARE(reply->bodyTooLarge, tooLarge);
        if (status == 200 && !tooLarge) {
            QCOMPARE(reply->body, QByteArray("hello"));
            QCOMPARE(reply->finalUrl, QUrl(m_server->baseUrl() + "/ok"_L1));
            QCOMPARE(reply->header("x-answer"), QByteArray("yes"));
        }
        if (failure == int(NetworkFailure::Timeout))
            QVERIFY(clock.elapsed() < 5000);

        QList<QByteArray> paths;
        for (const QByteArray& line : m_server->requestLines())
            paths << line.split(' ').value(1);
        QCOMPARE(paths, requested);
        for (const QByteArray& head : m_server->requestHeads()) {
            QVERIFY2(LocalHttpServer::headerValue(head, "user-agent") == NetworkFetcher::userAgent(), head.constData());
            QVERIFY(LocalHttpServer::headerValue(head, "cookie").isNull());
        }
        QVERIFY(m_otherHost->requestLines().isEmpty());
    }

    // A cancelled request and one whose receiver is gone call nothing, even once their time is up.
    void silentWhenCancelledOrReceiverGone_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("receiver destroyed") << false;
    }
    void silentWhenCancelledOrReceiverGone() {
        QFETCH(bool, cancel);
        NetworkFetcher fetcher;
        FetchRequest request;
        request.url = QUrl(m_server->baseUrl() + "/slow"_L1);
        request.timeoutMs = 100;
        bool called = false;
        auto receiver = std::make_unique<QObject>();
        const Fetcher::RequestId id =
            fetcher.fetch(request, receiver.get(), [&called](const FetchReply&) { called = true; });
        if (cancel)
            fetcher.cancel(id);
        else
            receiver.reset();
        QTest::qWait(300);
        QVERIFY(!called);
    }

private:
    // Fresh servers for every test row.
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<LocalHttpServer> m_otherHost;
    QString m_refusedUrl;
    QTcpServer m_plainText;
};

QTEST_GUILESS_MAIN(TestNetworkFetcher)
#include "test_network_fetcher.moc"
