#include "catalogue/core/engine_selection.h"
#include "indexnow/core/indexnow_key.h"
#include "indexnow/core/key_file_check.h"
#include "net/core/network_fetcher.h"
#include "platform/ini_file.h"
#include "support/local_http_server.h"

#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kKey = u"0123456789abcdef-XYZ"_s;

// Two engines that take the key (one with a second option list) and one that does not.
Engine_Type smallCatalogue() {
    return ReadEngineFile(
        IniFile::fromBytes("[Engine]\nAmount=3\nTitle1=Beta Now\nTitle2=Alpha Now\nTitle3=Plain\n"
                           "[Beta Now]\nUrl=https://b.example/indexnow\nOption=1\n"
                           "Option_Title1=IndexNow key\nError1=Need key\nItem1=0\nValue1=0\n"
                           "[Alpha Now]\nUrl=https://a.example/indexnow\nOption=2\n"
                           "Option_Title1=IndexNow key\nItem1=0\nValue1=0\n"
                           "Option_Title2=Region\nItem2=1\nItem2-1=EU\nValue2=0\n"
                           "[Plain]\nUrl=https://p.example/\nOption=1\n"
                           "Option_Title1=Category\nError1=Pick one\nItem1=1\nItem1-1=Arts\nValue1=0\n"));
}

} // namespace

class TestIndexNowKey : public QObject {
    Q_OBJECT

private slots:
    void keyRule_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("problem"); // a part of the message; empty for a valid key
        QTest::newRow("8 characters") << u"abcd-123"_s << QString();
        QTest::newRow("128 characters") << QString(128, u'Z') << QString();
        QTest::newRow("empty") << QString() << u"empty"_s;
        QTest::newRow("7 characters") << u"abc-123"_s << u"too short: it has 7"_s;
        QTest::newRow("129 characters") << QString(129, u'a') << u"too long: it has 129"_s;
        QTest::newRow("space") << u"abcd efgh"_s << u"a space, at position 5"_s;
        QTest::newRow("underscore") << u"abcd_efgh"_s << u"\"_\""_s;
        QTest::newRow("non-ASCII letter") << u"schl\u00fcssel1"_s << u"\"\u00fc\""_s;
        QTest::newRow("line break") << u"abcdefgh\n"_s << u"U+000A"_s;
    }
    void keyRule() {
        QFETCH(QString, key);
        QFETCH(QString, problem);
        const QString message = indexNowKeyProblem(key);
        if (problem.isEmpty())
            QCOMPARE(message, QString());
        else
            QVERIFY2(message.contains(problem), qPrintable(message));
    }

    void generatedKeysAreValidAndDistinct() {
        static const QRegularExpression hex32(u"^[0-9a-f]{32}$"_s);
        QSet<QString> seen;
        for (int i = 0; i < 2000; ++i) {
            const QString key = generateIndexNowKey();
            QVERIFY2(hex32.match(key).hasMatch(), qPrintable(key));
            QCOMPARE(indexNowKeyProblem(key), QString());
            seen.insert(key);
        }
        QCOMPARE(seen.size(), 2000);
    }

    void keyFile_data() {
        QTest::addColumn<QString>("siteUrl");
        QTest::addColumn<QString>("address"); // empty when there is none
        QTest::newRow("path and query dropped")
            << u"https://www.example.com/blog/?p=1"_s << u"https://www.example.com/%1.txt"_s;
        QTest::newRow("port kept") << u"http://example.com:8080/x"_s << u"http://example.com:8080/%1.txt"_s;
        QTest::newRow("blanks and case") << u"  https://Example.COM  "_s << u"https://example.com/%1.txt"_s;
        QTest::newRow("no scheme") << u"www.example.com"_s << QString();
        QTest::newRow("not the web") << u"ftp://example.com/"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void keyFile() {
        QFETCH(QString, siteUrl);
        QFETCH(QString, address);
        QCOMPARE(indexNowKeyFileName(kKey), kKey + u".txt"_s);
        QCOMPARE(indexNowKeyFileBytes(kKey), kKey.toLatin1()); // no line break
        const KeyFileAddress found = indexNowKeyFileAddress(siteUrl, kKey);
        QCOMPARE(found.url.toString(), address.isEmpty() ? QString() : address.arg(kKey));
        QCOMPARE(found.problem.isEmpty(), !address.isEmpty());
    }

    void check_data() {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("sentence"); // a part of the sentence
        QTest::addColumn<int>("requests");     // how many the site received
        using O = KeyFileCheck::Outcome;
        QTest::newRow("holds the key") << QByteArray("match") << int(O::Found) << u"found and holds the key"_s << 1;
        QTest::newRow("holds the key and a line break")
            << QByteArray("match-newline") << int(O::Found) << u"holds the key"_s << 1;
        QTest::newRow("holds other text") << QByteArray("other") << int(O::OtherText)
                                          << u"holds something else: \"Welcome "_s + QString(92, u'x') + u'"' << 1;
        QTest::newRow("404") << QByteArray("404") << int(O::NotFound)
                             << u"not found: the site answered with status 404"_s << 1;
        QTest::newRow("refused") << QByteArray("refused") << int(O::Unreachable) << u"could not be reached: "_s << 0;
        QTest::newRow("redirect to another host")
            << QByteArray("redirect-away") << int(O::Unreachable) << u"another host"_s << 1;
        QTest::newRow("slow past the limit") << QByteArray("slow") << int(O::Unreachable) << u"No answer within"_s << 1;
    }
    void check() {
        QFETCH(QByteArray, scenario);
        QFETCH(int, outcome);
        QFETCH(QString, sentence);
        QFETCH(int, requests);

        LocalHttpServer site;
        LocalHttpServer otherHost;
        QVERIFY(site.listen());
        QVERIFY(otherHost.listen());
        const QByteArray path = "/" + indexNowKeyFileBytes(kKey) + ".txt";
        const QByteArray otherPort = otherHost.baseUrl().section(u':', 2).toUtf8();
        const QHash<QByteArray, LocalHttpServer::Response> responses{
            {"match", LocalHttpServer::content(kKey.toUtf8())},
            {"match-newline", LocalHttpServer::content(kKey.toUtf8() + "\r\n")},
            {"other", LocalHttpServer::content("Welcome " + QByteArray(200, 'x'))},
            {"404", LocalHttpServer::status(404)},
            {"redirect-away", LocalHttpServer::redirect("http://localhost:" + otherPort + path)},
            {"slow", LocalHttpServer::hanging()},
        };
        site.setResponse(path, responses.value(scenario));

        QString siteUrl = site.baseUrl() + u"/blog/"_s;
        if (scenario == "refused") {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            siteUrl = u"http://127.0.0.1:%1/"_s.arg(closed.serverPort());
        }
        const QUrl url = indexNowKeyFileAddress(siteUrl, kKey).url;
        NetworkFetcher fetcher;
        std::optional<KeyFileCheck> result;
        const int timeoutMs = scenario == "slow" ? 300 : kKeyFileCheckTimeoutMs;
        checkKeyFile(
            fetcher, url, kKey, this, [&result](const KeyFileCheck& check) { result = check; }, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 10000);

        QCOMPARE(int(result->outcome), outcome);
        QCOMPARE(result->url, url);
        QVERIFY2(result->sentence().contains(sentence), qPrintable(result->sentence()));
        QVERIFY(result->sentence().contains(url.toDisplayString()));
        QCOMPARE(site.requestLines().size(), requests);
        if (requests > 0)
            QCOMPARE(site.requestLines().first(), "GET " + path + " HTTP/1.1");
        QVERIFY(otherHost.requestLines().isEmpty());
    }

    // The key in use comes from the first engine of the current list that takes the key.
    void keyInUse_data() {
        QTest::addColumn<QStringList>("currentList");
        QTest::addColumn<QString>("key");
        QTest::newRow("first that takes the key") << QStringList{"Plain", "Alpha Now", "Beta Now"} << u"alpha-key"_s;
        QTest::newRow("order of the list") << QStringList{"Beta Now", "Alpha Now"} << u"beta-key"_s;
        QTest::newRow("none takes the key") << QStringList{"Plain", "Unknown"} << QString();
    }
    void keyInUse() {
        QFETCH(QStringList, currentList);
        QFETCH(QString, key);
        Engine_Type catalogue = smallCatalogue();
        chooseOption(catalogue.Items[0], 1, u"beta-key"_s, -1);
        chooseOption(catalogue.Items[1], 1, u"alpha-key"_s, -1);
        chooseOption(catalogue.Items[2], 1, u"Arts"_s, 0);
        QCOMPARE(indexNowKeyInUse(catalogue, currentList), key);
    }

    // Applying the key lets Add take every engine that asks for it, without a log line.
    void applyKeyThenAdd() {
        Engine_Type catalogue = smallCatalogue();
        QCOMPARE(addEngines(catalogue, {"Beta Now", "Alpha Now"}).logLines.size(), 3); // Alpha has two lists
        QCOMPARE(applyIndexNowKey(catalogue, kKey), 2);
        QCOMPARE(applyIndexNowKey(catalogue, kKey), 0);
        for (const Engine_Data& engine : std::as_const(catalogue.Items).first(2)) {
            QCOMPARE(engine.Option1, kKey);
            QCOMPARE(engine.OptVal1, kKey);
            QCOMPARE(engine.Option2, QString());
        }
        QCOMPARE(catalogue.Items[2].Option1, QString());
        const EngineMoves moves = addEngines(catalogue, {"Beta Now", "Alpha Now"});
        QCOMPARE(moves.moved.size(), 2);
        QCOMPARE(moves.logLines, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestIndexNowKey)
#include "test_indexnow_key.moc"
