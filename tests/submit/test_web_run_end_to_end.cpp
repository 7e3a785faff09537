// The Submit Now page with the real web view, against an HTTP server on 127.0.0.1.

#include "platform/app_environment.h"
#include "platform/browser_home_files.h"
#include "submit/ui/submit_now_page.h"
#include "submit/ui/web_browser_loader.h"
#include "submit/ui/web_engine_browser.h"

#include "support/fake_browser.h"
#include "support/fake_clock.h"
#include "support/fake_run_inputs.h"
#include "support/local_http_server.h"
#include "support/memory_log.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslKey>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWindow>
#include <algorithm>
#include <memory>

class TestWebRunEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void layout_data();
    void layout();
    void browserReportsTheFinishedPage_data();
    void browserReportsTheFinishedPage();
    void pageCannotStallTheRun_data();
    void pageCannotStallTheRun();
    void runOverFourEngines();
    void runGoesOnThroughHostilePages();
    void eachPageIsJudgedByItsOwnAnswer();
    void pageAroundAFakeBrowser();
    void nothingIsWrittenToHome();
    void webViewMadeWhenFirstNeeded_data();
    void webViewMadeWhenFirstNeeded();
    void missingWebBrowserModule();

private:
    LocalHttpServer m_server;
    MemoryLog m_log;
    FakeRunInputs m_inputs;
    std::unique_ptr<SubmitNowPage> m_page;
};

void TestWebRunEndToEnd::initTestCase() {
    QVERIFY(m_server.listen());
    m_server.setResponse("/thanks", LocalHttpServer::page("Thank you"));
    m_server.setResponse("/missing", LocalHttpServer::page("Not Found", 404));
    m_server.setResponse("/forbidden", LocalHttpServer::page("Forbidden", 403));
    m_server.setResponse("/broken", LocalHttpServer::status(500));
    m_server.setResponse("/busy", LocalHttpServer::page("Server error"));
    m_server.setResponse("/untitled", LocalHttpServer::content("<p>Received.</p>"));
    m_server.setResponse("/empty", LocalHttpServer::content({}));
    // A page that tries to stop the run with dialogs and to open a window of its own.
    m_server.setResponse("/scripted", LocalHttpServer::content("<html><head><title>Loading</title><script>"
                                                               "alert('a'); const answer = prompt('b', 'c');"
                                                               "window.open('/popup');"
                                                               "document.title = confirm('d') ? 'Confirmed' :"
                                                               "  answer === null ? 'Declined' : 'Answered';"
                                                               "</script></head><body></body></html>"));
    m_server.setResponse("/download", LocalHttpServer::content(QByteArray(100000, 'x'),
                                                               "Content-Disposition: attachment; filename=t.bin\r\n"));
    m_server.setResponse("/never", LocalHttpServer::hanging());
    // Pages that try to stop a run, to open windows or to write to disk.
    m_server.setResponse("/alerts", LocalHttpServer::content("<html><head><title>Alerts</title></head><body>"
                                                             "<script>for (;;) alert('Stay here');</script>"
                                                             "</body></html>"));
    m_server.setResponse("/popups", LocalHttpServer::content("<html><head><title>Pop-ups</title></head><body>"
                                                             "<a id='link' href='/popup-link' target='_blank'>x</a>"
                                                             "<script>for (let i = 0; i < 20; ++i)"
                                                             "  window.open('/popup-' + i, 'w' + i);"
                                                             "document.getElementById('link').click();</script>"
                                                             "</body></html>"));
    m_server.setResponse("/loop", LocalHttpServer::redirect("/loop"));
    // 10 MB of text that is parsed but not laid out: laying out 10 MB of visible text takes the
    // engine 10 to 25 seconds here, too long for the shortened page limit.
    QByteArray lines;
    while (lines.size() < 10 * 1024 * 1024)
        lines += "<p>Line " + QByteArray::number(lines.size()) + " of a page that is far too long.</p>\n";
    m_server.setResponse("/big", LocalHttpServer::content("<html><head><title>Big page</title></head><body>"
                                                          "<div hidden>" +
                                                          lines + "</div></body></html>"));
    m_server.setResponse("/no-content", LocalHttpServer::status(204));
    m_server.setResponse("/moved-by-script",
                         LocalHttpServer::content("<html><head><title>Moving</title>"
                                                  "<script>location.replace('/thanks');</script></head></html>"));
    m_server.setResponse("/dropped", LocalHttpServer::dropped());
    m_server.setResponse("/private", {401, "<p>Sign in first</p>", false, "WWW-Authenticate: Basic realm=\"x\"\r\n"});
    m_server.setResponse("/missing-file",
                         {404, "<p>No such file</p>", false, "Content-Disposition: attachment; filename=t.bin\r\n"});
    m_server.setResponse("/long", LocalHttpServer::content("<p>" + QByteArray(700, 'x') + "</p>"));
    // Pages that would keep the next engine from being sent or judged, or send their own again.
    m_server.setResponse("/leave", LocalHttpServer::content("<html><head><title>Leave</title><script>"
                                                            "addEventListener('beforeunload', e => {"
                                                            "  e.preventDefault(); e.returnValue = 'stay'; });"
                                                            "</script></head><body><img src='/never-image'>"
                                                            "</body></html>"));
    m_server.setResponse("/never-image", LocalHttpServer::hanging());
    m_server.setResponse("/unfinished", LocalHttpServer::unfinished("<html><head><title>Endless</title></head>"));
    m_server.setResponse("/refresh", LocalHttpServer::content("<html><head><title>Refresh</title>"
                                                              "<meta http-equiv='refresh' content='0'></head></html>"));
    for (const auto& [path, other] : {std::pair("/ping", "/pong"), std::pair("/pong", "/ping")})
        m_server.setResponse(path, LocalHttpServer::content(QByteArray("<html><head><title>Ping</title></head><body>"
                                                                       "<script>onload = () => setTimeout(() =>"
                                                                       "  location.href = '") +
                                                            other + "', 0);</script></body></html>"));
    m_server.setResponse("/spin", LocalHttpServer::content("<html><head><title>Spin</title></head><body><script>"
                                                           "onload = () => setTimeout(() => { for (;;) {} }, 300);"
                                                           "</script></body></html>"));

    m_page = std::make_unique<SubmitNowPage>(m_log, m_inputs);
    m_page->show();
}

void TestWebRunEndToEnd::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Submit") << "SpeedButton7" << QRect(8, 16, 75, 25) << "Submit";
    QTest::newRow("Stop") << "SpeedButton8" << QRect(88, 16, 75, 25) << "Stop";
    QTest::newRow("Next") << "SpeedButton9" << QRect(168, 16, 75, 25) << "Next";
    QTest::newRow("browser frame") << "GroupBox5" << QRect(8, 44, 361, 237) << "";
    QTest::newRow("browser") << "WebBrowser1" << QRect(8, 16, 345, 209) << "";
    QTest::newRow("progress bar") << "ProgressBar1" << QRect(8, 288, 137, 16) << "";
    QTest::newRow("percentage") << "Label21" << QRect(152, 288, -1, -1) << "0 %";
    QTest::newRow("Time") << "Label29" << QRect(256, 288, -1, -1) << "Time :";
    QTest::newRow("hours") << "Label24" << QRect(304, 288, -1, -1) << "00";
    QTest::newRow("first colon") << "Label25" << QRect(320, 288, -1, -1) << ":";
    QTest::newRow("minutes") << "Label26" << QRect(328, 288, -1, -1) << "00";
    QTest::newRow("second colon") << "Label27" << QRect(344, 288, -1, -1) << ":";
    QTest::newRow("seconds") << "Label28" << QRect(352, 288, -1, -1) << "00";
}

void TestWebRunEndToEnd::layout() {
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, caption);
    QCOMPARE(m_page->objectName(), "GroupBox4");
    QCOMPARE(m_page->size(), QSize(381, 313));
    QVERIFY(m_page->title().isEmpty());

    const auto* widget = m_page->findChild<QWidget*>(name);
    QVERIFY(widget);
    if (place.width() < 0)
        QCOMPARE(widget->pos(), place.topLeft());
    else
        QCOMPARE(widget->geometry(), place);
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->isEnabled(), name == "SpeedButton7");
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        QCOMPARE(label->text(), caption);
    if (const auto* bar = qobject_cast<const QProgressBar*>(widget))
        QCOMPARE(std::tuple(bar->minimum(), bar->maximum(), bar->value()), std::tuple(0, 100, 0));
}

void TestWebRunEndToEnd::browserReportsTheFinishedPage_data() {
    QTcpServer closed; // a port that nobody listens on once this server is gone
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString refused = QString("http://127.0.0.1:%1/").arg(closed.serverPort());
    const QString base = m_server.baseUrl();

    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("loads"); // false: refused before any request
    QTest::addColumn<bool>("failed");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("status");
    QTest::addColumn<NetworkFailure>("failure");
    QTest::addColumn<QString>("text");
    const auto none = NetworkFailure::None;
    QTest::newRow("200 with a title") << base + "/thanks" << true << false << "Thank you" << 200 << none << "Thank you";
    QTest::newRow("404 with a page") << base + "/missing" << true << true << "Not Found" << 404 << none << "Not Found";
    QTest::newRow("403 with a page") << base + "/forbidden" << true << true << "Forbidden" << 403 << none
                                     << "Forbidden";
    QTest::newRow("500 without a body") << base + "/broken" << true << true << "" << 500 << none << "";
    QTest::newRow("200 without a title") << base + "/untitled" << true << false << "" << 200 << none << "Received.";
    QTest::newRow("200 without a body") << base + "/empty" << true << false << "" << 200 << none << "";
    QTest::newRow("long text is cut") << base + "/long" << true << false << "" << 200 << none << QString(500, 'x');
    QTest::newRow("connection refused") << refused << true << true << "" << 0 << NetworkFailure::ConnectionRefused
                                        << "";
    QTest::newRow("local file") << "file:///etc/hostname" << false << true << "" << 0 << NetworkFailure::Other << "";
    QTest::newRow("relative address") << "?name=value" << false << true << "" << 0 << NetworkFailure::Other << "";
    QTest::newRow("download") << base + "/download" << true << false << "" << 200 << none << "";
    QTest::newRow("204 without content") << base + "/no-content" << true << false << "" << 204 << none << "";
    QTest::newRow("404 offered as a file")
        << base + "/missing-file" << true << true << "" << 0 << NetworkFailure::Other << "";
    QTest::newRow("password declined") << base + "/private" << true << true << "" << 401 << none << "Sign in first";
    QTest::newRow("page moving on by script")
        << base + "/moved-by-script" << true << false << "Thank you" << 200 << none << "Thank you";
}

void TestWebRunEndToEnd::browserReportsTheFinishedPage() {
    QFETCH(QString, url);
    QFETCH(bool, loads);
    QFETCH(bool, failed);
    QFETCH(QString, title);
    QFETCH(int, status);
    QFETCH(NetworkFailure, failure);
    QFETCH(QString, text);
    WebEngineBrowser browser;
    browser.show();
    QList<std::pair<qint32, qint32>> progress;
    browser.setProgressHandler([&](qint32 value, qint32 max) { progress.append({value, max}); });

    // A page on display first: what is reported must never be that page's.
    browser.navigate(m_server.baseUrl() + "/busy");
    QTRY_VERIFY_WITH_TIMEOUT(!browser.busy(), 20000);
    QCOMPARE(browser.locationName(), "Server error");
    progress.clear();

    const QByteArray path = QUrl(url).path().toLatin1();
    const auto sent = [&] {
        return std::count_if(m_server.requestLines().cbegin(), m_server.requestLines().cend(),
                             [&](const QByteArray& line) { return line.startsWith("GET " + path + " "); });
    };
    const auto sentBefore = sent();
    browser.navigate(url);
    QCOMPARE(browser.busy(), loads);
    QTRY_VERIFY_WITH_TIMEOUT(!browser.busy(), 20000);
    QCOMPARE(browser.loadFailed(), failed);
    const PageAnswer answer = browser.answer();
    QCOMPARE(answer.httpStatus, status);
    QCOMPARE(answer.failure, failure);
    QCOMPARE(answer.errorText.isEmpty(), failure == NetworkFailure::None);
    QCOMPARE(answer.text, text);
    if (url.startsWith(m_server.baseUrl())) {
        QTest::qWait(100); // time for a request sent again
        QCOMPARE(sent() - sentBefore, 1);
    }
    if (!failed || !title.isEmpty())
        QCOMPARE(browser.locationName(), title);
    else
        QVERIFY(browser.locationName() != "Server error");
    if (loads) {
        QVERIFY(progress.contains(std::pair(100, 100)));
        QCOMPARE(progress.last(), std::pair(-1, 100));
    }
}

void TestWebRunEndToEnd::pageCannotStallTheRun_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("dialogs and a pop-up") << "/scripted"
                                          << "Declined";
    QTest::newRow("download") << "/download"
                              << "";
}

void TestWebRunEndToEnd::pageCannotStallTheRun() {
    QFETCH(QString, path);
    QFETCH(QString, title);
    WebEngineBrowser browser;
    browser.show();
    QList<QWebEngineDownloadRequest::DownloadState> downloads;
    connect(browser.page()->profile(), &QWebEngineProfile::downloadRequested, this,
            [&](QWebEngineDownloadRequest* download) { downloads.append(download->state()); });

    browser.navigate(m_server.baseUrl() + path);
    QTRY_VERIFY_WITH_TIMEOUT(!browser.busy(), 20000);
    QCOMPARE(browser.locationName(), title);
    QTRY_COMPARE(downloads.size(), path == "/download" ? 1 : 0);
    for (const auto state : downloads)
        QCOMPARE(state, QWebEngineDownloadRequest::DownloadCancelled);
    QTest::qWait(200); // time for a pop-up's request to arrive
    QVERIFY(!m_server.requestLines().contains("GET /popup HTTP/1.1"));
}

void TestWebRunEndToEnd::runOverFourEngines() {
    const QString base = m_server.baseUrl();
    const QString userData = "?name=Jos%C3%A9+%26+Co&url=http%3A%2F%2Fexample.org%2F%3Fa%3D1&kw=100%25+pure";
    m_inputs.addEngine("Alpha Search", base + "/thanks" + userData);
    m_inputs.addEngine("Bravo Index", base + "/missing" + userData);
    m_inputs.addEngine("Charlie Directory", base + "/busy" + userData);
    m_inputs.addEngine("Delta Engine", base + "/never" + userData);
    m_page->setTickInterval(50);
    m_page->setPageTimeLimit(3000);
    QSignalSpy pageButtons(m_page.get(), &SubmitNowPage::pageButtonsEnabledChanged);
    const qsizetype requestsBefore = m_server.requestLines().size();

    auto* submit = m_page->findChild<QPushButton*>("SpeedButton7");
    QTest::mouseClick(submit, Qt::LeftButton);
    QVERIFY(!submit->isEnabled());
    QVERIFY(m_page->findChild<QPushButton*>("SpeedButton8")->isEnabled());
    QVERIFY(m_page->findChild<QTimer*>("Timer1")->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(m_log.lines.contains("Done"), 30000);

    QCOMPARE(m_log.lines, (QStringList{"[Engine] Alpha Search...OK", "[Engine] Bravo Index...ERROR",
                                       "[Engine] Charlie Directory...ERROR", "[Engine] Delta Engine...ERROR", "Done"}));
    const QByteArray query = userData.toLatin1();
    QCOMPARE(m_server.requestLines().mid(requestsBefore),
             (QList<QByteArray>{"GET /thanks" + query + " HTTP/1.1", "GET /missing" + query + " HTTP/1.1",
                                "GET /busy" + query + " HTTP/1.1", "GET /never" + query + " HTTP/1.1"}));

    QVERIFY(submit->isEnabled());
    QVERIFY(!m_page->findChild<QPushButton*>("SpeedButton8")->isEnabled());
    QVERIFY(!m_page->findChild<QPushButton*>("SpeedButton9")->isEnabled());
    QVERIFY(!m_page->findChild<QTimer*>("Timer1")->isActive());
    QCOMPARE(pageButtons.size(), 2);
    QCOMPARE(pageButtons.at(0).at(0).toBool(), false);
    QCOMPARE(pageButtons.at(1).at(0).toBool(), true);

    // The browser stays out of the Tab chain, including the widget it renders through.
    auto* browser = m_page->findChild<QWidget*>("WebBrowser1");
    QVERIFY(!(browser->focusPolicy() & Qt::TabFocus));
    QVERIFY(browser->focusProxy());
    QVERIFY(!(browser->focusProxy()->focusPolicy() & Qt::TabFocus));
}

namespace {

// Every file and folder where the browser could write (home with its configuration, cache and
// data folders, the runtime, temporary and working folders; fresh ones, see main()), with sizes.
QStringList listWritableFolders() {
    QStringList listing;
    for (const QString& root :
         {QDir::homePath(), qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(), QDir::currentPath()}) {
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            listing << it.filePath() + " " + QString::number(it.fileInfo().size());
        }
    }
    listing.sort();
    return listing;
}

// The windows on screen other than the page's own.
QStringList otherVisibleWindows(const QWidget* ours) {
    QStringList windows;
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible() && window != ours->windowHandle())
            windows << QString("%1 \"%2\"").arg(window->metaObject()->className(), window->title());
    }
    return windows;
}

} // namespace

// Engines whose pages try to stall the run, to open windows and dialogs or to make the browser
// write a file. Each gets its verdict within the page time limit and the run goes on to "Done",
// with no other window and no file written. The home, cache and working folders of this
// program are fresh temporary folders (see main()).
void TestWebRunEndToEnd::runGoesOnThroughHostilePages() {
    struct Engine {
        QString title;
        QString path;
        QString verdict;
    };
    const QList<Engine> engines{
        {"Endless page", "/never", "ERROR"},         // still loading at the page time limit
        {"Alert loop", "/alerts", "ERROR"},          // the script never ends, so neither does the page
        {"Pop-ups", "/popups", "OK"},                // a page like any other once its windows are refused
        {"Download", "/download", "OK"},             // a 2xx answer; the download is refused
        {"Redirect loop", "/loop", "ERROR"},         // too many redirects: a network error
        {"Big page", "/big", "OK"},                  // 10 MB of HTML
        {"Dropped connection", "/dropped", "ERROR"}, // closed without an answer: a network error
        {"Last engine", "/thanks", "OK"},            // the same site still loads after all of the above
    };
    const QString base = m_server.baseUrl();
    m_inputs.list = {};
    QStringList expected;
    for (const Engine& engine : engines) {
        m_inputs.addEngine(engine.title, base + engine.path + "?site=a");
        expected << "[Engine] " + engine.title + "..." + engine.verdict;
    }
    expected << "Done";
    m_page->setTickInterval(50);
    m_page->setPageTimeLimit(3000);
    QList<QWebEngineDownloadRequest::DownloadState> downloads;
    auto* browser = m_page->findChild<QWebEngineView*>("WebBrowser1");
    QVERIFY(browser);
    connect(browser->page()->profile(), &QWebEngineProfile::downloadRequested, this,
            [&](QWebEngineDownloadRequest* download) { downloads.append(download->state()); });
    const QStringList filesBefore = listWritableFolders();
    QStringList windowsSeen;
    QTimer windowWatch;
    connect(&windowWatch, &QTimer::timeout, this, [&] { windowsSeen << otherVisibleWindows(m_page.get()); });
    windowWatch.start(10);
    const qsizetype requestsBefore = m_server.requestLines().size();

    QTest::mouseClick(m_page->findChild<QPushButton*>("SpeedButton7"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_log.lines.contains("Done"), 60000);
    windowWatch.stop();

    QCOMPARE(m_log.lines, expected);
    QCOMPARE(windowsSeen, QStringList());
    QCOMPARE(downloads, QList{QWebEngineDownloadRequest::DownloadCancelled});
    // One request per engine, in list order, none from a pop-up; the browser gives up on the
    // redirect loop after a bounded number of turns.
    QList<QByteArray> requests = m_server.requestLines().mid(requestsBefore);
    const qsizetype turns = requests.removeAll("GET /loop HTTP/1.1");
    QVERIFY2(turns > 0 && turns <= 20, QByteArray::number(turns));
    QList<QByteArray> engineRequests;
    for (const Engine& engine : engines)
        engineRequests << "GET " + engine.path.toLatin1() + "?site=a HTTP/1.1";
    QCOMPARE(requests, engineRequests);
    QTest::qWait(200); // time for a late write
    QCOMPARE(listWritableFolders(), filesBefore);
}

// Engines whose pages would keep the next engine from being sent or judged, or would send their
// own submission again, each followed by an ordinary page of the same site: every ordinary page
// is judged by its own answer at once, and every submission reaches the server exactly once.
void TestWebRunEndToEnd::eachPageIsJudgedByItsOwnAnswer() {
    struct Engine {
        QString title;
        QString path;
        QString verdict; // empty: left by Next
    };
    const QList<Engine> hostile{
        {"Leave guard", "/leave", "ERROR"}, // asks to stay, still loading at the time limit
        {"Left by Next", "/never", ""},     // abandoned by Next while loading
        {"Endless body", "/unfinished", "ERROR"},
        {"Refresh", "/refresh", "OK"},     // refreshes itself at once
        {"Ping-pong", "/ping", "OK"},      // moves on by script once loaded
        {"Password", "/private", "ERROR"}, // asks for a password
        {"Spinner", "/spin", "OK"},        // a script that runs forever once the page is judged
    };
    const QString base = m_server.baseUrl();
    m_inputs.list = {};
    QStringList expected;
    QList<QByteArray> expectedRequests;
    for (int i = 0; i < hostile.size(); ++i) {
        const Engine& engine = hostile.at(i);
        const QByteArray query = "?engine=" + QByteArray::number(i);
        m_inputs.addEngine(engine.title, base + engine.path + query);
        m_inputs.addEngine("After " + engine.title, base + "/thanks" + query);
        expected << "[Engine] " + engine.title + "..." + engine.verdict << "[Engine] After " + engine.title + "...OK";
        expectedRequests << "GET " + engine.path.toLatin1() + query + " HTTP/1.1"
                         << "GET /thanks" + query + " HTTP/1.1";
    }
    expected << "Done";
    m_page->setTickInterval(50);
    m_page->setPageTimeLimit(3000);
    auto* browser = m_page->findChild<QWebEngineView*>("WebBrowser1");
    const qsizetype requestsBefore = m_server.requestLines().size();

    // Watches the run: clicks into the leave guard's page and presses Next on the endless one,
    // and notes how long each engine took to be judged.
    QElapsedTimer clock;
    clock.start();
    QHash<int, qint64> shown, judged;
    bool clicked = false, pressedNext = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        for (int i = 0; i < m_log.lines.size(); ++i) {
            shown.insert(i, shown.value(i, clock.elapsed()));
            if (!m_log.lines.at(i).endsWith("..."))
                judged.insert(i, judged.value(i, clock.elapsed()));
        }
        const QList<QByteArray> requests = m_server.requestLines().mid(requestsBefore);
        if (!clicked && requests.contains("GET /never-image HTTP/1.1")) {
            clicked = true;
            QTest::mouseClick(browser->focusProxy(), Qt::LeftButton, {}, QPoint(20, 20));
        }
        auto* next = m_page->findChild<QPushButton*>("SpeedButton9");
        if (!pressedNext && next->isEnabled() && requests.contains("GET /never?engine=1 HTTP/1.1")) {
            pressedNext = true;
            QTest::mouseClick(next, Qt::LeftButton);
        }
    });
    watch.start(20);

    QTest::mouseClick(m_page->findChild<QPushButton*>("SpeedButton7"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_log.lines.contains("Done"), 60000);
    watch.stop();

    QCOMPARE(m_log.lines, expected);
    QVERIFY(clicked && pressedNext);
    QList<QByteArray> requests = m_server.requestLines().mid(requestsBefore);
    requests.removeAll("GET /never-image HTTP/1.1");
    QCOMPARE(requests, expectedRequests);
    for (int i = 1; i < expected.size() - 1; i += 2)
        QVERIFY2(judged.value(i) - shown.value(i) < 2000, qPrintable(expected.at(i)));
}

// The web view, and with it the web engine, is made only when the page is first shown or at the
// first Submit, in its place in the browser frame.
void TestWebRunEndToEnd::webViewMadeWhenFirstNeeded_data() {
    QTest::addColumn<bool>("byShowing");
    QTest::newRow("page shown") << true;
    QTest::newRow("Submit on the hidden page") << false;
}

void TestWebRunEndToEnd::webViewMadeWhenFirstNeeded() {
    QFETCH(bool, byShowing);
    MemoryLog log;
    FakeRunInputs inputs;
    inputs.missingFields = {"[Contact Info]  Please enter your company name"}; // Submit refuses at once
    SubmitNowPage page(log, inputs);
    QVERIFY(!page.findChild<QWebEngineView*>());
    if (byShowing)
        page.show();
    else
        page.findChild<QPushButton*>("SpeedButton7")->click();
    const auto* view = page.findChild<QWebEngineView*>("WebBrowser1");
    QVERIFY(view);
    QCOMPARE(view->geometry(), QRect(8, 16, 345, 209));
    QCOMPARE(view->parentWidget()->objectName(), "GroupBox5");
    QCOMPARE(view->isVisibleTo(&page), true);
    QCOMPARE(page.findChildren<QWebEngineView*>().size(), 1); // made once
    if (!byShowing)                                           // the Submit itself went on as before
        QCOMPARE(log.lines.value(0), inputs.missingFields.value(0));
}

// A program installed without its web browser module says where it looked.
void TestWebRunEndToEnd::missingWebBrowserModule() {
    QTemporaryDir empty;
    QString error;
    const WebBrowserParts parts = createWebBrowser(nullptr, error, {empty.path()});
    QVERIFY(!parts.widget && !parts.browser);
    QVERIFY2(error.contains("libtorvane_web.so") && error.contains(empty.path()), qPrintable(error));
}

void TestWebRunEndToEnd::pageAroundAFakeBrowser() {
    FakeBrowser browser;
    FakeClock clock;
    MemoryLog log;
    FakeRunInputs inputs;
    inputs.addEngine("Alpha", "http://alpha.test/");
    inputs.addEngine("Bravo", "http://bravo.test/");
    SubmitNowPage page(log, inputs, browser, clock);
    page.setTickInterval(10);
    page.setPageTimeLimit(3600000);
    auto* next = page.findChild<QPushButton*>("SpeedButton9");
    auto* minutes = page.findChild<QLabel*>("Label26");

    QTest::mouseClick(page.findChild<QPushButton*>("SpeedButton7"), Qt::LeftButton);
    QCOMPARE(browser.navigations, QStringList{"http://alpha.test/"});
    browser.progress(50, 200);
    QCOMPARE(page.findChild<QProgressBar*>("ProgressBar1")->value(), 25);
    QCOMPARE(page.findChild<QLabel*>("Label21")->text(), "25 %");

    QTRY_VERIFY(next->isEnabled()); // the timer ticks
    clock.advance(61000);
    QTRY_COMPARE(minutes->text(), "01");
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(browser.navigations.size(), 2);

    QTest::mouseClick(page.findChild<QPushButton*>("SpeedButton8"), Qt::LeftButton);
    QVERIFY(page.findChild<QPushButton*>("SpeedButton7")->isEnabled());
    QVERIFY(!page.findChild<QTimer*>("Timer1")->isActive());
    QCOMPARE(log.lines, (QStringList{"[Engine] Alpha...", "[Engine] Bravo..."}));
}

namespace {

// Everything in the home folder (which holds the configuration, cache and data folders) and
// the runtime folder, with sizes.
QStringList listHomeFolders() {
    QStringList listing;
    for (const QString& root : {QDir::homePath(), qEnvironmentVariable("XDG_RUNTIME_DIR")}) {
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            listing << it.filePath() +
                           (it.fileInfo().isDir() ? QString() : " " + QString::number(it.fileInfo().size()));
        }
    }
    listing.sort();
    return listing;
}

QStringList homeAtStart; // before the application object existed

} // namespace

// An https page whose certificate is made here, so not trusted: an error, never overridden.
// It also brings the engine's certificate store to life; main() checks afterwards that the
// home folders are as they were before the application started.
void TestWebRunEndToEnd::nothingIsWrittenToHome() {
    QTemporaryDir keys;
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-days", "1",
                              "-keyout", keys.filePath("key.pem"), "-out", keys.filePath("cert.pem")});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        QSKIP("openssl cannot make a certificate here");
    QFile keyFile(keys.filePath("key.pem")), certFile(keys.filePath("cert.pem"));
    QVERIFY(keyFile.open(QIODevice::ReadOnly) && certFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    tls.setLocalCertificate(QSslCertificate(certFile.readAll()));
    LocalHttpServer secure(&tls);
    QVERIFY(secure.listen());

    {
        WebEngineBrowser browser;
        recordWebEngineHomeFiles(&browser); // as the program does with every browser it makes
        browser.show();
        browser.navigate(secure.baseUrl() + "/thanks");
        QTRY_VERIFY_WITH_TIMEOUT(!browser.busy(), 20000);
        QVERIFY(browser.loadFailed());
        QCOMPARE(browser.answer().failure, NetworkFailure::Tls);
    }
    m_page.reset();
    // The rest is checked once the web engine has ended (see main()).
}

int main(int argc, char* argv[]) {
    // Home, configuration, cache, runtime, temporary and working folders of our own, so that
    // the tests can show that the browser writes nothing to any of them.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    for (const char* folder : {"home", "home/.config", "home/.cache", "home/.local/share", "runtime", "tmp", "work"})
        QDir(scratch.path()).mkpath(folder);
    QFile::setPermissions(scratch.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", scratch.filePath("home").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", scratch.filePath("home/.config").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", scratch.filePath("home/.cache").toLocal8Bit());
    qputenv("XDG_DATA_HOME", scratch.filePath("home/.local/share").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", scratch.filePath("runtime").toLocal8Bit());
    qputenv("TMPDIR", scratch.filePath("tmp").toLocal8Bit());
    QDir::setCurrent(scratch.filePath("work"));

    // As in the program, and no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    homeAtStart = listHomeFolders();
    prepareApplicationEnvironment();
    int result = 0;
    {
        QApplication app(argc, argv);
        TestWebRunEndToEnd test;
        result = QTest::qExec(&test, argc, argv);
    }
    // Nothing is left in the home folders once the engine has ended.
    tidyWebEngineHomeFiles();
    const QStringList homeAtEnd = listHomeFolders();
    if (homeAtEnd != homeAtStart) {
        qWarning("Left in the home folders:\n%s", qPrintable(homeAtEnd.join('\n')));
        return 1;
    }
    return result;
}

#include "test_web_run_end_to_end.moc"
