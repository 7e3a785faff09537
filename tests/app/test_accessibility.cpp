// What a screen reader finds in the main window and the windows of its Run menu: every control
// that can take the focus has a name, and every caption is tied to the control it names.

#include "announce/ui/announce_window.h"
#include "app/application.h"
#include "app/main_window.h"
#include "platform/app_environment.h"
#include "submit/ui/results_window.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

// The focusable, visible objects under node that have no accessible name, as "objectName (role)".
void collectUnnamed(QAccessibleInterface* node, QStringList& unnamed) {
    if (const auto* widget = qobject_cast<const QWidget*>(node->object()); widget && !widget->isVisible())
        return; // a hidden page or control, and everything in it
    const QAccessible::State state = node->state();
    // A label is named by its text: an empty message line (nothing in it yet) has nothing to name.
    if (state.focusable && !state.invisible && !state.offscreen && node->role() != QAccessible::StaticText &&
        node->text(QAccessible::Name).trimmed().isEmpty()) {
        const QObject* object = node->object();
        unnamed << QStringLiteral("%1 (role 0x%2)")
                       .arg(object ? object->objectName() : QStringLiteral("?"),
                            QString::number(static_cast<int>(node->role()), 16));
    }
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* child = node->child(i))
            collectUnnamed(child, unnamed);
    }
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TForm1> m_form;

private slots:
    void initTestCase() {
        QFile catalogue(m_dir.filePath(QStringLiteral("Engine.dat")));
        QVERIFY(catalogue.open(QIODevice::WriteOnly));
        catalogue.write("[Engine]\nAmount=2\nTitle1=Alpha\nTitle2=Beta\n"
                        "[Alpha]\nUrl=http://alpha.example/add\nOption=2\nOption_Title1=Category\nItem1=1\n"
                        "Item1-1=Arts\nItem2=1\nItem2-1=Daily\n");
        catalogue.close();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        applyWindowLook();
        m_form = std::make_unique<TForm1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QTRY_COMPARE(m_form->findChild<QListWidget*>("ListBox1")->count(), 2);
    }

    void cleanupTestCase() { m_form.reset(); }

    void noUnnamedFocusableControl_data() {
        QTest::addColumn<QString>("pageButton");
        QTest::newRow("Contact Info") << "SpeedButton1";
        QTest::newRow("Site Info") << "SpeedButton2";
        QTest::newRow("Engine Data, with two option boxes") << "SpeedButton3";
        QTest::newRow("Submit Now") << "SpeedButton4";
        QTest::newRow("Special Offer") << "SpeedButton12";
    }
    void noUnnamedFocusableControl() {
        QFETCH(QString, pageButton);
        m_form->findChild<QAbstractButton*>(pageButton)->click();
        if (pageButton == "SpeedButton3") {
            // Alpha's options show its two boxes, the second with an untitled caption.
            auto* available = m_form->findChild<QListWidget*>("ListBox1");
            QTest::mouseClick(available->viewport(), Qt::LeftButton, {},
                              available->visualItemRect(available->item(0)).center());
            QVERIFY(m_form->findChild<QWidget*>("ComboBox2")->isVisible());
        }
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(m_form.get());
        QVERIFY(root);
        QStringList unnamed;
        collectUnnamed(root, unnamed);
        QCOMPARE(unnamed, QStringList());
    }

    // The windows of the Run menu open centred over the main window, every control named.
    void runMenuWindows_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("IndexNow Key") << "IndexNowKey1";
        QTest::newRow("Announce Pages") << "AnnouncePages1";
        QTest::newRow("Results") << "Results1";
        QTest::newRow("Google Search Console") << "GoogleSearchConsole1";
    }
    void runMenuWindows() {
        QFETCH(QString, action);
        m_form->findChild<QAction*>(action)->trigger();
        QWidget* window = m_form->resultsWindow();
        if (action == "IndexNowKey1")
            window = m_form->indexNowKeyWindow();
        else if (action == "AnnouncePages1")
            window = m_form->announceWindow();
        else if (action == "GoogleSearchConsole1")
            window = m_form->googleWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QStringList unnamed;
        collectUnnamed(QAccessible::queryAccessibleInterface(window), unnamed);
        window->close();
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        // Centred over the main window, unless that would put part of it off the screen (the test's
        // screen is small): then its top-left corner stays on the screen.
        const QRect area = m_form->screen()->availableGeometry();
        QRect centred = window->frameGeometry();
        centred.moveCenter(m_form->frameGeometry().center());
        if (area.contains(centred)) {
            const QPoint offset = window->frameGeometry().center() - centred.center();
            QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QStringLiteral("%1, %2").arg(
                                                        QString::number(offset.x()), QString::number(offset.y()))));
        } else {
            QVERIFY(area.contains(window->frameGeometry().topLeft()));
        }
    }

    // Each caption is the buddy of the control below it, and names it.
    void captionsNameTheirControls_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("control");
        const char* const edits[][2] = {{"Label1", "Edit1"},   {"Label2", "Edit2"},     {"Label3", "Edit3"},
                                        {"Label4", "Edit4"},   {"Label5", "Edit5"},     {"Label6", "Edit6"},
                                        {"Label7", "Edit7"},   {"Label8", "Edit8"},     {"Label9", "ComboBox9"},
                                        {"Label10", "Edit10"}, {"Label11", "Edit11"},   {"Label12", "Edit12"},
                                        {"Label13", "Edit13"}, {"Label14", "Edit14"},   {"Label15", "Edit15"},
                                        {"Label16", "Memo1"},  {"Label17", "ListBox1"}, {"Label18", "ListBox2"}};
        for (const auto& [label, control] : edits)
            QTest::newRow(label) << label << control;
    }
    void captionsNameTheirControls() {
        QFETCH(QString, label);
        QFETCH(QString, control);
        const auto* caption = m_form->findChild<QLabel*>(label);
        QVERIFY(caption);
        QVERIFY(caption->buddy());
        QCOMPARE(caption->buddy()->objectName(), control);
        if (control != "Edit15") // the keywords' shared caption; each box is named by its number
            QCOMPARE(caption->buddy()->accessibleName(), caption->text());
    }
};

int main(int argc, char* argv[]) {
    prepareApplicationEnvironment();
    QApplication app(argc, argv);
    TestAccessibility test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_accessibility.moc"
