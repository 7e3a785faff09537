#include "catalogue/core/engine_catalogue.h"
#include "platform/ini_file.h"
#include "support/non_regular_files.h"
#include "support/test_data.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

Engine_Type load(const QByteArray& bytes) {
    return ReadEngineFile(IniFile::fromBytes(bytes));
}

// Every list of the catalogue holds exactly its count, and no count passes its capacity.
void verifyWithinCapacity(const Engine_Type& catalogue) {
    QVERIFY(catalogue.Count >= 0 && catalogue.Count <= kMaxEngines);
    QCOMPARE(catalogue.Items.size(), catalogue.Count);
    for (const Engine_Data& engine : catalogue.Items) {
        QVERIFY(engine.Variable.Count >= 0 && engine.Variable.Count <= kMaxVariables);
        QCOMPARE(engine.Variable.Names.size(), engine.Variable.Count);
        QCOMPARE(engine.Variable.Values.size(), engine.Variable.Count);
        QVERIFY(engine.Option >= 0 && engine.Option <= kMaxOptionLists);
        for (int k = 0; k < kMaxOptionLists; ++k) {
            const Item_Data& items = engine.Item[k];
            const Value_Data& values = engine.Value[k];
            QVERIFY(items.Count >= 0 && items.Count <= kMaxChoices);
            QVERIFY(values.Count >= 0 && values.Count <= kMaxChoices);
            QCOMPARE(items.Items.size(), items.Count);
            QCOMPARE(values.Values.size(), values.Count > 0 ? items.Count : 0);
        }
    }
}

} // namespace

class TestEngineCatalogue : public QObject {
    Q_OBJECT

private slots:
    void everyKeyForm() {
        const Engine_Type catalogue =
            ReadEngineFile(IniFile::load(testDataPath(QStringLiteral("catalogue_every_key.dat"))));
        verifyWithinCapacity(catalogue);
        // AMOUNT = 0x5: five entries; Title04 is not Title4; Title6 lies past the amount.
        QCOMPARE(catalogue.Count, 5);
        QStringList titles;
        for (const Engine_Data& engine : catalogue.Items)
            titles << engine.Title;
        QCOMPARE(titles, QStringList({"Alpha", "Beta", "Gamma", "", "alpha"}));

        const Engine_Data& alpha = catalogue.Items[0];
        QCOMPARE(alpha.Url, QStringLiteral("https://alpha.example/submit"));
        QCOMPARE(alpha.Variable.Names, QStringList({"name", "site", "lang"}));
        QCOMPARE(alpha.Variable.Values, QStringList({"VAR2", "VAR16", "en"}));
        QCOMPARE(alpha.Option, 1);
        QCOMPARE(alpha.Error[0], QStringLiteral("Please choose a category"));
        QCOMPARE(alpha.Option_Title[0], QStringLiteral("Category"));
        QCOMPARE(alpha.Item[0].Items, QStringList({"Arts", "Business", "Science"}));
        // Value1 = 1 switches values on: one per choice.
        QCOMPARE(alpha.Value[0].Count, 1);
        QCOMPARE(alpha.Value[0].Values, QStringList({"10", "20", "30"}));
        // Option = 1: nothing of list 2 is read.
        QCOMPARE(alpha.Error[1], QString());
        QCOMPARE(alpha.Option_Title[1], QString());
        QCOMPARE(alpha.Item[1].Count, 0);
        QVERIFY(alpha.Item[1].Items.isEmpty());

        const Engine_Data& beta = catalogue.Items[1];
        QCOMPARE(beta.Url, QStringLiteral("https://beta.example/add"));
        QCOMPARE(beta.Variable.Count, 2);
        QCOMPARE(beta.Option, 2);
        QCOMPARE(beta.Error[1], QStringLiteral("Please choose a language"));
        QCOMPARE(beta.Option_Title[1], QStringLiteral("Language"));
        QCOMPARE(beta.Item[0].Items, QStringList({"Europe", "Asia"}));
        QVERIFY(beta.Value[0].Values.isEmpty()); // Value1 = 0
        QCOMPARE(beta.Value[1].Values, QStringList({"en", "de"}));

        const Engine_Data& gamma = catalogue.Items[2];
        QCOMPARE(gamma.Option, 0);
        QCOMPARE(gamma.Variable.Count, 0);

        // An empty title has no section of its own: empty Url, no fields, no options.
        const Engine_Data& untitled = catalogue.Items[3];
        QCOMPARE(untitled.Url, QString());
        QCOMPARE(untitled.Variable.Count, 0);
        QCOMPARE(untitled.Option, 0);

        // A title differing only in letter case reads the same section, yet is its own entry.
        const Engine_Data& lower = catalogue.Items[4];
        QCOMPARE(lower.Url, alpha.Url);
        QCOMPARE(lower.Item[0].Items, alpha.Item[0].Items);
        QCOMPARE(catalogue.indexOfTitle(QStringLiteral("alpha")), 4);
        QCOMPARE(catalogue.indexOfTitle(QStringLiteral("Alpha")), 0);

        // Loading leaves the user's choices alone.
        for (const Engine_Data& engine : catalogue.Items) {
            QCOMPARE(engine.Selected, qint16(0));
            QVERIFY(engine.Option1.isEmpty() && engine.OptVal1.isEmpty());
        }
    }

    void edgeCases() {
        // Amount = 2 with three titles loads two.
        QCOMPARE(load("[Engine]\nAmount=2\nTitle1=a\nTitle2=b\nTitle3=c\n").Count, 2);
        // Option = 1 with Item1 = 0: an empty option list.
        const Engine_Type empty = load("[Engine]\nAmount=1\nTitle1=e\n[e]\nOption=1\nItem1=0\nItem1-1=x\n");
        QCOMPARE(empty.Items[0].Option, 1);
        QVERIFY(empty.Items[0].Item[0].Items.isEmpty());
        // Item1 = 4 with Value1 = 1 reads four values.
        const Engine_Type four = load("[Engine]\nAmount=1\nTitle1=e\n[e]\nOption=1\nItem1=4\nValue1=1\n"
                                      "Value1-1=a\nValue1-2=b\nValue1-4=d\n");
        QCOMPARE(four.Items[0].Value[0].Values, QStringList({"a", "b", "", "d"}));
        // Two equal titles: two entries, the title lookup finds the first.
        const Engine_Type twins = load("[Engine]\nAmount=2\nTitle1=same\nTitle2=same\n");
        QCOMPARE(twins.Count, 2);
        QCOMPARE(twins.indexOfTitle(QStringLiteral("same")), 0);
        QCOMPARE(twins.indexOfTitle(QStringLiteral("SAME")), -1);
        // A 3000-character text keeps its first 2047.
        const Engine_Type longUrl = load("[Engine]\nAmount=1\nTitle1=e\n[e]\nUrl=" + QByteArray(3000, 'u') + "\n");
        QCOMPARE(longUrl.Items[0].Url, QString(2047, u'u'));
        // A title in an older 8-bit file is decoded, and still finds its section.
        const Engine_Type old = load("[Engine]\nAmount=1\nTitle1=M\xfcnchen\n[M\xfcnchen]\nUrl=u\n");
        QCOMPARE(old.Items[0].Title, QStringLiteral("München"));
        QCOMPARE(old.Items[0].Url, QStringLiteral("u"));
    }

    // Counts are clamped to 0 … capacity, so nothing is ever stored past one.
    void countsClamped_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("engines");
        QTest::addColumn<int>("fields");
        QTest::addColumn<int>("options");
        QTest::addColumn<int>("choices");

        const auto engine = [](const QByteArray& keys) {
            return QByteArray("[Engine]\nAmount=1\nTitle1=e\n[e]\n") + keys;
        };
        QTest::newRow("Amount = -5") << QByteArray("[Engine]\nAmount=-5\nTitle1=e\n") << 0 << 0 << 0 << 0;
        QTest::newRow("Amount = 0x10") << QByteArray("[Engine]\nAmount=0x10\n") << 16 << 0 << 0 << 0;
        QTest::newRow("Amount = $10") << QByteArray("[Engine]\nAmount=$10\n") << 16 << 0 << 0 << 0;
        QTest::newRow("Amount = 99999") << QByteArray("[Engine]\nAmount=99999\n") << 500 << 0 << 0 << 0;
        QTest::newRow("Amount not a number") << QByteArray("[Engine]\nAmount=many\nTitle1=e\n") << 0 << 0 << 0 << 0;
        QTest::newRow("var = 1000") << engine("var=1000\nvar50=last\nvar51=past\n") << 1 << 50 << 0 << 0;
        QTest::newRow("var = -3") << engine("var=-3\nvar1=x\n") << 1 << 0 << 0 << 0;
        QTest::newRow("Option = 3") << engine("Option=3\nItem3=5\n") << 1 << 0 << 2 << 0;
        QTest::newRow("Option = -1") << engine("Option=-1\nItem1=5\n") << 1 << 0 << 0 << 0;
        QTest::newRow("Item1 = 101") << engine("Option=1\nItem1=101\nValue1=101\n") << 1 << 0 << 1 << 100;
        QTest::newRow("Item1 = -2") << engine("Option=1\nItem1=-2\nValue1=1\n") << 1 << 0 << 1 << 0;
    }
    void countsClamped() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, engines);
        QFETCH(int, fields);
        QFETCH(int, options);
        QFETCH(int, choices);
        const Engine_Type catalogue = load(bytes);
        verifyWithinCapacity(catalogue);
        QCOMPARE(catalogue.Count, engines);
        if (engines > 0) {
            QCOMPARE(catalogue.Items[0].Variable.Count, fields);
            QCOMPARE(catalogue.Items[0].Option, options);
            QCOMPARE(catalogue.Items[0].Item[0].Count, choices);
        }
    }

    void hostileFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("NUL bytes") << QByteArray("[Engine]\0\nAmount=2\0\nTitle1=\0\n", 29);
        QTest::newRow("invalid UTF-8 title")
            << QByteArray("[Engine]\nAmount=1\nTitle1=\xff\xfe\n[\xff\xfe]\nOption=1\n");
        QTest::newRow("500 untitled engines") << QByteArray("[Engine]\nAmount=500\n[]\nvar=50\n");
    }
    void hostileFiles() {
        QFETCH(QByteArray, bytes);
        verifyWithinCapacity(load(bytes));
    }

    void missingAndUnreadableFiles() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QCOMPARE(ReadEngineFile(dir.path()).Count, 0);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Engine.dat"))); // exists, cannot be read
        QCOMPARE(ReadEngineFile(dir.path()).Count, 0);
    }

    // Not a regular file, or a reading asked to stop: an empty catalogue at once.
    void specialFilesAndStop_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to /dev/zero") << QStringLiteral("device");
        QTest::newRow("stop requested") << QString();
    }
    void specialFilesAndStop() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Engine.dat"));
        std::stop_source stop;
        if (kind.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[Engine]\nAmount=1\nTitle1=e\n") > 0);
            stop.request_stop();
        } else {
            QVERIFY(makeNonRegularFile(kind, path));
        }
        QCOMPARE(ReadEngineFile(dir.path(), stop.get_token()).Count, 0);
    }

    // Only what the table names is kept, wherever the table stands; repeated sections and keys
    // still resolve to their first occurrence.
    void sectionsPastTheTable() {
        const QByteArray bytes(
            "[b]\nUrl=first b\n[x]\nUrl=x\n[B]\nUrl=second b\n"
            "[Engine]\nTitle2=b\nAmount=2\nTitle1=a\nTitle1=ignored\n[A]\nurl=a\n[Engine]\nAmount=1\n");
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("Engine.dat")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        for (const Engine_Type& catalogue : {load(bytes), ReadEngineFile(dir.path())}) {
            QCOMPARE(catalogue.Count, 2);
            QCOMPARE(catalogue.Items[0].Title, QStringLiteral("a"));
            QCOMPARE(catalogue.Items[0].Url, QStringLiteral("a"));
            QCOMPARE(catalogue.Items[1].Url, QStringLiteral("first b"));
        }
    }

    // Where the catalogue is read from: the start folder first, then the user's data folder, then
    // each system data folder in turn, then the program's own; the start folder when none has it.
    void catalogueLocation_data() {
        QTest::addColumn<QStringList>("holding");
        QTest::addColumn<QString>("expected");
        QTest::newRow("start folder before all") << QStringList{"start", "home", "dirs1", "installed"} << "start";
        QTest::newRow("user's data folder") << QStringList{"home", "dirs1", "dirs2", "installed"} << "home/torvane";
        QTest::newRow("system folders in order") << QStringList{"dirs1", "dirs2", "installed"} << "dirs1/torvane";
        QTest::newRow("second system folder") << QStringList{"dirs2", "installed"} << "dirs2/torvane";
        QTest::newRow("installed catalogue last") << QStringList{"installed"} << "installed";
        QTest::newRow("none anywhere") << QStringList{} << "start";
    }
    void catalogueLocation() {
        QFETCH(QStringList, holding);
        QFETCH(QString, expected);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QDir dir(root.path());
        for (const char* folder : {"start", "home/torvane", "dirs1/torvane", "dirs2/torvane", "installed"})
            QVERIFY(dir.mkpath(folder));
        for (const QString& place : holding) {
            const QString folder = place == "start" || place == "installed" ? place : place + "/torvane";
            QFile file(dir.filePath(folder + "/Engine.dat"));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QByteArray home = qgetenv("XDG_DATA_HOME");
        const QByteArray dirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("home")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath("dirs1") + ':' + dir.filePath("dirs2")));
        const QString found = locateCatalogueFolder(dir.filePath("start"), dir.filePath("installed"));
        qputenv("XDG_DATA_HOME", home);
        qputenv("XDG_DATA_DIRS", dirs);
        QCOMPARE(found, dir.filePath(expected));
    }

    // The catalogue shipped with the program loads, and every IndexNow entry asks for its key.
    void shippedCatalogue() {
        const Engine_Type catalogue = ReadEngineFile(QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        verifyWithinCapacity(catalogue);
        QVERIFY(catalogue.Count >= 7);
        int indexNow = 0;
        for (const Engine_Data& engine : catalogue.Items) {
            QVERIFY2(!engine.Title.isEmpty() && engine.Url.startsWith(QStringLiteral("http")),
                     qPrintable(engine.Title));
            QVERIFY(!engine.Url.contains(u'?'));
            if (!engine.Url.endsWith(QStringLiteral("/indexnow")))
                continue;
            ++indexNow;
            QCOMPARE(engine.Variable.Names, QStringList({"url", "key"}));
            QCOMPARE(engine.Variable.Values, QStringList({"VAR16", "VAR28"}));
            QCOMPARE(engine.Option, 1);
            QCOMPARE(engine.Item[0].Count, 0);
            QCOMPARE(engine.Value[0].Count, 0);
            QVERIFY(!engine.Option_Title[0].isEmpty());
            QVERIFY(!engine.Error[0].isEmpty());
        }
        QCOMPARE(indexNow, 6);
        const int ping = catalogue.indexOfTitle(QStringLiteral("Ping-O-Matic"));
        QVERIFY(ping >= 0);
        QCOMPARE(catalogue.Items[ping].Url, QStringLiteral("http://pingomatic.com/ping/"));
        QVERIFY(catalogue.Items[ping].Variable.Values.contains(QStringLiteral("on")));
    }
};

QTEST_GUILESS_MAIN(TestEngineCatalogue)
#include "test_engine_catalogue.moc"
