#include "common/ui/discarded_user_settings.h"
#include "common/ui/error_report.h"
#include "profile/core/profile_file.h"
#include "profile/ui/profile_commands.h"
#include "support/full_disk.h"
#include "support/non_regular_files.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <optional>
#include <unistd.h>

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

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What a failing save must leave as it was: the file's bytes (or that it is a folder or
// missing) and the names in its folder (no temporary file left behind).
QByteArray stateOf(const QString& path) {
    const QFileInfo info(path);
    QByteArray state = info.isDir() ? "<folder>" : !info.exists() ? "<missing>" : "";
    QFile file(path);
    if (info.isFile() && file.open(QIODevice::ReadOnly))
        state += file.readAll();
    return state + "\n" +
           info.dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).join('/').toUtf8();
}

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

    // A save that fails, from each File menu command: the full path is reported, whatever was
    // there stays byte for byte, the name is current and Save stays enabled. Save then tries
    // the same file again without a dialog, and succeeds once the obstacle is gone.
    void failedSaveIsReported_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("command");
        const QStringList failures{"missing folder", "path is a folder", "read-only file", "read-only folder",
                                   "full disk",      "file size limit",  "FIFO",           "link to /dev/zero"};
        for (const QString& failure : failures) {
            for (const char* command : {"Save As", "first Save", "Save after Open"})
                QTest::addRow("%s, %s", qPrintable(failure), command) << failure << QString(command);
        }
    }
    void failedSaveIsReported() {
        QFETCH(QString, failure);
        QFETCH(QString, command);
        if (::geteuid() == 0 && failure.startsWith("read-only"))
            QSKIP("permission bits do not stop root (ctest runs this program again as nobody)");
        std::optional<SmallFileSystem> disk;
        if (failure == "full disk") {
            disk.emplace(64);
            if (!disk->isMounted())
                QSKIP("no small file system here: mounting one needs root with the right to mount");
        }

        QTemporaryDir dir;
        const auto unlockFolder = [&] {
            return QFile::setPermissions(dir.filePath("locked"),
                                         QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        const auto unlockAtEnd = qScopeGuard(unlockFolder); // so that the folder can be removed
        QString file;
        const QByteArray existing = "; kept\r\n[Contact Info]\r\nCity=Old Town\r\n";
        if (failure == "missing folder") {
            file = dir.filePath("missing/p.tvp");
        } else if (failure == "path is a folder") {
            file = dir.filePath("folder.tvp");
            QVERIFY(QDir(dir.path()).mkdir("folder.tvp"));
        } else if (failure == "read-only folder") {
            file = dir.filePath("locked/p.tvp");
            QVERIFY(QDir(dir.path()).mkdir("locked"));
            QVERIFY(writeAll(file, existing));
            QVERIFY(QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner));
        } else if (failure == "FIFO" || failure == "link to /dev/zero") {
            file = dir.filePath("p.tvp");
            QVERIFY(makeNonRegularFile(failure == "FIFO" ? "fifo" : "device", file));
        } else {
            file = disk ? disk->filePath("p.tvp") : dir.filePath("p.tvp");
            QVERIFY(writeAll(file, existing));
            if (failure == "read-only file")
                QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
            if (disk)
                QVERIFY(disk->fill("filler"));
        }
        const QByteArray before = stateOf(file);

        if (command == "Save after Open") {
            m_answers << file;
            m_commands->Open1Click();
        } else {
            m_answers << file; // what the save dialog answers
        }
        const QString caption = m_host.caption;
        m_host.edit("New Town");
        {
            const FileSizeLimit limit(failure == "file size limit" ? 16 : 0);
            if (command == "Save As")
                m_commands->Saveas1Click();
            else
                m_commands->Save1Click();
        }

        const QStringList report{"Unable to write to " + file + "."};
        QCOMPARE(m_reports, report);
        QCOMPARE(stateOf(file), before);
        QVERIFY(m_host.saveEnabled);
        QCOMPARE(m_host.caption, caption);
        QCOMPARE(m_commands->fileName(), file);

        // Save again: the same file, no dialog, the same report.
        const qsizetype dialogs = m_asked.size();
        m_reports.clear();
        {
            const FileSizeLimit limit(failure == "file size limit" ? 16 : 0);
            m_commands->Save1Click();
        }
        QCOMPARE(m_asked.size(), dialogs);
        QCOMPARE(m_reports, report);
        QCOMPARE(stateOf(file), before);
        QVERIFY(m_host.saveEnabled);

        // With the obstacle gone, Save writes the file.
        if (failure == "missing folder")
            QVERIFY(QDir(dir.path()).mkdir("missing"));
        else if (failure == "path is a folder")
            QVERIFY(QDir(file).removeRecursively());
        else if (failure == "read-only folder")
            QVERIFY(unlockFolder());
        else if (failure == "read-only file")
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        else if (disk)
            QVERIFY(QFile::remove(disk->filePath("filler")));
        else if (failure == "FIFO" || failure == "link to /dev/zero")
            QVERIFY(QFile::remove(file));
        m_reports.clear();
        m_commands->Save1Click();
        QCOMPARE(m_reports, QStringList());
        QVERIFY(!m_host.saveEnabled);
        QCOMPARE(cityIn(file), "New Town");
    }

    // Saving stays atomic over a hard-linked file: the saved name gets a new, whole file, and the
    // other name keeps the old contents whole.
    void saveOverHardLinkedFile() {
        QTemporaryDir dir;
        const QString file = dir.filePath("p.tvp");
        const QString other = dir.filePath("other.tvp");
        const QByteArray existing = "[Contact Info]\r\nCity=Old Town\r\n";
        QVERIFY(writeAll(file, existing));
        QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);
        m_answers << file;
        m_host.edit("New Town");
        m_commands->Saveas1Click();
        QCOMPARE(m_reports, QStringList());
        QCOMPARE(cityIn(file), "New Town");
        QCOMPARE(stateOf(other), existing + "\nother.tvp/p.tvp");
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
        const DiscardedUserSettings noSettings;
        QFileDialog dialog;
        const QString offered = path("offered.tvp");
        setUpProfileFileDialog(dialog, {ProfileFileDialog::Kind(kind), nullptr, m_dir.path(), offered});
        QCOMPARE(int(dialog.acceptMode()), acceptMode);
        QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog.fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog.nameFilters(), QStringList{"Torvane Files (*.tvp)"});
        QCOMPARE(dialog.defaultSuffix(), "tvp");
        QVERIFY(!dialog.testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(dialog.isSizeGripEnabled());
        QCOMPARE(dialog.directory().absolutePath(), QDir(m_dir.path()).absolutePath());
        QCOMPARE(dialog.selectedFiles(), QStringList{offered});
    }

    // The program keeps no settings: the user's folders stay empty after a file dialog.
    void fileDialogLeavesNoSettings() {
        QTimer closer;
        connect(&closer, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        closer.start(10);
        QCOMPARE(showProfileFileDialog({ProfileFileDialog::Open, nullptr, m_dir.path(), {}}), QString());
        const auto entries = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).entryList(entries), QStringList());
        QVERIFY(!QDir(qEnvironmentVariable("HOME")).exists(".config"));
    }
};

int main(int argc, char** argv) {
    // The user's home and settings folders are empty folders of the test's own, set before
    // anything asks where they are.
    const QTemporaryDir home;
    const QTemporaryDir config;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    TestProfileCommands test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_profile_commands.moc"
