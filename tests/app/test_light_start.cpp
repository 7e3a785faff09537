// The window starts without OpenGL: the context the web view draws through, and with it the
// OpenGL driver, comes only when the Submit Now page first shows the web view, and pages are
// drawn in it. Like the program, this test program is not linked with the web engine: the engine
// comes with its module, loaded at run time.

#include "app/about_box.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/test_window.h"
#include "platform/app_environment.h"

#include "support/local_http_server.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMovie>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <functional>
#include <memory>

namespace {

// The OpenGL drivers mapped into this process: the vendor libraries behind libGL and libEGL,
// the DRI drivers and the LLVM they compile shaders with.
QStringList openGlDrivers() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("/proc/self/maps unreadable")};
    QStringList drivers;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QString name = QString::fromLocal8Bit(line.mid(line.lastIndexOf('/') + 1));
        if ((name.startsWith(QLatin1String("libGLX_")) || name.startsWith(QLatin1String("libEGL_")) ||
             name.contains(QLatin1String("_dri.so")) || name.startsWith(QLatin1String("libLLVM"))) &&
            !drivers.contains(name))
            drivers.append(name);
    }
    return drivers;
}

// Calls a function at the first exposure of a window.
class FirstExposure : public QObject {
public:
    explicit FirstExposure(std::function<void()> then) : m_then(std::move(then)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed() && m_then) {
            m_then();
            m_then = nullptr;
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

bool near(QRgb actual, QRgb expected) {
    return qAbs(qRed(actual) - qRed(expected)) <= 2 && qAbs(qGreen(actual) - qGreen(expected)) <= 2 &&
           qAbs(qBlue(actual) - qBlue(expected)) <= 2;
}

constexpr QRgb kBlock = qRgb(0x20, 0x50, 0xc0);
constexpr QRgb kBackground = qRgb(0xe0, 0xa0, 0x30);

} // namespace

class TestLightStart : public QObject {
    Q_OBJECT

private slots:
    void windowStartsWithoutOpenGL();
    void pageIsDrawnInTheWebView_data();
    void pageIsDrawnInTheWebView();

private:
    QTemporaryDir m_dir; // the working folder: no catalogue
    LocalHttpServer m_server;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm3> m_form3;
};

void TestLightStart::windowStartsWithoutOpenGL() {
    QVERIFY(QDir::setCurrent(m_dir.path()));
    applyWindowLook();
    m_form1 = std::make_unique<TForm1>();
    m_form2 = std::make_unique<TForm2>();
    m_form3 = std::make_unique<TForm3>();
    m_form1->setCompanionWindows(m_form2.get(), m_form3.get());
    // The hidden Special Offer page's animation is not decoded before the first frame.
    int animationsAtFirstFrame = -1;
    FirstExposure firstExposure([&] { animationsAtFirstFrame = int(m_form1->findChildren<QMovie*>().size()); });
    m_form1->winId();
    m_form1->windowHandle()->installEventFilter(&firstExposure);
    m_form1->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form1.get()));
    QTest::qWait(200); // the first frames drawn
    QVERIFY(!QOpenGLContext::globalShareContext());
    QCOMPARE(openGlDrivers(), QStringList());
    QCOMPARE(animationsAtFirstFrame, 0);
    // Made right after it, and animating without being shown.
    auto* animator = m_form1->findChild<QLabel*>(QStringLiteral("RxGIFAnimator1"));
    QVERIFY(animator && animator->movie());
    QCOMPARE(animator->movie()->state(), QMovie::Running);
    QVERIFY(!animator->isVisible());
}

void TestLightStart::pageIsDrawnInTheWebView_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("web view") << "view";
    QTest::newRow("window") << "window";
}

void TestLightStart::pageIsDrawnInTheWebView() {
    QFETCH(QString, what);
    QVERIFY(m_form1);
    auto* view = m_form1->findChild<QWidget*>(QStringLiteral("WebBrowser1"));
    if (!view) { // the first row: the page is shown, and the view made
        m_form1->findChild<QAbstractButton*>(QStringLiteral("SpeedButton4"))->click();
        view = m_form1->findChild<QWidget*>(QStringLiteral("WebBrowser1"));
        QVERIFY(view && view->inherits("QWebEngineView"));
        QVERIFY(QOpenGLContext::globalShareContext());
        // On a display with OpenGL the engine draws through it (elsewhere in software).
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            QVERIFY(QOpenGLContext::globalShareContext()->isValid());
        QVERIFY(m_server.listen());
        m_server.setResponse("/colours", LocalHttpServer::content("<html><body style='margin:0;background:#e0a030'>"
                                                                  "<div style='width:120px;height:80px;"
                                                                  "background:#2050c0'></div></body></html>"));
        view->setProperty("url", QUrl(m_server.baseUrl() + QStringLiteral("/colours")));
    }
    const QPoint inBlock(60, 40);
    const QPoint outside(250, 150);
    const auto grab = [&] {
        return what == QLatin1String("view") ? view->grab().toImage() : m_form1->grab().toImage();
    };
    const QPoint offset = what == QLatin1String("view") ? QPoint() : view->mapTo(m_form1.get(), QPoint());
    QTRY_VERIFY_WITH_TIMEOUT(near(grab().pixel(offset + inBlock), kBlock), 20000);
    const QImage image = grab();
    QVERIFY2(near(image.pixel(offset + outside), kBackground),
             qPrintable(QString::number(image.pixel(offset + outside), 16)));
    QVERIFY(near(image.pixel(offset + QPoint(119, 79)), kBlock));
    QVERIFY(near(image.pixel(offset + QPoint(121, 81)), kBackground));
}

int main(int argc, char* argv[]) {
    prepareApplicationEnvironment();
    QApplication app(argc, argv);
    TestLightStart test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_light_start.moc"
