// torvane --inspect against a local stand-in for Google's APIs (TORVANE_GOOGLE_API) with a key
// the test makes: one line per page, the exit status, the report, and no key material anywhere.

#include "google/google_test_keys.h"
#include "history/core/history_store.h"
#include "support/local_http_server.h"
#include "support/program_run.h"

#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kInspectPath = "/v1/urlInspection/index:inspect";

QByteArray inspectionAnswer(const QByteArray& verdict, const QByteArray& coverage) {
    return "{\"inspectionResult\":{\"indexStatusResult\":{\"verdict\":\"" + verdict + "\",\"coverageState\":\"" +
           coverage + "\",\"lastCrawlTime\":\"2026-12-01T10:20:30Z\"}}}";
}

struct Finished {
    int status = -1;
    QStringList out;
    QString err;
};

} // namespace

class TestIndexStatusJob : public QObject {
    Q_OBJECT

    LocalHttpServer m_server;
    QTemporaryDir m_dir;
    QByteArray m_pem;
    QStringList m_produced; // every output and report, searched for secrets at the end

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString writeProfile(const QString& name, const QString& siteUrl, const QString& keyFile) {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(u"[Site Info]\nSite_Title=Example\nSite_URL=%1\n%2"_s
                       .arg(siteUrl, keyFile.isEmpty() ? QString() : u"Google_Key_File=%1\n"_s.arg(keyFile))
                       .toUtf8());
        return file.fileName();
    }

    Finished run(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TORVANE_GOOGLE_API"_s, m_server.baseUrl());
        environment.remove(u"GOOGLE_OAUTH_ACCESS_TOKEN"_s);
        environment.insert(u"TORVANE_HISTORY"_s, path(u"history.sqlite"_s));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral(TORVANE_PROGRAM), arguments);
        const ProgramRun run = waitForProgram(process);
        const Finished result{run.status, run.out.split(u'\n', Qt::SkipEmptyParts), run.err};
        m_produced << result.out << result.err;
        return result;
    }

    qsizetype inspections() const {
        return std::count_if(m_server.requestLines().cbegin(), m_server.requestLines().cend(),
                             [](const QByteArray& line) { return line.contains(kInspectPath); });
    }

private slots:
    void initTestCase() {
        QVERIFY(m_server.listen());
        QVERIFY(m_dir.isValid());
        const Pkey key = makeRsaKey();
        m_pem = privatePem(key.get());
        QVERIFY(writeFile(
            path(u"key.json"_s),
            keyJson(m_pem, u"checker@torvane-test.iam.gserviceaccount.com"_s, m_server.baseUrl() + u"/token"_s),
            kOwnerOnly));
        QVERIFY(writeFile(path(u"not-a-key.json"_s), "{\"type\":\"authorized_user\"}", kOwnerOnly));
        m_server.setResponse("/token", LocalHttpServer::content("{\"access_token\":\"ya29.cli-token\","
                                                                "\"expires_in\":3599,\"token_type\":\"Bearer\"}"));
        m_server.setResponse("/webmasters/v3/sites",
                             LocalHttpServer::content("{\"siteEntry\":[{\"siteUrl\":\"sc-domain:example.org\"},"
                                                      "{\"siteUrl\":\"https://www.example.com/\"}]}"));
        HistoryStore history(historyLocation(path(u"history.sqlite"_s)));
        QVERIFY(history.beginJob({}) >= 0); // a history exists: it keeps the inspections
    }

    // Each page's line in order; 1 when any page is not indexed, 0 when all are. The key comes
    // from the profile (a path relative to it) or from --google-key.
    void inspect_data() {
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<bool>("keyOption");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<int>("status");
        QTest::newRow("one indexed, two not")
            << QList<QByteArray>{inspectionAnswer("PASS", "Submitted and indexed"),
                                 inspectionAnswer("NEUTRAL", "Crawled - currently not indexed"),
                                 inspectionAnswer("NEUTRAL", "URL is unknown to Google")}
            << false
            << QStringList{u"\tindexed\tSubmitted and indexed\t"_s,
                           u"\tnot indexed\tCrawled - currently not indexed\t"_s,
                           u"\tnot indexed\tURL is unknown to Google\t"_s}
            << 1;
        QTest::newRow("all indexed, key given")
            << QList<QByteArray>(3, inspectionAnswer("PASS", "Submitted and indexed")) << true
            << QStringList(3, u"\tindexed\tSubmitted and indexed\t"_s) << 0;
    }
    void inspect() {
        QFETCH(QList<QByteArray>, answers);
        QFETCH(bool, keyOption);
        QFETCH(QStringList, states);
        QFETCH(int, status);
        for (const QByteArray& answer : answers)
            m_server.queueResponse(kInspectPath, LocalHttpServer::content(answer));
        const QString profile =
            writeProfile(u"site.tvp"_s, u"https://www.example.com/"_s, keyOption ? QString() : u"key.json"_s);
        QStringList arguments{u"--inspect"_s,
                              u"https://www.example.com/a"_s,
                              u"https://www.example.com/b"_s,
                              u"https://www.example.com/c"_s,
                              u"--profile"_s,
                              profile,
                              u"--report"_s,
                              path(u"report.csv"_s)};
        if (keyOption)
            arguments << u"--google-key"_s << path(u"key.json"_s);
        const Finished result = run(arguments);
        QCOMPARE(result.status, status);
        QCOMPARE(result.out.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(result.out[i].startsWith(u"https://www.example.com/"_s + QChar(u'a' + i) + states[i]),
                     qPrintable(result.out[i]));
        }
        QVERIFY2(result.err.contains(u"URL inspections for https://www.example.com/ used"_s), qPrintable(result.err));
        QFile report(path(u"report.csv"_s));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString reportText = QString::fromUtf8(report.readAll());
        QCOMPARE(reportText.count(u"Google index,https://www.example.com/"_s), 3);
        QCOMPARE(reportText.count(u",OK,200,"_s), 3 - reportText.count(u",ERROR,200,"_s));
        m_produced << reportText;
        HistoryStore history(historyLocation(path(u"history.sqlite"_s)));
        QVERIFY(history.open());
        const QList<PageInspection> kept = history.inspections(u"www.example.com"_s);
        QCOMPARE(kept.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(!kept[i].coverageState.isEmpty() && states[i].contains(kept[i].coverageState),
                     qPrintable(kept[i].coverageState));
    }

    // What cannot be used ends with 2 before any page is inspected.
    void badInput_data() {
        QTest::addColumn<QString>("siteUrl");
        QTest::addColumn<QString>("keyFile"); // in the profile
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("message");
        QTest::newRow("no key") << u"https://www.example.com/"_s << QString() << u"https://www.example.com/a"_s
                                << u"No Google service-account key"_s;
        QTest::newRow("not a key") << u"https://www.example.com/"_s << u"not-a-key.json"_s
                                   << u"https://www.example.com/a"_s << u"is not a Google service-account key"_s;
        QTest::newRow("missing key") << u"https://www.example.com/"_s << u"gone.json"_s
                                     << u"https://www.example.com/a"_s << u"does not exist"_s;
        QTest::newRow("no matching property")
            << u"https://shop.example.net/"_s << u"key.json"_s << u"https://shop.example.net/a"_s
            << u"No Search Console property of the account matches"_s;
        QTest::newRow("bad URL") << u"https://www.example.com/"_s << u"key.json"_s << u"www.example.com/a"_s
                                 << u"is not a page address"_s;
        QTest::newRow("page outside the property") << u"https://www.example.com/"_s << u"key.json"_s
                                                   << u"https://blog.example.com/a"_s << u"is not in the property"_s;
    }
    void badInput() {
        QFETCH(QString, siteUrl);
        QFETCH(QString, keyFile);
        QFETCH(QString, page);
        QFETCH(QString, message);
        const qsizetype before = inspections();
        const Finished result =
            run({u"--inspect"_s, page, u"--profile"_s, writeProfile(u"bad.tvp"_s, siteUrl, keyFile)});
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
        QCOMPARE(inspections(), before);
    }

    // Neither the key nor the token reaches any output or report.
    void noSecrets() {
        QFile history(path(u"history.sqlite"_s));
        QVERIFY(history.open(QIODevice::ReadOnly));
        m_produced << QString::fromLatin1(history.readAll());
        QVERIFY(m_produced.size() > 10);
        const QString keyLine = QString::fromLatin1(m_pem.split('\n').value(1));
        for (const QString& text : std::as_const(m_produced)) {
            QVERIFY(!text.contains(u"ya29.cli-token"_s));
            QVERIFY(!text.contains(keyLine));
            QVERIFY(!text.contains(u"PRIVATE KEY"_s));
        }
    }
};

QTEST_GUILESS_MAIN(TestIndexStatusJob)
#include "test_index_status_job.moc"
