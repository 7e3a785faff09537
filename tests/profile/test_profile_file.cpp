#include "platform/ini_file.h"
#include "platform/text_codec.h"
#include "profile/core/profile_file.h"
#include "support/test_data.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

Q_DECLARE_METATYPE(Engine_Data)

using namespace Qt::StringLiterals;

namespace {

Engine_Data engine(const QString& title, int options = 0, int values1 = 0, int values2 = 0) {
    Engine_Data e;
    e.Title = title;
    e.Option = options;
    e.Value[0].Count = values1;
    e.Value[1].Count = values2;
    return e;
}

Engine_Type catalogueOf(const QList<Engine_Data>& engines) {
    Engine_Type catalogue;
    catalogue.Items = engines;
    catalogue.Count = engines.size();
    return catalogue;
}

ProfileFields allFields(const QString& text) {
    ProfileFields f{text, text, text, text, text, text, text, text, text, text, text, text, text, text, text, {}, {}};
    f.Keyword.fill(text);
    f.Description = text;
    f.Google_Key_File = text;
    return f;
}

// Each field holds a text of its own, so a value under the wrong key shows.
ProfileFields distinctFields() {
    ProfileFields f{"Acme",
                    "ann@acme.example",
                    "Ann",
                    "Lee",
                    "1 Main St",
                    "Springfield",
                    "IL",
                    "62701",
                    "United States",
                    "US  ",
                    "555-0100",
                    "",
                    "secret",
                    "Acme Tools",
                    "http://acme.example/",
                    {},
                    {}};
    f.Keyword = {"k1", "k2", "", "k4", "k5", "k6", "k7", "k8"};
    f.Description = "We make tools.\r\n  Good ones.  ";
    return f;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What a failing save must leave behind: the file's bytes, or that it is a folder / missing.
QByteArray stateOf(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return "<folder>";
    if (!info.exists())
        return "<missing>";
    return readAll(path);
}

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    // Every field and every option text of every kind survives a save and an Open.
    void roundTrip_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks at both ends") << "  two blanks  ";
        QTest::newRow("tab at the start") << "\tindented";
        QTest::newRow("enclosed in double quotes") << "\"quoted\"";
        QTest::newRow("enclosed in single quotes") << "'quoted'";
        QTest::newRow("a lone quote") << "\"";
        QTest::newRow("quoted inside blanks") << " \"a\" ";
        QTest::newRow("equals and semicolons") << "a=b;c = d";
        QTest::newRow("starts with a semicolon") << ";not a comment";
        QTest::newRow("section-like") << "[x]";
        QTest::newRow("key-like") << "Selected=1";
        QTest::newRow("non-ASCII letters") << "Zoë Ångström, 東京 €";
        QTest::newRow("two lines") << "first\r\nsecond";
        QTest::newRow("lines that look like a section and a key") << "intro\r\n[x]\r\nSelected=1\r\n; note";
        QTest::newRow("lines with blanks and quotes") << "  a  \r\n\"b\"\r\n'c'";
        QTest::newRow("empty lines and a trailing break") << "a\r\n\r\nb\r\n";
        QTest::newRow("a longest line") << QString(IniFile::kMaxValueBytes, u'x') + "\r\nshort";
    }
    void roundTrip() {
        QFETCH(QString, value);
        const QString file = path("round trip.tvp");
        QFile::remove(file);

        Engine_Type written = catalogueOf({engine("one", 1, 2), engine("two", 2, 1, 1), engine("no values", 2)});
        for (Engine_Data& e : written.Items) {
            e.Selected = 1;
            e.Option1 = e.OptVal1 = e.Option2 = e.OptVal2 = value;
        }
        const ProfileFields fields = allFields(value);
        QCOMPARE(WriteDataFile(file, ReadData(fields), written), QString());

        Engine_Type read = catalogueOf({engine("one", 1, 2), engine("two", 2, 1, 1), engine("no values", 2)});
        QCOMPARE(ReadDataFile(file, read), fields);
        for (const Engine_Data& e : std::as_const(read.Items)) {
            QCOMPARE(e.Selected, qint16(1));
            QCOMPARE(e.Option1, value);
            QCOMPARE(e.OptVal1, value);
            QCOMPARE(e.Option2, e.Option == 2 ? value : QString());
            QCOMPARE(e.OptVal2, e.Option == 2 ? value : QString());
        }
    }

    // The Google key file's path is kept under its own key only while it is set; cleared, the
    // key stays empty rather than leaving the old path behind.
    void googleKeyFilePath() {
        const QString file = path("google.tvp");
        QFile::remove(file);
        Engine_Type catalogue = catalogueOf({engine("Plain")});
        ProfileFields fields = distinctFields();
        QCOMPARE(WriteDataFile(file, ReadData(fields), catalogue), QString());
        QVERIFY(!IniFile::load(file).hasKey("Site Info", "Google_Key_File"));
        for (const QString& keyPath : {QStringLiteral("/home/ann/keys/site key.json"), QString()}) {
            fields.Google_Key_File = keyPath;
            QCOMPARE(WriteDataFile(file, ReadData(fields), catalogue), QString());
            QCOMPARE(ReadDataFile(file, catalogue), fields);
            QVERIFY(IniFile::load(file).hasKey("Site Info", "Google_Key_File"));
        }
    }

    // Any break ends a line, as it does in the file itself; lines come back joined by CR LF.
    void lineBreaksComeBackAsCrLf() {
        const QString file = path("breaks.tvp");
        ProfileFields fields;
        fields.Description = "lf\ncr\rcrlf\r\nlf cr\n\rend";
        Engine_Type catalogue;
        QCOMPARE(WriteDataFile(file, ReadData(fields), catalogue), QString());
        QCOMPARE(ReadDataFile(file, catalogue).Description, "lf\r\ncr\r\ncrlf\r\nlf cr\r\n\r\nend");
    }

    // A value longer than one key can hold comes back whole; its first key keeps the value's
    // start for readers that know only that key.
    void longValuesComeBackWhole_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("3000 characters") << QString(3000, u'x');
        QTest::newRow("2108 characters with blanks at a cut") << QString(2046, u'o') + "   " + QString(59, u'p');
        QTest::newRow("699 CJK characters") << QString(699, u'東');
        QTest::newRow("long second line") << "short\r\n" + QString(5000, u'y') + "\r\nlast";
    }
    void longValuesComeBackWhole() {
        QFETCH(QString, value);
        const QString file = path("long.tvp");
        QFile::remove(file);
        ProfileFields fields;
        fields.Keyword[0] = fields.Description = value;
        Engine_Type catalogue = catalogueOf({engine("E", 1, 1)});
        catalogue.Items[0].Option1 = catalogue.Items[0].OptVal1 = value;
        QCOMPARE(WriteDataFile(file, ReadData(fields), catalogue), QString());

        Engine_Type read = catalogueOf({engine("E", 1, 1)});
        QCOMPARE(ReadDataFile(file, read), fields);
        QCOMPARE(read.Items[0].Option1, value);
        QCOMPARE(read.Items[0].OptVal1, value);
        const QByteArray firstLine = value.section(u'\r', 0, 0).toUtf8();
        QCOMPARE(IniFile::load(file).readBytes("Site Info", "Keyword1"),
                 cutOnCharacterBoundary(firstLine, IniFile::kMaxValueBytes).toByteArray());
    }

    // A writer that knows only "<key>=" rewrites a value: its continuation keys stay in the file
    // but no longer belong to it, so the value reads back as that writer wrote it.
    void olderWriterRewritesFirstKey_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("lines") << "first\r\nsecond\r\nthird";
        QTest::newRow("a long line") << QString(3000, u'x');
        QTest::newRow("a long second line") << "a\r\n" + QString(3000, u'x');
    }
    void olderWriterRewritesFirstKey() {
        QFETCH(QString, value);
        ProfileFields fields;
        fields.Description = value;
        Engine_Type catalogue;
        IniFile file;
        QCOMPARE(WriteDataFile(file, ReadData(fields), catalogue), QString());
        QCOMPARE(file.writeText("Site Info", "Description", "rewritten"), QString());
        QCOMPARE(ReadDataFile(IniFile::fromBytes(file.toBytes()), catalogue).Description, "rewritten");
    }

    // A new file holds exactly the keys of the profile, in their order.
    void newFileLayout() {
        const QString file = path("new.tvp");
        QFile::remove(file);
        Engine_Type catalogue =
            catalogueOf({engine("Plain"), engine("One List", 1, 3), engine("Two Lists", 2, 0, 2),
                         engine("No Values", 1), engine("a]b", 1), engine(""), engine("two\nlines"), engine("plain")});
        catalogue.Items[0].Selected = 1;
        catalogue.Items[1].Selected = 7;
        catalogue.Items[1].Option1 = "Choice";
        catalogue.Items[1].OptVal1 = "c1";
        catalogue.Items[2].Option1 = "First";
        catalogue.Items[2].OptVal1 = "not written: list 1 has no values";
        catalogue.Items[2].Option2 = "Second";
        catalogue.Items[2].OptVal2 = "s2";
        catalogue.Items[3].Option1 = "Typed";
        catalogue.Items[3].OptVal1 = "Typed";
        catalogue.Items[4].Selected = 1;
        catalogue.Items[4].Option1 = "lost";
        catalogue.Items[7].Selected = 1;

        QCOMPARE(WriteDataFile(file, ReadData(distinctFields()), catalogue), QString());
        QCOMPARE(readAll(file), readAll(testDataPath("profile_new.tvp")));
        QCOMPARE(catalogue.Items[1].Selected, qint16(0));
    }

    // Saving over a file replaces the program's keys where they stand and keeps every other line.
    void saveOverExistingFileKeepsItsLines() {
        const QString file = path("existing.tvp");
        QVERIFY(writeAll(file, readAll(testDataPath("profile_existing.tvp"))));
        Engine_Type catalogue = catalogueOf({engine("Plain"), engine("One List", 1, 3)});
        catalogue.Items[1].Selected = 1;
        catalogue.Items[1].Option1 = "Choice";
        catalogue.Items[1].OptVal1 = "c1";
        ProfileFields fields;
        fields.Company = "New Co";
        fields.Description = "one line now";

        QCOMPARE(WriteDataFile(file, ReadData(fields), catalogue), QString());
        QCOMPARE(readAll(file), readAll(testDataPath("profile_existing_saved.tvp")));

        // The stale description lines are not read back, the retired engine's section is ignored.
        Engine_Type reread = catalogueOf({engine("Plain"), engine("One List", 1, 3)});
        QCOMPARE(ReadDataFile(file, reread), fields);
        QCOMPARE(reread.Items[1].Option1, "Choice");
    }

    // A file written by earlier versions: raw values, a description whose later lines stand as
    // lines of their own.
    void oldFormatFileReadsAsBefore() {
        Engine_Type catalogue = catalogueOf({engine("Alpha", 1, 2), engine("beta", 2), engine("Gamma")});
        const ProfileFields fields = ReadDataFile(testDataPath("profile_old.tvp"), catalogue);

        QCOMPARE(fields.Company, "Old Co");
        QCOMPARE(fields.Email, "quoted@example.com");
        QCOMPARE(fields.First_Name, "Ann");
        QCOMPARE(fields.Street, "Straße 5");
        QCOMPARE(fields.Country, "United States");
        QCOMPARE(fields.Country_ID, "US");
        QCOMPARE(fields.Keyword[0], "tools");
        QCOMPARE(fields.Keyword[7], "");
        QCOMPARE(fields.Description, "First line only");

        QCOMPARE(catalogue.Items[0].Selected, qint16(1));
        QCOMPARE(catalogue.Items[0].Option1, "Pick");
        QCOMPARE(catalogue.Items[0].OptVal1, "p1");
        // "Beta" in the file: titles match regardless of letter case.
        QCOMPARE(catalogue.Items[1].Selected, qint16(1));
        QCOMPARE(catalogue.Items[1].Option1, "x");
        QCOMPARE(catalogue.Items[1].OptVal1, "x");
        QCOMPARE(catalogue.Items[1].Option2, "y");
        QCOMPARE(catalogue.Items[1].OptVal2, "y");
        QCOMPARE(catalogue.Items[2].Selected, qint16(0));
    }

    // How one engine's choices are read from its section.
    void engineChoices_data() {
        QTest::addColumn<Engine_Data>("before");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected"); // Selected, Option1, OptVal1, Option2, OptVal2

        Engine_Data twoLists = engine("E", 2, 1, 1);
        twoLists.Selected = 1;
        twoLists.Option1 = twoLists.OptVal1 = twoLists.Option2 = twoLists.OptVal2 = "old";
        Engine_Data noOptions = engine("E", 0);
        noOptions.Option1 = noOptions.OptVal1 = "kept";

        QTest::newRow("no section: available with empty option texts")
            << twoLists << QByteArray("[Other]\nSelected=1\nOption1=a\n") << QStringList{"0", "", "", "", ""};
        QTest::newRow("list without values takes OptVal from the Option text")
            << engine("E", 2) << QByteArray("[E]\nSelected=1\nOptVal1=ignored\nOption1=a\nOption2=b\n")
            << QStringList{"1", "a", "a", "b", "b"};
        QTest::newRow("list with values reads OptVal")
            << engine("E", 2, 1, 1) << QByteArray("[E]\nSelected=1\nOptVal1=v\nOptVal2=w\nOption1=a\nOption2=b\n")
            << QStringList{"1", "a", "v", "b", "w"};
        QTest::newRow("one list ignores the second's keys")
            << engine("E", 1, 1) << QByteArray("[E]\nOption1=a\nOptVal1=v\nOption2=b\nOptVal2=w\n")
            << QStringList{"0", "a", "v", "", ""};
        QTest::newRow("no options keeps the option texts")
            << noOptions << QByteArray("[E]\nSelected=1\nOption1=a\n") << QStringList{"1", "kept", "kept", "", ""};
        QTest::newRow("Selected other than 1 is 0")
            << engine("E") << QByteArray("[E]\nSelected=2\n") << QStringList{"0", "", "", "", ""};
        QTest::newRow("Selected that wraps to 1 in 16 bits is 0")
            << engine("E") << QByteArray("[E]\nSelected=65537\n") << QStringList{"0", "", "", "", ""};
        QTest::newRow("huge line count stops at the first missing line")
            << engine("E", 1) << QByteArray("[E]\nOption1=a\nOption1_Lines=2147483647\nOption1_Line2=b\n")
            << QStringList{"0", "a\r\nb", "a\r\nb", "", ""};
        QTest::newRow("stale lines beyond the count are ignored")
            << engine("E", 1) << QByteArray("[E]\nOption1=a\nOption1_Lines=2\nOption1_Line2=b\nOption1_Line3=c\n")
            << QStringList{"0", "a\r\nb", "a\r\nb", "", ""};
    }
    void engineChoices() {
        QFETCH(Engine_Data, before);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        Engine_Type catalogue = catalogueOf({before});
        ReadDataFile(IniFile::fromBytes(file), catalogue);
        const Engine_Data& e = catalogue.Items[0];
        QCOMPARE(QStringList({QString::number(e.Selected), e.Option1, e.OptVal1, e.Option2, e.OptVal2}), expected);
    }

    // A profile written on an older system names an engine's section by the title's
    // Windows-1252 bytes, as its catalogue does: the choices are found there and saved there.
    void windows1252EngineSection() {
        IniFile file = IniFile::fromBytes("[Caf\xE9]\r\nSelected=1\r\nOption1=Cr\xE8me\r\n");
        Engine_Type catalogue = catalogueOf({engine(u"Caf\u00E9"_s, 1)});
        ReadDataFile(file, catalogue);
        QCOMPARE(catalogue.Items[0].Selected, qint16(1));
        QCOMPARE(catalogue.Items[0].Option1, u"Cr\u00E8me"_s);

        catalogue.Items[0].Option1 = "new";
        QCOMPARE(WriteDataFile(file, ReadData({}), catalogue), QString());
        QCOMPARE(file.toBytes().count("[Caf"), qsizetype(1));
        Engine_Type reread = catalogueOf({engine(u"Caf\u00E9"_s, 1)});
        ReadDataFile(IniFile::fromBytes(file.toBytes()), reread);
        QCOMPARE(reread.Items[0].Selected, qint16(1));
        QCOMPARE(reread.Items[0].Option1, "new");
    }

    // Engines with one title share a section: both are written there, the later one last, and
    // both read the same values back.
    void enginesSharingATitleShareASection() {
        Engine_Type catalogue = catalogueOf({engine("Same", 1), engine("same", 1)});
        catalogue.Items[0].Option1 = "first";
        catalogue.Items[1].Option1 = "second";
        catalogue.Items[1].Selected = 1;
        IniFile file;
        QCOMPARE(WriteDataFile(file, ReadData({}), catalogue), QString());
        ReadDataFile(file, catalogue);
        for (const Engine_Data& e : std::as_const(catalogue.Items)) {
            QCOMPARE(e.Selected, qint16(1));
            QCOMPARE(e.Option1, "second");
        }
    }

    // A line count left from a longer value is set back to 1, so its lines do not come back.
    void shorterValueOverLongerOne_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("three lines, then one") << "a\r\nb\r\nc"
                                               << "only";
        QTest::newRow("three lines, then two") << "a\r\nb\r\nc"
                                               << "x\r\ny";
        QTest::newRow("one line, then one") << "a"
                                            << "b";
    }
    void shorterValueOverLongerOne() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        const QString file = path("shorter.tvp");
        QFile::remove(file);
        Engine_Type catalogue;
        ProfileFields fields;
        fields.Description = first;
        QCOMPARE(WriteDataFile(file, ReadData(fields), catalogue), QString());
        fields.Description = second;
        QCOMPARE(WriteDataFile(file, ReadData(fields), catalogue), QString());
        QCOMPARE(ReadDataFile(file, catalogue).Description, second);
        // A value that never had lines adds no line count.
        QCOMPARE(IniFile::load(file).hasKey("Site Info", "Description_Lines"), first.contains(u'\n'));
    }

    // Whatever the file holds, reading gives a clear result: every key missing.
    void unusableFilesReadAsEmpty_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[\x01=\x02\r\n\x7f", 10) << true;
    }
    void unusableFilesReadAsEmpty() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, exists);
        const QString file = path("unusable.tvp");
        QFile::remove(file);
        if (exists)
            QVERIFY(writeAll(file, bytes));
        Engine_Type catalogue = catalogueOf({engine("E", 1, 1)});
        catalogue.Items[0].Selected = 1;
        catalogue.Items[0].Option1 = catalogue.Items[0].OptVal1 = "old";
        QCOMPARE(ReadDataFile(file, catalogue), ProfileFields());
        QCOMPARE(catalogue.Items[0].Selected, qint16(0));
        QCOMPARE(catalogue.Items[0].Option1, QString());
        QCOMPARE(catalogue.Items[0].OptVal1, QString());
    }

    // A save that cannot complete reports the path and leaves whatever was there untouched.
    void failedSaveLeavesTheFile_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("setup");
        QTest::newRow("missing folder") << "missing/p.tvp"
                                        << "";
        QTest::newRow("path under a regular file") << "plain/p.tvp"
                                                   << "plain file";
        QTest::newRow("target is a folder") << "folder.tvp"
                                            << "folder";
        QTest::newRow("file too large for the disk") << "full.tvp"
                                                     << "size limit";
        QTest::newRow("read-only file") << "readonly.tvp"
                                        << "read-only file";
        QTest::newRow("read-only folder") << "locked/p.tvp"
                                          << "read-only folder";
    }
    void failedSaveLeavesTheFile() {
        QFETCH(QString, target);
        QFETCH(QString, setup);
        const bool root = ::geteuid() == 0;
        if (root && setup.startsWith("read-only"))
            QSKIP("permission bits do not stop root");

        QTemporaryDir dir;
        const QString file = dir.filePath(target);
        const QByteArray existing = "[Contact Info]\r\nCompany=Old\r\n";
        if (setup == "plain file") {
            QVERIFY(writeAll(dir.filePath("plain"), existing));
        } else if (setup == "folder") {
            QVERIFY(QDir(dir.path()).mkdir(target));
        } else if (setup == "read-only file" || setup == "size limit") {
            QVERIFY(writeAll(file, existing));
            if (setup == "read-only file")
                QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
        } else if (setup == "read-only folder") {
            QVERIFY(QDir(dir.path()).mkdir("locked"));
            QVERIFY(writeAll(file, existing));
            QVERIFY(QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner));
        }
        const QByteArray before = stateOf(file);

        // Writes beyond a small size limit fail even for root, as on a full disk.
        rlimit oldLimit{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &oldLimit) == 0);
        if (setup == "size limit") {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit small = oldLimit;
            small.rlim_cur = 256;
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        }
        Engine_Type catalogue;
        const QString error = WriteDataFile(file, ReadData(distinctFields()), catalogue);
        ::setrlimit(RLIMIT_FSIZE, &oldLimit);
        QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(error, "Unable to write to " + file);
        QCOMPARE(stateOf(file), before);
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files | QDir::Hidden).filter(".tvp.").size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "test_profile_file.moc"
