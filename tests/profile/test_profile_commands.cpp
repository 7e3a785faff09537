#include "app/error_report.h"
#include "profile/core/profile_file.h"
#include "profile/ui/profile_commands.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The main window as the commands see it: fields, engine choices, Save's state and the caption.
class FakeHost : public ProfileHost {
public:
    ProfileFields fields;
    ProfileSnapshot taken;
    Engine_Type engines;
    QString directory;
    bool saveEnabled = false;
    QString caption = "Torvane 2000";
    int clears = 0;
    int listRebuilds = 0;

    void ClearData() override {
        ++clears;
        // Emptying a filled field enables Save, as the window's change notifications do.
        if (fields != ProfileFields())
            saveEnabled = true;
        fields = {};
    }
    void ReadData() override { taken = ::ReadData(fields); }
    const ProfileSnapshot& snapshot() const override { return taken; }
    void setFields(const ProfileFields& f) override {
        fields = f;
        saveEnabled = true;
    }
    Engine_Type& catalogue() override { return engines; }
    void showCatalogue() override { ++listRebuilds; }
    void setSaveEnabled(bool enabled) override { saveEnabled = enabled; }
    void setCaption(const QString& text) override { caption = text; }
    const QString& startDirectory() const override { return directory; }
    QWidget* dialogParent() override { return nullptr; }

    // The user types into a field.
    void edit(const QString& city) {
        fields.City = city;
        saveEnabled = true;
    }
};

} // namespace

class TestProfileCommands : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeHost m_host;
    std::unique_ptr<ProfileCommands> m_commands;
    QStringList m_answers; // what the next dialogs answer; an empty answer cancels
    QList<ProfileFileDialog> m_asked;
    QStringList m_reports;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Saves a profile with the given city to path, as an earlier session would have.
    void writeProfile(const QString& file, const QString& city) {
        ProfileFields fields;
        fields.City = city;
        Engine_Type engines = m_host.engines;
        QCOMPARE(WriteDataFile(file, ::ReadData(fields), engines), QString());
    }

    QString cityIn(const QString& file) {
        Engine_Type engines = m_host.engines;
        return ReadDataFile(file, engines).City;
    }

private slots:
    void initTestCase() {
        setErrorReportPresenter([this](const QString& text) { m_reports << text; });
    }
    void cleanupTestCase() { setErrorReportPresenter({}); }

    void init() {
        m_host = FakeHost();
        m_host.directory = m_dir.path();
        Engine_Data engine;
        engine.Title = "Alpha";
        m_host.engines.Items = {engine};
        m_host.engines.Count = 1;
        m_answers.clear();
        m_asked.clear();
        m_reports.clear();
        m_commands = std::make_unique<ProfileCommands>(m_host);
        m_commands->setFileDialog([this](const ProfileFileDialog& request) {
            m_asked << request;
            return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
        });
    }

    void firstSaveAsksForAName() {
        const QString file = path("first.tvp");
        QFile::remove(file);
        m_host.edit("Springfield");
        m_answers << file;
        m_commands->Save1Click();

        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_asked[0].kind, ProfileFileDialog::Save);
        QCOMPARE(m_asked[0].directory, m_dir.path());
        QCOMPARE(m_asked[0].offeredName, QString());
        QCOMPARE(cityIn(file), "Springfield");
        QCOMPARE(m_commands->fileName(), file);
        QCOMPARE(m_host.caption, "Torvane 2000 - first.tvp");
        QVERIFY(!m_host.saveEnabled);

        // Save As asks again and offers the name chosen last.
        m_answers << path("second.tvp");
        m_commands->Saveas1Click();
        QCOMPARE(m_asked.size(), 2);
        QCOMPARE(m_asked[1].offeredName, file);
        QCOMPARE(m_host.caption, "Torvane 2000 - second.tvp");
    }

    void openThenSaveWritesToTheOpenedFile() {
        const QString file = path("opened.tvp");
        m_host.engines.Items[0].Selected = 1;
        writeProfile(file, "Old Town");
        m_host.engines.Items[0].Selected = 0;
        m_host.edit("unsaved");
        m_answers << file;
        m_commands->Open1Click();

        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_asked[0].kind, ProfileFileDialog::Open);
        QCOMPARE(m_host.clears, 1);
        QCOMPARE(m_host.fields.City, "Old Town");
        QCOMPARE(m_host.engines.Items[0].Selected, qint16(1));
        QCOMPARE(m_host.listRebuilds, 1);
        QVERIFY(!m_host.saveEnabled);
        QCOMPARE(m_host.caption, "Torvane 2001 - opened.tvp");
        QCOMPARE(m_commands->fileName(), file);

        m_host.edit("New Town");
        m_commands->Save1Click();
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(cityIn(file), "New Town");
        QVERIFY(!m_host.saveEnabled);
        QCOMPARE(m_host.caption, "Torvane 2001 - opened.tvp");
    }

    // New empties the fields only: the file name stays, so Save writes into the file opened before.
    void openNewEditSaveWritesIntoTheOpenedFile() {
        const QString file = path("kept.tvp");
        writeProfile(file, "Old Town");
        m_answers << file;
        m_commands->Open1Click();

        m_commands->New1Click();
        QCOMPARE(m_host.clears, 2);
        QCOMPARE(m_host.fields, ProfileFields());
        QVERIFY(m_host.saveEnabled);
        QCOMPARE(m_host.caption, "Torvane 2001 - kept.tvp");
        QCOMPARE(m_host.listRebuilds, 1);

        m_host.edit("Fresh");
        m_commands->Save1Click();
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(cityIn(file), "Fresh");
    }

    void openMissingFileGivesAnEmptyProfile() {
        const QString file = path("absent.tvp");
        m_host.engines.Items[0].Selected = 1;
        m_answers << file;
        m_commands->Open1Click();
        QCOMPARE(m_host.fields, ProfileFields());
        QCOMPARE(m_host.engines.Items[0].Selected, qint16(0));
        QCOMPARE(m_host.caption, "Torvane 2001 - absent.tvp");
        QVERIFY(!QFile::exists(file));
    }

    void cancelledDialogChangesNothing_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("Open") << "Open";
        QTest::newRow("Save As") << "Save As";
        QTest::newRow("first Save") << "Save";
    }
    void cancelledDialogChangesNothing() {
        QFETCH(QString, command);
        m_host.edit("typed");
        if (command == "Open")
            m_commands->Open1Click();
        else if (command == "Save As")
            m_commands->Saveas1Click();
        else
            m_commands->Save1Click();

        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_host.clears, 0);
        QCOMPARE(m_host.fields.City, "typed");
        QVERIFY(m_host.saveEnabled);
        QCOMPARE(m_host.caption, "Torvane 2000");
        QCOMPARE(m_commands->fileName(), QString());
        QCOMPARE(m_host.listRebuilds, 0);

        // A cancelled dialog offers nothing new next time.
        m_commands->Saveas1Click();
        QCOMPARE(m_asked.last().offeredName, QString());
    }

    // A failed write is reported; the new name is current, but Save stays enabled and the caption as it was.
    void failedWriteIsReported_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("Save As") << "Save As";
        QTest::newRow("first Save") << "Save";
        QTest::newRow("Save to the current file") << "Save again";
    }
    void failedWriteIsReported() {
        QFETCH(QString, command);
        const QString file = path("no such folder/p.tvp");
        m_host.edit("typed");
        m_answers << file;
        if (command == "Save As") {
            m_commands->Saveas1Click();
        } else {
            m_commands->Save1Click();
            if (command == "Save again") {
                m_reports.clear();
                m_commands->Save1Click();
                QCOMPARE(m_asked.size(), 1);
            }
        }

        QCOMPARE(m_reports, QStringList{"Unable to write to " + file + "."});
        QVERIFY(m_host.saveEnabled);
        QCOMPARE(m_host.caption, "Torvane 2000");
        QCOMPARE(m_commands->fileName(), file);
        QVERIFY(!QFile::exists(file));
    }

    // The program's own dialogs: filter, suffix, overwrite question and where they open.
    void fileDialogSettings_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("acceptMode");
        QTest::newRow("open") << int(ProfileFileDialog::Open) << int(QFileDialog::AcceptOpen);
        QTest::newRow("save") << int(ProfileFileDialog::Save) << int(QFileDialog::AcceptSave);
    }
    void fileDialogSettings() {
        QFETCH(int, kind);
        QFETCH(int, acceptMode);
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        const QString offered = path("offered.tvp");
        setUpProfileFileDialog(dialog, {ProfileFileDialog::Kind(kind), nullptr, m_dir.path(), offered});
        QCOMPARE(int(dialog.acceptMode()), acceptMode);
        QCOMPARE(dialog.fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog.nameFilters(), QStringList{"Torvane Files (*.tvp)"});
        QCOMPARE(dialog.defaultSuffix(), "tvp");
        QVERIFY(!dialog.testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(dialog.isSizeGripEnabled());
        QCOMPARE(dialog.directory().absolutePath(), QDir(m_dir.path()).absolutePath());
        QCOMPARE(dialog.selectedFiles(), QStringList{offered});
    }
};

QTEST_MAIN(TestProfileCommands)
#include "test_profile_commands.moc"
