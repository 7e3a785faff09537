#include "app/about_box.h"
#include "app/app_config.h"
#include "app/offer_page.h"
#include "app/test_window.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QMovie>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// Stands in for the desktop's browser and mail program: records the addresses it is asked to open.
class AddressCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& address) { opened.append(address); }
};

class TestAboutAndOffer : public QObject {
    Q_OBJECT

    AddressCatcher catcher;

    // The three windows and pages, created once as at start-up.
    TForm3* about = nullptr;
    TForm2* test = nullptr;
    OfferPage* offer = nullptr;

    QWidget* windowNamed(const QString& name) {
        if (name == QLatin1String("about"))
            return about;
        if (name == QLatin1String("test"))
            return test;
        return offer;
    }

private slots:
    void initTestCase() {
        // The main program's font for its windows: the look-alike of an 8-point system font.
        QFont font(QStringLiteral("MS Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(11);
        QApplication::setFont(font);

        for (const char* scheme : {"https", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "open");

        about = new TForm3;
        test = new TForm2;
        offer = new OfferPage;
    }

    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        delete about;
        delete test;
        delete offer;
    }

    void init() { catcher.opened.clear(); }

    void aboutBoxReturnsControlToItsOpener() {
        // The main window's wiring for Help > About.
        QWidget opener;
        opener.show();
        connect(about, &TForm3::closed, &opener, [&opener] { opener.setEnabled(true); });
        QSignalSpy closed(about, &TForm3::closed);

        for (int opening = 1; opening <= 2; ++opening) {
            opener.setEnabled(false);
            about->showBox();
            QVERIFY(about->isVisible());
            QCOMPARE(about->pos(), QPoint(278, 151));
            QVERIFY(!opener.isEnabled());

            about->move(20, 30); // the user drags it away; the next opening puts it back
            QVERIFY(about->close());
            QVERIFY(!about->isVisible());
            QVERIFY(opener.isEnabled());
            QCOMPARE(closed.count(), opening);
        }
    }

    void aboutBoxIsFixed() {
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QCOMPARE(about->minimumSize(), QSize(312, 202));
        QCOMPARE(about->maximumSize(), QSize(312, 202));
        const Qt::WindowFlags flags = about->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    }

    void linksOpenTheirAddresses_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QUrl>("address");
        const QUrl offer1(AppConfig::offer1Address);
        const QUrl offer2(AppConfig::offer2Address);
        QVERIFY(offer1 != offer2);
        QTest::newRow("about e-mail") << "about"
                                      << "Label4" << QUrl(QStringLiteral("mailto:") + AppConfig::contactEmail);
        QTest::newRow("about home page") << "about"
                                         << "Label5" << QUrl(AppConfig::homePage);
        QTest::newRow("offer 1 picture") << "offer"
                                         << "RxGIFAnimator1" << offer1;
        QTest::newRow("offer 1 link") << "offer"
                                      << "Label32" << offer1;
        QTest::newRow("offer 2 banner") << "offer"
                                        << "Image1" << offer2;
        QTest::newRow("offer 2 link") << "offer"
                                      << "Label30" << offer2;
    }
    void linksOpenTheirAddresses() {
        QFETCH(QString, form);
        QFETCH(QString, control);
        QFETCH(QUrl, address);
        auto* label = windowNamed(form)->findChild<QLabel*>(control);
        QVERIFY(label);
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);

        QTest::mouseClick(label, Qt::RightButton);
        QVERIFY(catcher.opened.isEmpty());
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(catcher.opened, QList<QUrl>{address});
    }

    void animationRunsFromItsThirdFrame() {
        // A fresh page, never shown: the animation starts at once, at frame 3 (index 2).
        OfferPage page;
        auto* animator = page.findChild<QLabel*>(QStringLiteral("RxGIFAnimator1"));
        QVERIFY(animator && animator->movie());
        QMovie* movie = animator->movie();
        QCOMPARE(movie->state(), QMovie::Running);
        QCOMPARE(movie->currentFrameNumber(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(movie->currentFrameNumber(), 3, 3000);
        QVERIFY(!page.isVisible());
    }

    void animationHasEightFramesOfHalfASecondOrASecond() {
        // The delays as the file stores them: QMovie's own figure takes off the time spent
        // decoding, which a loaded machine makes visible.
        QImageReader reader(QStringLiteral(":/offer/animation.gif"));
        QVERIFY(reader.canRead());
        QCOMPARE(reader.imageCount(), 8);
        for (int frame = 0; frame < 8; ++frame) {
            QCOMPARE(reader.read().size(), QSize(125, 125));
            QVERIFY2(reader.nextImageDelay() == 500 || reader.nextImageDelay() == 1000,
                     qPrintable(QString::number(reader.nextImageDelay())));
        }
    }

    void testWindowShowsOnlyItsLatestFill() {
        auto* memo = test->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
        QVERIFY(memo);
        QVERIFY(memo->isReadOnly());
        QCOMPARE(memo->document()->blockCount(), 1);
        QCOMPARE(memo->toPlainText(), QString());

        test->clearText();
        test->appendLine(QStringLiteral("http://first.example/add?url=a"));
        test->showWindow();
        QVERIFY(test->isVisible());
        QTest::mouseClick(test->findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
        QVERIFY(!test->isVisible());

        test->clearText();
        test->appendLine(QStringLiteral("http://second.example/add?url=b"));
        QCOMPARE(memo->toPlainText(), QStringLiteral("http://second.example/add?url=b"));
    }

    void controlsAtTheirPlaces_data() {
        // An empty size means the control takes its text's size.
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("place");
        QTest::newRow("RxLabel1") << "about"
                                  << "RxLabel1" << QRect(16, 16, 225, 32);
        QTest::newRow("about Image1") << "about"
                                      << "Image1" << QRect(272, 16, 32, 32);
        QTest::newRow("Label1") << "about"
                                << "Label1" << QRect(8, 112, 0, 0);
        QTest::newRow("about GroupBox1") << "about"
                                         << "GroupBox1" << QRect(8, 128, 297, 7);
        QTest::newRow("Label6") << "about"
                                << "Label6" << QRect(8, 144, 0, 0);
        QTest::newRow("Label2") << "about"
                                << "Label2" << QRect(8, 160, 0, 0);
        QTest::newRow("Label3") << "about"
                                << "Label3" << QRect(8, 176, 0, 0);
        QTest::newRow("Memo1") << "test"
                               << "Memo1" << QRect(8, 8, 393, 201);
        QTest::newRow("Button1") << "test"
                                 << "Button1" << QRect(326, 216, 75, 25);
        QTest::newRow("Label23") << "offer"
                                 << "Label23" << QRect(15, 20, 294, 13);
        QTest::newRow("RxGIFAnimator1") << "offer"
                                        << "RxGIFAnimator1" << QRect(16, 56, 125, 125);
        QTest::newRow("Label31") << "offer"
                                 << "Label31" << QRect(150, 56, 225, 117);
        QTest::newRow("Label32") << "offer"
                                 << "Label32" << QRect(282, 200, 0, 0);
        QTest::newRow("GroupBox7") << "offer"
                                   << "GroupBox7" << QRect(16, 216, 353, 7);
        QTest::newRow("offer Image1") << "offer"
                                      << "Image1" << QRect(16, 240, 234, 60);
        QTest::newRow("Label30") << "offer"
                                 << "Label30" << QRect(264, 248, 99, 39);
    }
    void controlsAtTheirPlaces() {
        QFETCH(QString, form);
        QFETCH(QString, control);
        QFETCH(QRect, place);
        auto* widget = windowNamed(form)->findChild<QWidget*>(control);
        QVERIFY(widget);
        if (place.isEmpty())
            QCOMPARE(widget->pos(), place.topLeft());
        else
            QCOMPARE(widget->geometry(), place);
    }

    void linksStayClearOfTheirCaptions_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("link");
        QTest::newRow("e-mail") << "Label2"
                                << "Label4";
        QTest::newRow("home page") << "Label3"
                                   << "Label5";
    }
    void linksStayClearOfTheirCaptions() {
        QFETCH(QString, caption);
        QFETCH(QString, link);
        auto* captionLabel = about->findChild<QLabel*>(caption);
        auto* linkLabel = about->findChild<QLabel*>(link);
        QVERIFY(captionLabel && linkLabel);
        QCOMPARE(linkLabel->y(), captionLabel->y());
        QVERIFY(linkLabel->x() > captionLabel->geometry().right());
        QVERIFY(linkLabel->geometry().right() < about->width());
    }

    // Every text is shown whole in the fallback font, the widest one the program meets.
    void textsFitTheirControls_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("control");
        QTest::newRow("title") << "about"
                               << "RxLabel1";
        QTest::newRow("notice") << "about"
                                << "Label6";
        QTest::newRow("heading") << "offer"
                                 << "Label23";
        QTest::newRow("offer text") << "offer"
                                    << "Label31";
        QTest::newRow("offer 1 link") << "offer"
                                      << "Label32";
        QTest::newRow("offer 2 link") << "offer"
                                      << "Label30";
    }
    void textsFitTheirControls() {
        QFETCH(QString, form);
        QFETCH(QString, control);
        QWidget* parent = windowNamed(form);
        auto* label = parent->findChild<QLabel*>(control);
        QVERIFY(label);
        const QRect needed =
            label->fontMetrics().boundingRect(QRect(0, 0, 1000, 1000), Qt::AlignLeft | Qt::AlignTop, label->text());
        QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                 qPrintable(QStringLiteral("needs %1 x %2")
                                .arg(QString::number(needed.width()), QString::number(needed.height()))));
        QVERIFY(label->geometry().right() < parent->width());
    }

    void picturesAreCompiledIn_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        for (int size : {16, 32, 48, 64})
            QTest::addRow("icon %d", size) << QStringLiteral(":/icon/torvane-%1.png").arg(size) << QSize(size, size);
        for (const char* page : {"contact", "site", "engines", "submit", "offer"})
            QTest::addRow("page %s", page)
                << QStringLiteral(":/pages/%1.png").arg(QLatin1String(page)) << QSize(32, 32);
        QTest::newRow("animation") << ":/offer/animation.gif" << QSize(125, 125);
        QTest::newRow("banner") << ":/offer/banner.gif" << QSize(234, 60);
    }
    void picturesAreCompiledIn() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QImageReader reader(name);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), size);
    }
};

QTEST_MAIN(TestAboutAndOffer)
#include "test_about_and_offer.moc"
