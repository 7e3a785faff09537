// The web engine's files under ~/.pki: removed at exit when the program's engine made them,
// kept when another program made or changed them meanwhile.

#include "platform/browser_home_files.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>

class TestBrowserHomeFiles : public QObject {
    Q_OBJECT

private slots:
    void onlyWhatTheEngineMadeIsRemoved_data();
    void onlyWhatTheEngineMadeIsRemoved();
};

namespace {

bool writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QFile file(path);
    return file.open(mode) && file.write(bytes) == bytes.size();
}

} // namespace

void TestBrowserHomeFiles::onlyWhatTheEngineMadeIsRemoved_data() {
    QTest::addColumn<bool>("pkiAtStart");
    QTest::addColumn<QString>("change"); // what another program does after the engine made its files
    QTest::addColumn<QStringList>("left");

    const QStringList folders{".pki", ".pki/nssdb"};
    QTest::newRow("nothing else") << false << "" << QStringList();
    QTest::newRow("a file added beside") << false << "add" << (folders + QStringList{".pki/nssdb/other.db"});
    QTest::newRow("a file replaced") << false << "replace" << (folders + QStringList{".pki/nssdb/pkcs11.txt"});
    QTest::newRow("a file written to") << false << "append" << (folders + QStringList{".pki/nssdb/cert9.db"});
    QTest::newRow("a file's time changed") << false << "touch" << (folders + QStringList{".pki/nssdb/key4.db"});
    QTest::newRow(".pki there at start") << true << ""
                                         << (folders + QStringList{".pki/nssdb/cert9.db", ".pki/nssdb/key4.db",
                                                                   ".pki/nssdb/pkcs11.txt"});
}

void TestBrowserHomeFiles::onlyWhatTheEngineMadeIsRemoved() {
    QFETCH(bool, pkiAtStart);
    QFETCH(QString, change);
    QFETCH(QStringList, left);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString database = home.filePath(".pki/nssdb");
    if (pkiAtStart)
        QVERIFY(QDir().mkpath(home.filePath(".pki")));
    WebEngineHomeFiles files(home.path());
    // What the engine makes, then records once it has made it.
    QVERIFY(QDir().mkpath(database));
    for (const char* name : {"cert9.db", "key4.db", "pkcs11.txt"})
        QVERIFY(writeFile(database + '/' + name, QByteArray("made by the engine: ") + name));
    files.record();

    if (change == "add") {
        QVERIFY(writeFile(database + "/other.db", "another program's"));
    } else if (change == "replace") { // the same bytes in a new file
        QVERIFY(writeFile(database + "/pkcs11.new", "made by the engine: pkcs11.txt"));
        QVERIFY(QFile::remove(database + "/pkcs11.txt"));
        QVERIFY(QFile::rename(database + "/pkcs11.new", database + "/pkcs11.txt"));
    } else if (change == "append") {
        QVERIFY(writeFile(database + "/cert9.db", "+", QIODevice::Append));
    } else if (change == "touch") {
        const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(database + "/key4.db").constData(), times, 0), 0);
    }
    files.record(); // a second record keeps the first one of each file
    files.tidy();

    QStringList found;
    QDirIterator entries(home.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        found.append(QDir(home.path()).relativeFilePath(entries.next()));
    found.sort();
    QCOMPARE(found, left);
}

QTEST_GUILESS_MAIN(TestBrowserHomeFiles)
#include "test_browser_home_files.moc"
