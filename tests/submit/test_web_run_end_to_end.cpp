// The Submit Now page with the real web view, against an HTTP server on 127.0.0.1.

#include "submit/ui/submit_now_page.h"
#include "submit/ui/web_engine_browser.h"

#include "support/fake_browser.h"
#include "support/fake_clock.h"
#include "support/fake_run_inputs.h"
#include "support/local_http_server.h"
#include "support/memory_log.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <memory>
#include <unistd.h>

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
    void pageAroundAFakeBrowser();

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
    QTest::newRow("200 with a title") << base + "/thanks" << true << false << "Thank you";
    QTest::newRow("404 with a page") << base + "/missing" << true << true << "Not Found";
    QTest::newRow("403 with a page") << base + "/forbidden" << true << true << "Forbidden";
    QTest::newRow("500 without a body") << base + "/broken" << true << true << "";
    QTest::newRow("200 without a title") << base + "/untitled" << true << false << "";
    QTest::newRow("200 without a body") << base + "/empty" << true << false << "";
    QTest::newRow("connection refused") << refused << true << true << "";
    QTest::newRow("local file") << "file:///etc/hostname" << false << true << "";
    QTest::newRow("relative address") << "?name=value" << false << true << "";
}

void TestWebRunEndToEnd::browserReportsTheFinishedPage() {
    QFETCH(QString, url);
    QFETCH(bool, loads);
    QFETCH(bool, failed);
    QFETCH(QString, title);
    WebEngineBrowser browser;
    browser.show();
    QList<std::pair<qint32, qint32>> progress;
    browser.setProgressHandler([&](qint32 value, qint32 max) { progress.append({value, max}); });

    browser.navigate(url);
    QCOMPARE(browser.busy(), loads);
    QTRY_VERIFY_WITH_TIMEOUT(!browser.busy(), 20000);
    QCOMPARE(browser.loadFailed(), failed);
    if (!failed || !title.isEmpty())
        QCOMPARE(browser.locationName(), title);
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

int main(int argc, char* argv[]) {
    // As in the program: shared OpenGL contexts before the application exists, no display
    // needed, and no sandbox when running as root (the web engine refuses it there).
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    TestWebRunEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_web_run_end_to_end.moc"
