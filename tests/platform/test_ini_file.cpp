#include "platform/ini_file.h"
#include "support/non_regular_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QByteArray kMissing = "<missing>";

// The value of section/key, or kMissing when the key cannot be found.
QByteArray lookUp(const IniFile& file, const QByteArray& section, const QByteArray& key) {
    return file.hasKey(section, key) ? file.readBytes(section, key) : kMissing;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool runningAsRoot() {
    return geteuid() == 0;
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    void read_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected");

        // Section headers.
        QTest::newRow("header without ]")
            << QByteArray("[sec\nk=v\n") << QByteArray("sec") << QByteArray("k") << QByteArray("v");
        QTest::newRow("header ends at first ]")
            << QByteArray("[a]b]\nk=v\n") << QByteArray("a") << QByteArray("k") << QByteArray("v");
        QTest::newRow("header trimmed") << QByteArray("  [ s \t]\nk=v\n") << QByteArray("s") << QByteArray("k")
                                        << QByteArray("v");
        QTest::newRow("text after ] ignored")
            << QByteArray("[s]k=v\n") << QByteArray("s") << QByteArray("k") << kMissing;
        QTest::newRow("empty header unreachable")
            << QByteArray("[]\nk=v\n") << QByteArray("") << QByteArray("k") << kMissing;
        QTest::newRow("names ignore letter case")
            << QByteArray("[SeC]\nKeY=v\n") << QByteArray("sEc") << QByteArray("kEy") << QByteArray("v");
        QTest::newRow("non-ASCII letters match exactly")
            << QByteArray("[\xc3\x84]\nk=v\n") << QByteArray("\xc3\xa4") << QByteArray("k") << kMissing;

        // Comments and lines that are no keys.
        QTest::newRow(";k=v as k") << QByteArray("[s]\n;k=v\n") << QByteArray("s") << QByteArray("k") << kMissing;
        QTest::newRow(";k=v as ;k") << QByteArray("[s]\n;k=v\n") << QByteArray("s") << QByteArray(";k") << kMissing;
        QTest::newRow("#k=v is a key") << QByteArray("[s]\n#k=v\n") << QByteArray("s") << QByteArray("#k")
                                       << QByteArray("v");
        QTest::newRow("line k is no key") << QByteArray("[s]\nk\n") << QByteArray("s") << QByteArray("k") << kMissing;
        QTest::newRow("=v has no name") << QByteArray("[s]\n=v\n") << QByteArray("s") << QByteArray("") << kMissing;
        QTest::newRow("before first section")
            << QByteArray("k=v\n[s]\n") << QByteArray("s") << QByteArray("k") << kMissing;

        // Keys and values.
        QTest::newRow("blanks around key and value")
            << QByteArray("[s]\n k \t= \t v \t\n") << QByteArray("s") << QByteArray("k") << QByteArray("v");
        QTest::newRow("value up to line end")
            << QByteArray("[s]\nk=a=b\n") << QByteArray("s") << QByteArray("k") << QByteArray("a=b");
        QTest::newRow("no comment after value")
            << QByteArray("[s]\nk=v ;x\n") << QByteArray("s") << QByteArray("k") << QByteArray("v ;x");
        QTest::newRow("first of two keys")
            << QByteArray("[s]\nk=1\nK=2\n") << QByteArray("s") << QByteArray("k") << QByteArray("1");
        QTest::newRow("key only in second like-named section")
            << QByteArray("[s]\na=1\n[S]\nk=2\n") << QByteArray("s") << QByteArray("k") << kMissing;
        QTest::newRow("first like-named section counts")
            << QByteArray("[s]\nk=1\n[S]\nk=2\n") << QByteArray("s") << QByteArray("k") << QByteArray("1");
        QTest::newRow("names are not trimmed")
            << QByteArray("[s]\nk=v\n") << QByteArray("s") << QByteArray(" k") << kMissing;

        // Quotes.
        QTest::newRow("quotes keep inner blanks")
            << QByteArray("[s]\nk=\"  v  \"\n") << QByteArray("s") << QByteArray("k") << QByteArray("  v  ");
        QTest::newRow("single quotes") << QByteArray("[s]\nk='v'\n") << QByteArray("s") << QByteArray("k")
                                       << QByteArray("v");
        QTest::newRow("mismatched quotes stay")
            << QByteArray("[s]\nk=\"v'\n") << QByteArray("s") << QByteArray("k") << QByteArray("\"v'");
        QTest::newRow("one pair only") << QByteArray("[s]\nk=\"\"v\"\"\n") << QByteArray("s") << QByteArray("k")
                                       << QByteArray("\"v\"");
        QTest::newRow("lone quote stays")
            << QByteArray("[s]\nk=\"\n") << QByteArray("s") << QByteArray("k") << QByteArray("\"");
        QTest::newRow("two quotes are empty")
            << QByteArray("[s]\nk=\"\"\n") << QByteArray("s") << QByteArray("k") << QByteArray("");

        // Line endings and hostile bytes.
        QTest::newRow("CR LF") << QByteArray("[s]\r\nk=v\r\n") << QByteArray("s") << QByteArray("k") << QByteArray("v");
        QTest::newRow("CR only") << QByteArray("[s]\rj=1\rk=v\r") << QByteArray("s") << QByteArray("k")
                                 << QByteArray("v");
        QTest::newRow("mixed endings") << QByteArray("[s]\r\nj=1\rk=v\nl=2") << QByteArray("s") << QByteArray("k")
                                       << QByteArray("v");
        QTest::newRow("no final line break")
            << QByteArray("[s]\nk=v") << QByteArray("s") << QByteArray("k") << QByteArray("v");
        QTest::newRow("byte order mark skipped")
            << QByteArray("\xef\xbb\xbf[s]\nk=v\n") << QByteArray("s") << QByteArray("k") << QByteArray("v");
        QTest::newRow("NUL inside value")
            << QByteArray("[s]\nk=a\0b\n", 10) << QByteArray("s") << QByteArray("k") << QByteArray("a\0b", 3);
        QTest::newRow("invalid UTF-8 value")
            << QByteArray("[s]\nk=\xff\xc3\n") << QByteArray("s") << QByteArray("k") << QByteArray("\xff\xc3");
        QTest::newRow("empty file") << QByteArray() << QByteArray("s") << QByteArray("k") << kMissing;

        // Length.
        QTest::newRow("3000 bytes keep 2047") << QByteArray("[s]\nk=" + QByteArray(3000, 'x') + "\n") << QByteArray("s")
                                              << QByteArray("k") << QByteArray(2047, 'x');
        QTest::newRow("cut on a character boundary") << QByteArray("[s]\nk=" + QByteArray(2046, 'x') + "\xc3\xa9\n")
                                                     << QByteArray("s") << QByteArray("k") << QByteArray(2046, 'x');
    }
    void read() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        QCOMPARE(lookUp(IniFile::fromBytes(bytes), section, key), expected);
    }

    void readText() {
        const IniFile file = IniFile::fromBytes("[s]\nutf8=Stra\xc3\x9f"
                                                "e\nold=M\xfcnchen\n");
        QCOMPARE(file.readText("s", "utf8"), QStringLiteral("Straße"));
        QCOMPARE(file.readText("s", "old"), QStringLiteral("München"));
        QCOMPARE(file.readText(QStringLiteral("S"), QStringLiteral("UTF8")), QStringLiteral("Straße"));
        QCOMPARE(file.readText("s", "missing"), QString());
    }

    void integers_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("-1") << QByteArray("-1") << -1;
        QTest::newRow("+7") << QByteArray("+7") << 7;
        QTest::newRow("0x1F") << QByteArray("0x1F") << 31;
        QTest::newRow("$1F") << QByteArray("$1F") << 31;
        QTest::newRow("leading zeros") << QByteArray("007") << 7;
        QTest::newRow("quoted") << QByteArray("\" 5 \"") << 5;
        QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("smallest") << QByteArray("-2147483648") << int(-2147483648LL);
        QTest::newRow("12abc") << QByteArray("12abc") << 42;
        QTest::newRow("--1") << QByteArray("--1") << 42;
        QTest::newRow("empty") << QByteArray("") << 42;
        QTest::newRow("99999999999") << QByteArray("99999999999") << 42;
        QTest::newRow("2147483648") << QByteArray("2147483648") << 42;
        QTest::newRow("0xFFFFFFFF") << QByteArray("0xFFFFFFFF") << 42;
        QTest::newRow("prefix only") << QByteArray("0x") << 42;
        QTest::newRow("sign before hex") << QByteArray("-0x10") << 42;
        QTest::newRow("long digit string") << QByteArray(5000, '9') << 42;
    }
    void integers() {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        const IniFile file = IniFile::fromBytes("[s]\nk=" + value + "\n");
        QCOMPARE(file.readInteger("s", "k", 42), expected);
        QCOMPARE(file.readInteger("s", "missing", 42), 42);
    }

    // Bytes the program does not write come back exactly.
    void untouchedRoundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("byte order mark only") << QByteArray("\xef\xbb\xbf");
        QTest::newRow("mixed endings, no final break") << QByteArray("[s]\r\nk=v\rj=w\n\r\n\r\r\nlast");
        QTest::newRow("NUL and invalid UTF-8") << QByteArray("[s\0]\n\xff\xfe=\0\n  ; \x80\n", 16);
        QTest::newRow("blanks kept") << QByteArray("  [ s ]  \n\t k = v \t\n");
    }
    void untouchedRoundTrip() {
        QFETCH(QByteArray, bytes);
        QCOMPARE(IniFile::fromBytes(bytes).toBytes(), bytes);
    }

    void write_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("replaced where it stands")
            << QByteArray("[s]\r\nk=old\r\nj=1\r\n") << QByteArray("s") << QByteArray("k") << QByteArray("new")
            << QByteArray("[s]\r\nk=new\r\nj=1\r\n");
        QTest::newRow("replaced line spelled as written")
            << QByteArray("[S]\n  K = v \n") << QByteArray("s") << QByteArray("k") << QByteArray("w")
            << QByteArray("[S]\nk=w\n");
        QTest::newRow("last line replaced without a break")
            << QByteArray("[s]\nk=v") << QByteArray("s") << QByteArray("k") << QByteArray("w")
            << QByteArray("[s]\nk=w");
        QTest::newRow("new key before trailing comments and blanks")
            << QByteArray("[a]\nx=1\n; note\n\nloose line\n[b]\ny=2\n") << QByteArray("a") << QByteArray("z")
            << QByteArray("3") << QByteArray("[a]\nx=1\nz=3\n; note\n\nloose line\n[b]\ny=2\n");
        QTest::newRow("new key after a repeated key")
            << QByteArray("[a]\nx=1\nX=2\n\n") << QByteArray("a") << QByteArray("y") << QByteArray("3")
            << QByteArray("[a]\nx=1\nX=2\ny=3\n\n");
        QTest::newRow("new key in a section without keys")
            << QByteArray("[a]\n; c\n[b]\n") << QByteArray("a") << QByteArray("k") << QByteArray("v")
            << QByteArray("[a]\nk=v\n; c\n[b]\n");
        QTest::newRow("new key into the first like-named section")
            << QByteArray("[s]\na=1\n[t]\n[S]\nb=2\n") << QByteArray("s") << QByteArray("b") << QByteArray("3")
            << QByteArray("[s]\na=1\nb=3\n[t]\n[S]\nb=2\n");
        QTest::newRow("lines before the first section untouched")
            << QByteArray("k=v\n[s]\n") << QByteArray("s") << QByteArray("k") << QByteArray("w")
            << QByteArray("k=v\n[s]\nk=w\n");
        QTest::newRow("missing section appended") << QByteArray("[a]\nx=1\n") << QByteArray("b") << QByteArray("k")
                                                  << QByteArray("v") << QByteArray("[a]\nx=1\n[b]\nk=v\n");
        QTest::newRow("section appended after a missing final break")
            << QByteArray("[a]\nx=1") << QByteArray("b") << QByteArray("k") << QByteArray("v")
            << QByteArray("[a]\nx=1\n[b]\nk=v\n");
        QTest::newRow("key appended after a missing final break")
            << QByteArray("[a]\r\nx=1") << QByteArray("a") << QByteArray("y") << QByteArray("2")
            << QByteArray("[a]\r\nx=1\r\ny=2\r\n");
        QTest::newRow("CR-only file gets CR") << QByteArray("[a]\rx=1\r") << QByteArray("b") << QByteArray("k")
                                              << QByteArray("v") << QByteArray("[a]\rx=1\r[b]\rk=v\r");
        QTest::newRow("first ending decides") << QByteArray("; c\r\n[a]\nx=1\n") << QByteArray("a") << QByteArray("y")
                                              << QByteArray("2") << QByteArray("; c\r\n[a]\nx=1\ny=2\r\n");
        QTest::newRow("empty file") << QByteArray() << QByteArray("s") << QByteArray("k") << QByteArray("v")
                                    << QByteArray("[s]\nk=v\n");
        QTest::newRow("byte order mark kept")
            << QByteArray("\xef\xbb\xbf[s]\nk=1\n") << QByteArray("s") << QByteArray("k") << QByteArray("2")
            << QByteArray("\xef\xbb\xbf[s]\nk=2\n");
        QTest::newRow("byte order mark only") << QByteArray("\xef\xbb\xbf") << QByteArray("s") << QByteArray("k")
                                              << QByteArray("v") << QByteArray("\xef\xbb\xbf[s]\nk=v\n");
        QTest::newRow("NUL and invalid UTF-8 survive")
            << QByteArray("[s]\nbad=\xff\xfe\nnul=a\0b\n; \x80\n", 23) << QByteArray("s") << QByteArray("k")
            << QByteArray("v") << QByteArray("[s]\nbad=\xff\xfe\nnul=a\0b\nk=v\n; \x80\n", 27);
        QTest::newRow("value written as given") << QByteArray("[s]\n") << QByteArray("s") << QByteArray("k")
                                                << QByteArray(" \"v\" ") << QByteArray("[s]\nk= \"v\" \n");
    }
    void write() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        IniFile file = IniFile::fromBytes(before);
        QCOMPARE(file.writeBytes(section, key, value), QString());
        QCOMPARE(file.toBytes(), after);
        // The written value reads back as the reading rules present it, also after a reparse.
        const QByteArray presented = IniFile::fromBytes(after).readBytes(section, key);
        QCOMPARE(file.readBytes(section, key), presented);
    }

    void writesInSequence() {
        IniFile file = IniFile::fromBytes("[a]\nx=1\n\n[b]\n");
        QCOMPARE(file.writeBytes("a", "y", "2"), QString());
        QCOMPARE(file.writeBytes("a", "z", "3"), QString());
        QCOMPARE(file.writeBytes("c", "k", "v"), QString());
        QCOMPARE(file.writeBytes("c", "j", "w"), QString());
        QCOMPARE(file.writeBytes("a", "y", "two"), QString());
        QCOMPARE(file.writeText(QStringLiteral("Ä"), QStringLiteral("k"), QStringLiteral("é")), QString());
        QCOMPARE(file.toBytes(), QByteArray("[a]\nx=1\ny=two\nz=3\n\n[b]\n[c]\nk=v\nj=w\n[\xc3\x84]\nk=\xc3\xa9\n"));
        QCOMPARE(file.readBytes("A", "Y"), QByteArray("two"));
        QCOMPARE(file.readText(QStringLiteral("Ä"), QStringLiteral("K")), QStringLiteral("é"));
    }

    void refusedWrites_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("value with LF") << QByteArray("s") << QByteArray("k") << QByteArray("a\nb");
        QTest::newRow("value with CR") << QByteArray("s") << QByteArray("k") << QByteArray("a\rb");
        QTest::newRow("empty key") << QByteArray("s") << QByteArray("") << QByteArray("v");
        QTest::newRow("key starting with ;") << QByteArray("s") << QByteArray(";k") << QByteArray("v");
        QTest::newRow("key starting with [") << QByteArray("s") << QByteArray("[k") << QByteArray("v");
        QTest::newRow("key holding =") << QByteArray("s") << QByteArray("k=j") << QByteArray("v");
        QTest::newRow("key holding a line break") << QByteArray("s") << QByteArray("k\nj") << QByteArray("v");
        QTest::newRow("key with outer blank") << QByteArray("s") << QByteArray("k ") << QByteArray("v");
        QTest::newRow("empty section") << QByteArray("") << QByteArray("k") << QByteArray("v");
        QTest::newRow("section holding ]") << QByteArray("a]b") << QByteArray("k") << QByteArray("v");
        QTest::newRow("section holding a line break") << QByteArray("a\r\nb") << QByteArray("k") << QByteArray("v");
        QTest::newRow("section with outer blank") << QByteArray("\ts") << QByteArray("k") << QByteArray("v");
    }
    void refusedWrites() {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        const QByteArray before("[s]\nk=old");
        IniFile file = IniFile::fromBytes(before);
        QVERIFY(!file.writeBytes(section, key, value).isEmpty());
        QCOMPARE(file.toBytes(), before);
        QCOMPARE(file.readBytes("s", "k"), QByteArray("old"));
    }

    void sectionHandle() {
        IniFile file = IniFile::fromBytes("[s]\nk=v\n");
        const IniFile::Section present = file.section("S");
        const IniFile::Section absent = file.section("t");
        QVERIFY(present.exists());
        QVERIFY(!absent.exists());
        QCOMPARE(file.writeBytes("t", "k", "w"), QString());
        QCOMPARE(file.writeBytes("s", "j", "x"), QString());
        QCOMPARE(file.readBytes(present, "j"), QByteArray("x"));
        QCOMPARE(file.readText(absent, "k"), QString());
        QCOMPARE(file.readText(file.section("t"), "k"), QStringLiteral("w"));
        // A handle from another file never reads past this file's sections.
        const IniFile other = IniFile::fromBytes("[a]\n[b]\n[c]\nk=1\n");
        QCOMPARE(file.readInteger(other.section("c"), "k", -1), -1);
    }

    void hugeLine() {
        const QByteArray bytes = "[s]\nbig=" + QByteArray(1024 * 1024, 'x') + "\nafter=1\n";
        IniFile file = IniFile::fromBytes(bytes);
        QCOMPARE(file.readBytes("s", "big"), QByteArray(IniFile::kMaxValueBytes, 'x'));
        QCOMPARE(file.readInteger("s", "after", 0), 1);
        QCOMPARE(file.writeBytes("s", "new", "2"), QString());
        QCOMPARE(file.toBytes(), bytes + "new=2\n");
    }

    void manySections() {
        QByteArray bytes;
        for (int i = 0; i < 100000; ++i)
            bytes += "[section" + QByteArray::number(i) + "]\nk=" + QByteArray::number(i) + "\n";
        bytes += "[last]\nkey=found\n";
        const IniFile file = IniFile::fromBytes(bytes);
        QCOMPARE(file.readBytes("LAST", "key"), QByteArray("found"));
        QCOMPARE(file.readInteger("section99999", "k", -1), 99999);
    }

    void loadAndSave() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("profile.tvp");

        IniFile missing = IniFile::load(path);
        QCOMPARE(missing.loadError(), QString());
        QCOMPARE(missing.writeBytes("s", "k", "v"), QString());
        QCOMPARE(missing.save(path), QString());
        QCOMPARE(readFile(path), QByteArray("[s]\nk=v\n"));

        const QByteArray before("; keep\r\n[s]\r\nk=v\r\n\xff\r\n");
        QVERIFY(writeFile(path, before));
        IniFile file = IniFile::load(path);
        QCOMPARE(file.loadError(), QString());
        QCOMPARE(file.writeBytes("s", "j", "w"), QString());
        QCOMPARE(file.save(path), QString());
        QCOMPARE(readFile(path), QByteArray("; keep\r\n[s]\r\nk=v\r\nj=w\r\n\xff\r\n"));
    }

    // What is not a regular file is refused at once, unread, and never written over.
    void specialFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to /dev/zero") << QStringLiteral("device");
    }
    void specialFiles() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("special.tvp");
        QVERIFY(makeNonRegularFile(kind, path));
        for (const IniFile& file : {IniFile::load(path), IniFile::load(path, IniFile::Selection{{"s"}, {"k"}})}) {
            QVERIFY(file.loadError().endsWith(QStringLiteral("it is not a regular file")));
            QVERIFY(file.save(path).startsWith(QStringLiteral("Unable to write to ")));
        }
    }

    // A partial read answers for the selected part exactly as the whole file does, finds
    // nothing else, and cannot be written.
    void selection() {
        const QByteArray bytes("[a]\nk=1\nx=2\n[B]\nk=3\n[A]\nk=4\n[c]\nk=5\n[b]\nk=6\n");
        IniFile part = IniFile::fromBytes(bytes).select(IniFile::Selection{{"A", "b", "b"}, {"K"}});
        QCOMPARE(part.readInteger("a", "k", 0), 1);
        QCOMPARE(part.readInteger("b", "k", 0), 3);
        QVERIFY(!part.hasKey("a", "x"));
        QVERIFY(!part.hasSection("c"));
        QCOMPARE(part.toBytes(), bytes);
        QVERIFY(!part.writeBytes("a", "k", "9").isEmpty());
        QVERIFY(!part.save(QStringLiteral("never-written.tvp")).isEmpty());
        QVERIFY(!QFile::exists(QStringLiteral("never-written.tvp")));

        std::stop_source stop;
        stop.request_stop();
        QByteArray many;
        for (int i = 0; i < 70000; ++i)
            many += "k=v\n";
        QVERIFY(!IniFile::fromBytes(many).select({{"s"}, {"k"}}, stop.get_token()).loadError().isEmpty());
    }

    void unreadableFileIsNeverOverwritten() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A folder exists but cannot be read as a file.
        IniFile folder = IniFile::load(dir.path());
        QVERIFY(!folder.loadError().isEmpty());
        QCOMPARE(folder.save(dir.path()), QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(dir.path()));

        if (runningAsRoot())
            QSKIP("permission bits do not stop root from reading");
        const QString path = dir.filePath("locked.tvp");
        QVERIFY(writeFile(path, "[s]\nk=v\n"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        IniFile locked = IniFile::load(path);
        QVERIFY(!locked.loadError().isEmpty());
        QCOMPARE(locked.writeBytes("s", "j", "w"), QString());
        QCOMPARE(locked.save(path), QStringLiteral("Unable to write to ") + path);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(readFile(path), QByteArray("[s]\nk=v\n"));
    }

    void failingSave_data() {
        QTest::addColumn<QString>("target"); // relative to a fresh temporary folder
        QTest::addColumn<bool>("rootCanWrite");
        QTest::newRow("read-only file") << QStringLiteral("ro.tvp") << true;
        QTest::newRow("read-only folder") << QStringLiteral("rodir/p.tvp") << true;
        QTest::newRow("missing folder") << QStringLiteral("missing/p.tvp") << false;
        QTest::newRow("folder under a regular file") << QStringLiteral("plain/p.tvp") << false;
        QTest::newRow("target is a folder") << QStringLiteral("rodir") << false;
    }
    void failingSave() {
        QFETCH(QString, target);
        QFETCH(bool, rootCanWrite);
        if (rootCanWrite && runningAsRoot())
            QSKIP("permission bits do not stop root from writing");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray old("[s]\nk=old\n");
        QVERIFY(writeFile(dir.filePath("ro.tvp"), old));
        QVERIFY(QFile::setPermissions(dir.filePath("ro.tvp"), QFileDevice::ReadOwner));
        QVERIFY(QDir(dir.path()).mkdir("rodir"));
        QVERIFY(writeFile(dir.filePath("plain"), "x"));
        QVERIFY(QFile::setPermissions(dir.filePath("rodir"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        const QString path = dir.filePath(target);
        IniFile file = IniFile::fromBytes(old);
        QCOMPARE(file.writeBytes("s", "k", "new"), QString());
        QCOMPARE(file.save(path), QStringLiteral("Unable to write to ") + path);
        QCOMPARE(readFile(dir.filePath("ro.tvp")), old);
        QCOMPARE(QDir(dir.filePath("rodir")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QVERIFY(QFile::setPermissions(dir.filePath("rodir"),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    void relativePathReportedInFull() {
        const IniFile file;
        const QString error = file.save(QStringLiteral("no-such-folder-here/p.tvp"));
        QCOMPARE(error, QStringLiteral("Unable to write to ") +
                            QDir::toNativeSeparators(QDir::current().absoluteFilePath("no-such-folder-here/p.tvp")));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_ini_file.moc"
