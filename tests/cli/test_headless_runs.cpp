// The torvane program run from scripts (--submit, --announce, --check-key), against an HTTP
// server on 127.0.0.1: what it prints, its exit status and its report.

#include "support/local_http_server.h"
#include "support/program_run.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kProcessTimeoutMs = 120000;
const QString kKey = u"0123456789abcdef"_s;

struct Finished {
    int status = -1;
    QStringList out;
    QString err;
};

} // namespace

class TestHeadlessRuns : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void badInput_data();
    void badInput();
    void helpListsEveryOption();
    void withoutDisplay_data();
    void withoutDisplay();
    void submitRun();
    void submitInterrupted();
    void announce();
    void checkKey_data();
    void checkKey();

private:
    // Writes a profile with every required field, the given engines chosen and, for the IndexNow
    // engines among them, key as their option.
    QString writeProfile(const QString& name, const QStringList& chosen, const QString& siteUrl,
                         const QString& key = kKey);
    void start(QProcess& process, const QStringList& arguments);
    Finished run(const QStringList& arguments);
    QString path(const QString& name) const { return m_dir.filePath(name); }

    LocalHttpServer m_server;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment(); // the program's
    QTemporaryDir m_dir;
    QString m_catalogue;
};

void TestHeadlessRuns::initTestCase() {
    QVERIFY(m_server.listen());
    QVERIFY(m_dir.isValid());
    m_environment.insert(u"TORVANE_HISTORY"_s, path(u"history.sqlite"_s));
    m_server.setResponse("/ok", LocalHttpServer::page("Thank you"));
    m_server.setResponse("/missing", LocalHttpServer::page("Not Found", 404));
    m_server.setResponse("/busy", LocalHttpServer::page("Server busy"));
    m_server.setResponse("/never", LocalHttpServer::hanging());
    m_server.setResponse("/indexnow", LocalHttpServer::status(202));
    m_server.setResponse("/" + kKey.toUtf8() + ".txt", LocalHttpServer::content(kKey.toUtf8() + "\n"));
    m_server.setResponse("/fedcba9876543210.txt", LocalHttpServer::status(404));
    m_server.setResponse(
        "/sitemap.xml",
        LocalHttpServer::content("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                                 "<url><loc>https://www.example.com/new</loc><lastmod>2026-12-01</lastmod></url>\n"
                                 "<url><loc>https://www.example.com/old</loc><lastmod>2026-01-01</lastmod></url>\n"
                                 "</urlset>\n"));

    const QString base = m_server.baseUrl();
    const QList<QPair<QString, QString>> engines{
        {u"Alpha Directory"_s, u"/ok"_s},        {u"Beta Search"_s, u"/missing"_s},
        {u"Gamma Index"_s, u"/busy"_s},          {u"Delta Slow"_s, u"/never"_s},
        {u"IndexNow - Local"_s, u"/indexnow"_s}, {u"IndexNow - Other"_s, u"/other"_s}};
    QString text = u"[Engine]\nAmount=%1\n"_s.arg(engines.size());
    for (int i = 0; i < engines.size(); ++i)
        text += u"Title%1=%2\n"_s.arg(QString::number(i + 1), engines[i].first);
    for (const auto& [title, page] : engines) {
        text += u"[%1]\nUrl=%2%3\nvar=1\nvar1=url\nvar_value1=VAR16\n"_s.arg(title, base, page);
        if (title.startsWith("IndexNow"_L1))
            text += u"Shares=IndexNow\nOption=1\nOption_Title1=IndexNow key\nError1=Key?\nItem1=0\nValue1=0\n"_s;
    }
    m_catalogue = path(u"Engine.dat"_s);
    QFile file(m_catalogue);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

QString TestHeadlessRuns::writeProfile(const QString& name, const QStringList& chosen, const QString& siteUrl,
                                       const QString& key) {
    QString text =
        u"[Contact Info]\nCompany=Example Co\nEmail=me@example.com\nFirst_Name=Ann\nLast_Name=Lee\n"
        u"Street=1 Main St\nCity=Springfield\nState=IL\nZip=62701\nCountry=United States\n"
        u"Country_ID=US\nPhone=555-0100\nPassword=secret\n"
        u"[Site Info]\nSite_Title=Example\nSite_URL=%1\nKeyword1=example\nDescription=An example.\n"_s.arg(siteUrl);
    for (const QString& title : chosen) {
        text += u"[%1]\nSelected=1\n"_s.arg(title);
        if (title.startsWith("IndexNow"_L1))
            text += u"Option1=%1\nOptVal1=%1\n"_s.arg(key);
    }
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(text.toUtf8());
    return file.fileName();
}

void TestHeadlessRuns::start(QProcess& process, const QStringList& arguments) {
    process.setWorkingDirectory(m_dir.path());
    process.setProcessEnvironment(m_environment);
    process.start(QStringLiteral(TORVANE_PROGRAM), arguments);
}

Finished TestHeadlessRuns::run(const QStringList& arguments) {
    QProcess process;
    start(process, arguments);
    const ProgramRun run = waitForProgram(process, kProcessTimeoutMs);
    return {run.status, run.out.split(u'\n', Qt::SkipEmptyParts), run.err};
}

void TestHeadlessRuns::badInput_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString complete = writeProfile(u"complete.tvp"_s, {u"Alpha Directory"_s}, u"https://www.example.com/"_s);
    QFile incomplete(writeProfile(u"incomplete.tvp"_s, {u"Alpha Directory"_s}, u"https://www.example.com/"_s));
    QVERIFY(incomplete.open(QIODevice::ReadWrite));
    const QByteArray text = incomplete.readAll().replace("Company=Example Co\n", "");
    QVERIFY(incomplete.resize(0));
    incomplete.write(text);
    incomplete.close();

    QTest::newRow("option error") << QStringList{u"--submit"_s} << u"torvane: Missing value after '--submit'."_s;
    QTest::newRow("missing profile") << QStringList{u"--submit"_s, path(u"none.tvp"_s), u"--catalogue"_s, m_catalogue}
                                     << u"The profile %1 does not exist"_s.arg(path(u"none.tvp"_s));
    QTest::newRow("control characters escaped")
        << QStringList{u"--submit"_s, path(u"esc\x1b[2J.tvp"_s), u"--catalogue"_s, m_catalogue}
        << u"esc\\x1b[2J.tvp does not exist"_s;
    QTest::newRow("missing catalogue") << QStringList{u"--submit"_s, complete, u"--catalogue"_s, path(u"no.dat"_s)}
                                       << u"The catalogue %1 does not exist"_s.arg(path(u"no.dat"_s));
    QTest::newRow("incomplete profile") << QStringList{u"--submit"_s, incomplete.fileName(), u"--catalogue"_s,
                                                       m_catalogue}
                                        << u"[Contact Info]  Please enter your company name"_s;
    QTest::newRow("no engine chosen") << QStringList{u"--submit"_s,
                                                     writeProfile(u"none-chosen.tvp"_s, {},
                                                                  u"https://www.example.com/"_s),
                                                     u"--catalogue"_s, m_catalogue}
                                      << u"[Engine Data] Please select the engine"_s;
    QTest::newRow("no IndexNow engine") << QStringList{u"--announce"_s, path(u"pages.txt"_s), u"--profile"_s,
                                                       complete,        u"--catalogue"_s,     m_catalogue}
                                        << u"No IndexNow engine with a key is in the current list"_s;
    QTest::newRow("invalid key") << QStringList{u"--check-key"_s, u"--profile"_s,
                                                writeProfile(u"bad-key.tvp"_s, {u"IndexNow - Local"_s},
                                                             u"https://www.example.com/"_s, u"short"_s),
                                                u"--catalogue"_s, m_catalogue}
                                 << u"The key is too short"_s;
    QTest::newRow("missing source")
        << QStringList{u"--announce"_s,
                       path(u"absent.txt"_s),
                       u"--profile"_s,
                       writeProfile(u"indexnow.tvp"_s, {u"IndexNow - Local"_s}, u"https://www.example.com/"_s),
                       u"--catalogue"_s,
                       m_catalogue}
        << u"The source %1 does not exist."_s.arg(path(u"absent.txt"_s));

    // A report never replaces what the job reads, and a report that cannot be written costs no
    // request.
    const QString announcing = writeProfile(u"reporting.tvp"_s, {u"IndexNow - Local"_s}, m_server.baseUrl() + u'/');
    QFile source(path(u"source.csv"_s));
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(m_server.baseUrl().toUtf8() + "/page\n");
    source.close();
    QVERIFY(QFile::link(m_catalogue, path(u"catalogue-link.csv"_s)));
    QCOMPARE(::link(QFile::encodeName(source.fileName()).constData(),
                    QFile::encodeName(path(u"source-link.json"_s)).constData()),
             0);
    const QStringList announce{u"--announce"_s,  source.fileName(), u"--profile"_s, announcing,
                               u"--catalogue"_s, m_catalogue,       u"--report"_s};
    QTest::newRow("report is the profile")
        << QStringList{u"--submit"_s, complete, u"--catalogue"_s, m_catalogue, u"--report"_s, complete}
        << u"--report: the report's name must end in .json or .csv"_s;
    QTest::newRow("report links to the catalogue")
        << announce + QStringList{path(u"catalogue-link.csv"_s)} << u"is the catalogue; the report would replace it."_s;
    QTest::newRow("report is a source") << announce + QStringList{source.fileName()}
                                        << u"is a source of the job; the report would replace it."_s;
    QTest::newRow("report is a hard link to a source") << announce + QStringList{path(u"source-link.json"_s)}
                                                       << u"is a source of the job; the report would replace it."_s;
    QTest::newRow("report in a missing folder")
        << announce + QStringList{path(u"missing/report.json"_s)} << u"does not exist."_s;
}

void TestHeadlessRuns::badInput() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const auto files = [this] {
        QStringList contents;
        for (const QFileInfo& info : QDir(m_dir.path()).entryInfoList(QDir::Files, QDir::Name)) {
            QFile file(info.filePath());
            contents << info.fileName() + u'=' +
                            QString::fromLatin1(file.open(QIODevice::ReadOnly) ? file.readAll() : "");
        }
        return contents;
    };
    const qsizetype requests = m_server.requestLines().size();
    const QStringList before = files();
    const Finished result = run(arguments);
    QCOMPARE(result.status, 2);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QCOMPARE(m_server.requestLines().size(), requests); // nothing was sent
    QCOMPARE(files(), before);                          // nothing was written
}

void TestHeadlessRuns::helpListsEveryOption() {
    const Finished result = run({u"--help"_s});
    QCOMPARE(result.status, 0);
    const QString help = result.out.join(u'\n');
    for (const char* option : {"--submit", "--announce", "--check-key", "--profile", "--catalogue", "--report",
                               "--since", "--all-shared", "--no-key-check", "--quiet", "--help", "--version"})
        QVERIFY2(help.contains(QLatin1StringView(option)), option);
}

// Without a display the window cannot open: one line says so, and the jobs still run.
void TestHeadlessRuns::withoutDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM; empty: unset
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // standard error, or the start of standard output

    const QString noDisplay = u"Torvane's window needs a display; see torvane --help for running without one.\n"_s;
    QTest::newRow("the window") << QStringList{} << QString() << 2 << noDisplay;
    QTest::newRow("the window on xcb") << QStringList{} << u"xcb"_s << 2 << noDisplay;
    QTest::newRow("a file to open") << QStringList{m_catalogue} << QString() << 2 << noDisplay;
    QTest::newRow("misspelt job") << QStringList{u"--sumbit"_s, u"x"_s} << QString() << 2
                                  << u"torvane: Unknown option --sumbit; did you mean --submit?\n"
                                     u"Run 'torvane --help' for the options.\n"_s;
    QTest::newRow("-help") << QStringList{u"-help"_s} << QString() << 0 << u"Usage: "_s;
}

void TestHeadlessRuns::withoutDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, platform);
    QFETCH(int, status);
    QFETCH(QString, message);

    const QProcessEnvironment kept = m_environment;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        m_environment.remove(QLatin1StringView(name));
    if (!platform.isEmpty())
        m_environment.insert(u"QT_QPA_PLATFORM"_s, platform);
    const Finished result = run(arguments);
    m_environment = kept;
    QCOMPARE(result.status, status);
    if (status == 0)
        QVERIFY2(result.out.value(0).startsWith(message), qPrintable(result.out.value(0)));
    else
        QCOMPARE(result.err, message);
}

void TestHeadlessRuns::submitRun() {
    const QString profile = writeProfile(u"three.tvp"_s, {u"Gamma Index"_s, u"Alpha Directory"_s, u"Beta Search"_s},
                                         u"https://www.example.com/"_s);
    const QString report = path(u"three.json"_s);
    const Finished result = run({u"--submit"_s, profile, u"--catalogue"_s, m_catalogue, u"--report"_s, report});
    QCOMPARE(result.status, 1);
    QCOMPARE(result.out,
             (QStringList{u"[Engine] Alpha Directory...OK"_s, result.out.value(1), u"[Engine] Beta Search...ERROR"_s,
                          result.out.value(3), u"[Engine] Gamma Index...ERROR"_s, result.out.value(5), u"Done"_s}));
    QVERIFY2(result.out.value(3).startsWith(u"    HTTP 404: "_s), qPrintable(result.out.value(3)));
    QVERIFY2(result.out.value(5).startsWith(u"    HTTP 200: "_s), qPrintable(result.out.value(5)));

    QFile file(report);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(json.value("profile"_L1).toString(), profile);
    const QJsonArray engines = json.value("engines"_L1).toArray();
    QCOMPARE(engines.size(), 3);
    const QStringList titles{u"Alpha Directory"_s, u"Beta Search"_s, u"Gamma Index"_s};
    const QStringList verdicts{u"OK"_s, u"ERROR"_s, u"ERROR"_s};
    const QList<int> statuses{200, 404, 200};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject engine = engines.at(i).toObject();
        QCOMPARE(engine.value("title"_L1).toString(), titles[i]);
        QCOMPARE(engine.value("verdict"_L1).toString(), verdicts[i]);
        QCOMPARE(engine.value("status"_L1).toInt(), statuses[i]);
        QVERIFY(engine.value("url"_L1).toString().startsWith(m_server.baseUrl()));
    }
}

void TestHeadlessRuns::submitInterrupted() {
    const QString profile = writeProfile(u"slow.tvp"_s, {u"Alpha Directory"_s, u"Delta Slow"_s, u"Gamma Index"_s},
                                         u"https://www.example.com/"_s);
    const QString report = path(u"slow.json"_s);
    QProcess process;
    start(process, {u"--submit"_s, profile, u"--catalogue"_s, m_catalogue, u"--report"_s, report, u"--quiet"_s});
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("[Engine] Alpha Directory...OK\n"),
                             kProcessTimeoutMs);
    // Delta Slow's page never comes: the run is in the middle of it.
    QTRY_VERIFY(m_server.requestLines().constLast().startsWith("GET /never"));
    process.terminate();
    QVERIFY(process.waitForFinished(kProcessTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 3);
    out += process.readAllStandardOutput();
    QCOMPARE(QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts),
             (QStringList{u"[Engine] Alpha Directory...OK"_s, u"[Engine] Delta Slow...SKIPPED"_s,
                          u"[Engine] Gamma Index...SKIPPED"_s}));

    QFile file(report);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonArray engines = QJsonDocument::fromJson(file.readAll()).object().value("engines"_L1).toArray();
    QStringList verdicts;
    for (const QJsonValue& engine : engines)
        verdicts.append(engine.toObject().value("verdict"_L1).toString());
    QCOMPARE(verdicts, (QStringList{u"OK"_s, u"SKIPPED"_s, u"SKIPPED"_s}));
}

void TestHeadlessRuns::announce() {
    const QString profile =
        writeProfile(u"announce.tvp"_s, {u"IndexNow - Local"_s, u"IndexNow - Other"_s}, u"https://www.example.com/"_s);
    QFile list(path(u"pages.txt"_s));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("# pages without a date\nhttps://www.example.com/\nhttps://www.example.com/new\nnot an address\n");
    list.close();
    const qsizetype posts = m_server.requestBodies().size();
    const Finished result = run({u"--announce"_s, list.fileName(), m_server.baseUrl() + u"/sitemap.xml"_s,
                                 u"--profile"_s, profile, u"--catalogue"_s, m_catalogue, u"--since"_s, u"2026-06-01"_s,
                                 u"--report"_s, path(u"announce.csv"_s), u"--no-key-check"_s});
    QCOMPARE(result.status, 0);
    QVERIFY2(result.out.contains(u"[Engine] IndexNow - Local (2 addresses)...OK"_s),
             qPrintable(result.out.join(u'\n')));
    QCOMPARE(result.out.constLast(), u"Done"_s);
    QVERIFY2(result.err.contains(u"Refused not an address"_s), qPrintable(result.err));

    // One engine of the shared group stands for it; the old page is left out, the duplicate sent once.
    QCOMPARE(m_server.requestLines().constLast(), QByteArray("POST /indexnow HTTP/1.1"));
    QCOMPARE(m_server.requestBodies().size(), posts + 2); // the sitemap's GET, then the POST
    QCOMPARE(m_server.requestBodies().constLast(),
             QByteArray("{\"host\":\"www.example.com\",\"key\":\"0123456789abcdef\",\"urlList\":"
                        "[\"https://www.example.com/\",\"https://www.example.com/new\"]}"));
    QVERIFY(QFile::exists(path(u"announce.csv"_s)));
}

void TestHeadlessRuns::checkKey_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("sentence");

    QTest::newRow("file holds the key") << kKey << 0 << u"was found and holds the key."_s;
    QTest::newRow("no such file") << u"fedcba9876543210"_s << 1
                                  << u"was not found: the site answered with status 404."_s;
}

void TestHeadlessRuns::checkKey() {
    QFETCH(QString, key);
    QFETCH(int, status);
    QFETCH(QString, sentence);

    const QString profile = writeProfile(u"key.tvp"_s, {u"IndexNow - Local"_s}, m_server.baseUrl() + u'/', key);
    const Finished result = run({u"--check-key"_s, u"--profile"_s, profile, u"--catalogue"_s, m_catalogue});
    QCOMPARE(result.status, status);
    QCOMPARE(result.out.size(), 1);
    QVERIFY2(result.out.constFirst().contains(sentence), qPrintable(result.out.constFirst()));
}

QTEST_GUILESS_MAIN(TestHeadlessRuns)
#include "test_headless_runs.moc"
