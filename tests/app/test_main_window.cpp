#include "app/about_box.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/message_log_view.h"
#include "app/test_window.h"
#include "platform/app_environment.h"
#include "support/non_regular_files.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace {

const char* const kPageNames[] = {"GroupBox1", "GroupBox2", "GroupBox3", "GroupBox4", "GroupBox6"};
const char* const kButtonNames[] = {"SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton12"};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm3> m_form3;

    template <typename T> T* child(const char* name) {
        T* widget = m_form->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    int visiblePages() {
        int count = 0;
        for (const char* name : kPageNames)
            count += child<QGroupBox>(name)->isVisibleTo(m_form.get()) ? 1 : 0;
        return count;
    }

private slots:
    void initTestCase() {
        QFile catalogue(m_dir.filePath(QStringLiteral("Engine.dat")));
        QVERIFY(catalogue.open(QIODevice::WriteOnly));
        catalogue.write("[Engine]\nAmount=3\nTitle1=beta\nTitle2=Alpha\nTitle3=Gamma\n"
                        "[Alpha]\nUrl=http://alpha.example/add\nvar=2\nvar1=url\nvar_value1=VAR16\n"
                        "var2=mode\nvar_value2=quick\n");
        catalogue.close();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        applyWindowLook();
    }

    void init() {
        m_form = std::make_unique<TForm1>();
        m_form2 = std::make_unique<TForm2>();
        m_form3 = std::make_unique<TForm3>();
        m_form->setCompanionWindows(m_form2.get(), m_form3.get());
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        // The catalogue is read while the window appears; its titles follow by themselves.
        QTRY_COMPARE(child<QListWidget>("ListBox1")->count(), 3);
    }

    void cleanup() {
        m_form.reset();
        m_form2.reset();
        m_form3.reset();
    }

    void stateAfterStart() {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Torvane 2000"));
        QCOMPARE(m_form->centralWidget()->size(), QSize(479, 388));
        QCOMPARE(m_form->startDirectory(), QDir::currentPath());
        // The window names its menu entry, the desktop file installed with the program.
        QVERIFY(QFileInfo::exists(TORVANE_SOURCE_DIR "/packaging/" + QGuiApplication::desktopFileName() + ".desktop"));
        // Its icon in four sizes, each drawn from the picture of that size.
        const QIcon icon = QGuiApplication::windowIcon();
        QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}}));
        for (const int size : {16, 64}) {
            const QImage picture(QStringLiteral(":/icon/torvane-%1.png").arg(size));
            QCOMPARE(icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                     picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
        QVERIFY(child<QToolButton>("SpeedButton1")->isChecked());
        QVERIFY(child<QGroupBox>("GroupBox1")->isVisible());
        QCOMPARE(visiblePages(), 1);
        QVERIFY(!m_form->saveAction()->isEnabled());
        QCOMPARE(m_form->messageLog()->lineCount(), 0);
        for (int i = 1; i <= 22; ++i) {
            const QByteArray name = "Edit" + QByteArray::number(i);
            QVERIFY2(child<QLineEdit>(name.constData())->text().isEmpty(), name.constData());
        }
        QVERIFY(child<QPlainTextEdit>("Memo1")->toPlainText().isEmpty());
        // The catalogue's titles, sorted without regard to letter case; the first one selected.
        auto* available = child<QListWidget>("ListBox1");
        QCOMPARE(available->count(), 3);
        QCOMPARE(available->item(0)->text(), QStringLiteral("Alpha"));
        QCOMPARE(available->item(1)->text(), QStringLiteral("beta"));
        QVERIFY(available->item(0)->isSelected());
        QCOMPARE(child<QListWidget>("ListBox2")->count(), 0);
        QVERIFY(!child<QComboBox>("ComboBox1")->isVisibleTo(m_form.get()));
    }

    void pageButtonsShowExactlyOnePage() {
        for (int round = 0; round < 2; ++round) {
            for (int page = 0; page < 5; ++page) {
                auto* button = child<QToolButton>(kButtonNames[page]);
                QTest::mouseClick(button, Qt::LeftButton);
                QVERIFY(button->isChecked());
                QVERIFY(child<QGroupBox>(kPageNames[page])->isVisible());
                QCOMPARE(visiblePages(), 1);
            }
        }
        // Pressing the button that is down keeps it down.
        QTest::mouseClick(child<QToolButton>("SpeedButton12"), Qt::LeftButton);
        QVERIFY(child<QToolButton>("SpeedButton12")->isChecked());
        QCOMPARE(m_form->currentPage(), TForm1::SpecialOffer);
    }

    void pageButtonsDuringRun() {
        m_form->setPageButtonsEnabled(false);
        for (const char* name : kButtonNames)
            QCOMPARE(child<QToolButton>(name)->isEnabled(), qstrcmp(name, "SpeedButton4") == 0);
        m_form->setPageButtonsEnabled(true);
        for (const char* name : kButtonNames)
            QVERIFY(child<QToolButton>(name)->isEnabled());
    }

    void editingEnablesSave_data() {
        QTest::addColumn<QByteArray>("control");
        for (int i = 1; i <= 22; ++i) {
            const QByteArray name = "Edit" + QByteArray::number(i);
            QTest::newRow(name.constData()) << name;
        }
        QTest::newRow("Memo1") << QByteArray("Memo1");
        QTest::newRow("ComboBox9") << QByteArray("ComboBox9");
    }
    void editingEnablesSave() {
        QFETCH(QByteArray, control);
        QWidget* widget = child<QWidget>(control.constData());
        widget->setFocus();
        QVERIFY(!m_form->saveAction()->isEnabled());
        QTest::keyClicks(qobject_cast<QComboBox*>(widget) ? qobject_cast<QComboBox*>(widget)->lineEdit() : widget,
                         QStringLiteral("x"));
        QVERIFY(m_form->saveAction()->isEnabled());
    }

    void countryPick_data() {
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("code");
        QTest::newRow("United States") << QStringLiteral("United States") << QStringLiteral("US  ");
        QTest::newRow("Argentina") << QStringLiteral("Argentina") << QStringLiteral("AR ");
        QTest::newRow("United Kingdom") << QStringLiteral("United Kingdom (Great Britain)") << QStringLiteral("UK  ");
        QTest::newRow("Zaire") << QStringLiteral("Zaire") << QStringLiteral("ZR  ");
    }
    void countryPick() {
        QFETCH(QString, country);
        QFETCH(QString, code);
        auto* box = child<QComboBox>("ComboBox9");
        const int position = box->findText(country, Qt::MatchExactly);
        QVERIFY(position >= 0);
        box->setCurrentIndex(position);
        emit box->activated(position); // a pick from the list
        QCOMPARE(child<QLineEdit>("Edit9")->text(), code);
        QVERIFY(m_form->saveAction()->isEnabled());
        // Typing into the country box leaves no list entry current: the code goes.
        box->lineEdit()->setFocus();
        QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
        QCOMPARE(child<QLineEdit>("Edit9")->text(), QString());
    }

    void typedCountryStaysAsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("code");
        QTest::newRow("start of a name, Tab") << "Korea" << int(Qt::Key_Tab) << "Korea" << QString();
        QTest::newRow("start of a name, Return") << "Ger" << int(Qt::Key_Return) << "Ger" << QString();
        QTest::newRow("whole name, Return") << "Germany" << int(Qt::Key_Return) << "Germany" << QString();
        QTest::newRow("arrow key picks") << QString() << int(Qt::Key_Down) << "Afghanistan"
                                         << "AF  ";
    }
    void typedCountryStaysAsTyped() {
        QFETCH(QString, typed);
        QFETCH(int, key);
        auto* box = child<QComboBox>("ComboBox9");
        box->lineEdit()->setFocus();
        QTest::keyClicks(box->lineEdit(), typed);
        QTest::keyClick(box->lineEdit(), Qt::Key(key));
        QTEST(box->currentText(), "shown");
        QTEST(child<QLineEdit>("Edit9")->text(), "code");
    }

    void countryCodeTyping() {
        auto* code = child<QLineEdit>("Edit9");
        code->setFocus();
        QTest::keyClicks(code, QStringLiteral("def"));
        QCOMPARE(code->text(), QStringLiteral("DE"));
        // The program may set a longer code; the limit binds typing only.
        code->setText(QStringLiteral("US  "));
        QCOMPARE(code->text(), QStringLiteral("US  "));
    }

    void snapshotFromFields() {
        child<QLineEdit>("Edit3")->setText(QStringLiteral("Ann"));
        child<QLineEdit>("Edit15")->setText(QStringLiteral("a"));
        child<QLineEdit>("Edit17")->setText(QStringLiteral("c"));
        auto* memo = child<QPlainTextEdit>("Memo1");
        memo->setFocus();
        QTest::keyClicks(memo, QStringLiteral("one"));
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, QStringLiteral("two"));
        m_form->ReadData();
        const ProfileSnapshot& snapshot = m_form->snapshot();
        QCOMPARE(snapshot.Full_Name, QStringLiteral("Ann "));
        QCOMPARE(snapshot.Keyword_List, QStringLiteral("a,c"));
        QCOMPARE(snapshot.Keyword_Line, QStringLiteral("a  c     "));
        QCOMPARE(snapshot.fields.Description, QStringLiteral("one\r\ntwo"));
    }

    void clearDataEmptiesFieldsAndLog() {
        child<QLineEdit>("Edit1")->setText(QStringLiteral("Acme"));
        m_form->messageLog()->appendLine(QStringLiteral("line"));
        m_form->saveAction()->setEnabled(false);
        m_form->ClearData();
        QVERIFY(child<QLineEdit>("Edit1")->text().isEmpty());
        QCOMPARE(m_form->messageLog()->lineCount(), 0);
        // Emptying a filled field is a change like any other.
        QVERIFY(m_form->saveAction()->isEnabled());
    }

    void messageLogCountsAppendedLines() {
        MessageLogView* log = m_form->messageLog();
        const QString wide(500, u'w');
        log->appendLine(QStringLiteral("[Engine] a..."));
        log->appendLine(wide);
        log->appendLine(QStringLiteral("[Engine] b..."));
        log->replaceLine(2, QStringLiteral("[Engine] b...OK"));
        log->replaceLine(7, QStringLiteral("ignored"));
        QCOMPARE(log->lineCount(), 3);
        QCOMPARE(log->text(), QStringLiteral("[Engine] a...\n") + wide + QStringLiteral("\n[Engine] b...OK"));
        log->clear();
        QCOMPARE(log->text(), QString());
    }

    // With TORVANE_SCREENSHOTS set to a folder, saves a picture of every page there, with the
    // shipped catalogue (for checking the layout by eye; the README shows them).
    void screenshots() {
        const QString folder = qEnvironmentVariable("TORVANE_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("TORVANE_SCREENSHOTS not set");
        QVERIFY(QDir::setCurrent(QStringLiteral(TORVANE_SOURCE_DIR "/data")));
        m_form = std::make_unique<TForm1>();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        m_form->catalogue();
        for (int page = 0; page < 5; ++page) {
            QTest::mouseClick(child<QToolButton>(kButtonNames[page]), Qt::LeftButton);
            QVERIFY(
                m_form->grab().save(folder + u'/' + QString::fromLatin1(kPageNames[page]) + QStringLiteral(".png")));
        }
    }

    void testButtonShowsFocusedEngineUrl() {
        child<QLineEdit>("Edit14")->setText(QStringLiteral("http://my.example/?a=1&b=2"));
        auto* available = child<QListWidget>("ListBox1");
        available->setCurrentRow(0); // Alpha
        m_form->Button1Click();
        QVERIFY(m_form2->isVisible());
        auto* memo = m_form2->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
        QCOMPARE(memo->toPlainText(),
                 QStringLiteral("http://alpha.example/add?url=http%3A%2F%2Fmy.example%2F%3Fa%3D1%26b%3D2&mode=quick"));
        // The main window stays usable; a second fill replaces the text.
        QVERIFY(m_form->isEnabled());
        available->setCurrentRow(1); // beta: no section, no variables
        m_form->Button1Click();
        QCOMPARE(memo->toPlainText(), QStringLiteral("?="));
    }

    void aboutBoxDisablesMainWindowUntilClosed() {
        m_form->About1Click();
        QVERIFY(!m_form->isEnabled());
        QVERIFY(m_form3->isVisible());
        QVERIFY(m_form3->isEnabled());
        m_form3->close();
        QVERIFY(!m_form3->isVisible());
        QVERIFY(m_form->isEnabled());
    }

    void fileMenuSavesAndOpensProfiles() {
        const QString path = m_dir.filePath(QStringLiteral("mine.tvp"));
        m_form->profileCommands()->setFileDialog([&](const ProfileFileDialog&) { return path; });
        child<QLineEdit>("Edit1")->setText(QStringLiteral("Acme & Sons"));
        child<QPlainTextEdit>("Memo1")->setPlainText(QStringLiteral("first\n[x]\nSelected=1"));
        auto* available = child<QListWidget>("ListBox1");
        available->setCurrentRow(2); // Gamma
        QTest::mouseClick(child<QToolButton>("SpeedButton5"), Qt::LeftButton);
        QCOMPARE(child<QListWidget>("ListBox2")->count(), 1);

        child<QAction>("Saveas1")->trigger();
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Torvane 2000 - mine.tvp"));
        QVERIFY(!m_form->saveAction()->isEnabled());

        child<QAction>("New1")->trigger();
        QVERIFY(child<QLineEdit>("Edit1")->text().isEmpty());
        QCOMPARE(child<QListWidget>("ListBox2")->count(), 1); // New leaves the engine choices
        QTest::mouseClick(child<QToolButton>("SpeedButton11"), Qt::LeftButton);
        QCOMPARE(child<QListWidget>("ListBox2")->count(), 0);

        child<QAction>("Open1")->trigger();
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Torvane 2001 - mine.tvp"));
        QCOMPARE(child<QLineEdit>("Edit1")->text(), QStringLiteral("Acme & Sons"));
        QCOMPARE(child<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("first\n[x]\nSelected=1"));
        QCOMPARE(child<QListWidget>("ListBox2")->count(), 1);
        QCOMPARE(child<QListWidget>("ListBox2")->item(0)->text(), QStringLiteral("Gamma"));
        QVERIFY(!m_form->saveAction()->isEnabled());
    }

    // A file manager gives the profile's path as the only argument, as the system has its bytes.
    void profileGivenAtStart_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption"); // empty: nothing is opened
        QTest::newRow("absolute, with spaces")
            << QByteArray("my site.tvp") << "profile" << QStringLiteral("Torvane 2001 - my site.tvp");
        QTest::newRow("bytes that are not UTF-8")
            << QByteArray("caf\xe9 site.tvp") << "profile" << QStringLiteral("Torvane 2001 - caf\uFFFD site.tvp");
        QTest::newRow("missing file") << QByteArray("absent.tvp") << "none" << QString();
        QTest::newRow("folder") << QByteArray("folder.tvp") << "folder" << QString();
    }
    void profileGivenAtStart() {
        QFETCH(QByteArray, name);
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        const QByteArray path = QFile::encodeName(m_dir.path()) + '/' + name;
        if (kind == "profile") {
            FILE* file = std::fopen(path.constData(), "w");
            QVERIFY(file);
            std::fputs("[Contact Info]\nCompany=Acme\n[Gamma]\nSelected=1\n", file);
            std::fclose(file);
        } else if (kind == "folder") {
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
        }
        const bool opened = m_form->profileCommands()->openLocalFile(path);
        ::remove(path.constData());
        QCOMPARE(opened, !caption.isEmpty());
        QCOMPARE(m_form->windowTitle(), opened ? caption : QStringLiteral("Torvane 2000"));
        QCOMPARE(child<QLineEdit>("Edit1")->text(), opened ? QStringLiteral("Acme") : QString());
        QCOMPARE(child<QListWidget>("ListBox2")->count(), opened ? 1 : 0);
        // Save writes the file opened, or asks for a name when the name cannot be written back.
        const bool utf8 = QFile::encodeName(QFile::decodeName(path)) == path;
        QCOMPARE(m_form->profileCommands()->fileName(), opened && utf8 ? QFile::decodeName(path) : QString());
        // The open dialog still opens where it did, offering nothing.
        ProfileFileDialog asked;
        m_form->profileCommands()->setFileDialog([&](const ProfileFileDialog& request) {
            asked = request;
            return QString();
        });
        child<QAction>("Open1")->trigger();
        QCOMPARE(asked.directory, QDir::currentPath());
        QCOMPARE(asked.offeredName, QString());
    }

    void submitWithEmptyProfileAndNoEngine() {
        QTest::mouseClick(child<QToolButton>("SpeedButton4"), Qt::LeftButton);
        QTest::mouseClick(child<QAbstractButton>("SpeedButton7"), Qt::LeftButton);
        const QStringList lines = m_form->messageLog()->text().split(u'\n');
        QCOMPARE(lines.size(), 16);
        QCOMPARE(lines.first(), QStringLiteral("[Contact Info]  Please enter your company name"));
        QCOMPARE(lines.last(), QStringLiteral("[Engine Data] Please select the engine"));
        QVERIFY(child<QAbstractButton>("SpeedButton7")->isEnabled());
        QVERIFY(child<QToolButton>("SpeedButton1")->isEnabled());
    }

    // An Engine.dat or a profile that is not a regular file gives an empty catalogue and an empty
    // profile at once: File > Open answers, and the window closes without waiting.
    void specialFilesNeverHang_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to /dev/zero") << QStringLiteral("device");
    }
    void specialFilesNeverHang() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(makeNonRegularFile(kind, dir.filePath(QStringLiteral("Engine.dat"))));
        const QString profile = dir.filePath(QStringLiteral("special.tvp"));
        QVERIFY(makeNonRegularFile(kind, profile));
        QVERIFY(QDir::setCurrent(dir.path()));
        auto form = std::make_unique<TForm1>();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->profileCommands()->setFileDialog([&](const ProfileFileDialog&) { return profile; });
        form->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("typed"));
        form->findChild<QAction*>(QStringLiteral("Open1"))->trigger();
        QVERIFY(form->findChild<QLineEdit*>(QStringLiteral("Edit1"))->text().isEmpty());
        QCOMPARE(form->catalogue().Count, 0);
        QCOMPARE(form->windowTitle(), QStringLiteral("Torvane 2001 - special.tvp"));
        form.reset();
    }

    void exitClosesWithoutQuestion() {
        m_form->saveAction()->setEnabled(true);
        m_form->Exit1Click();
        QVERIFY(!m_form->isVisible());
    }
};

int main(int argc, char* argv[]) {
    prepareApplicationEnvironment();
    QApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_window.moc"
