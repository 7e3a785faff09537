#include "platform/text_codec.h"

#include <QTest>

class TestTextCodec : public QObject {
    Q_OBJECT

private slots:
    void decode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("Tom & Jerry") << QStringLiteral("Tom & Jerry");
        QTest::newRow("utf-8") << QByteArray("Stra\xc3\x9f"
                                             "e")
                               << QStringLiteral("Straße");
        QTest::newRow("cp1252 umlaut") << QByteArray("M\xfcnchen") << QStringLiteral("München");
        QTest::newRow("cp1252 euro and quotes") << QByteArray("\x80 \x93x\x94") << QStringLiteral("€ “x”");
        QTest::newRow("overlong is not utf-8") << QByteArray("\xc0\xaf") << QStringLiteral("À¯");
        QTest::newRow("surrogate is not utf-8") << QByteArray("\xed\xa0\x80") << QStringLiteral("í\u00a0€");
        QTest::newRow("cut sequence is not utf-8") << QByteArray("a\xe2\x82") << QStringLiteral("aâ‚");
        QTest::newRow("leading byte order mark kept") << QByteArray("\xef\xbb\xbf") + 'a' << QStringLiteral("\ufeffa");
        QTest::newRow("nul survives") << QByteArray("a\0b", 3) << QStringView(u"a\0b", 3).toString();
    }
    void decode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(decodeFileText(bytes), text);
    }

    void cut_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("short stays") << QByteArray("abc") << 5 << QByteArray("abc");
        QTest::newRow("ascii cut") << QByteArray("abcdef") << 4 << QByteArray("abcd");
        QTest::newRow("before a two-byte letter") << QByteArray("ab\xc3\xa9") << 3 << QByteArray("ab");
        QTest::newRow("after a two-byte letter") << QByteArray("ab\xc3\xa9x") << 4 << QByteArray("ab\xc3\xa9");
        QTest::newRow("inside a four-byte sign") << QByteArray("a\xf0\x9f\x98\x80") << 4 << QByteArray("a");
        QTest::newRow("cp1252 cut at limit") << QByteArray("ab\xe9\xe9") << 3 << QByteArray("ab\xe9");
    }
    void cut() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, limit);
        QFETCH(QByteArray, expected);
        QCOMPARE(cutOnCharacterBoundary(bytes, limit).toByteArray(), expected);
    }
    void displayText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("https://example.com/ä") << QStringLiteral("https://example.com/ä");
        QTest::newRow("escape sequence") << QStringLiteral("a\x1b[31mred\r\n")
                                         << QStringLiteral("a\\x1b[31mred\\x0d\\x0a");
        QTest::newRow("DEL and C1") << QStringLiteral("\x7f\u009b") << QStringLiteral("\\x7f\\x9b");
        QTest::newRow("long line cut") << QString(250, u'x') << QString(200, u'x') + u'…';
        QTest::newRow("pair kept whole at the cut")
            << QString(199, u'x') + QStringLiteral("😀tail") << QString(199, u'x') + QStringLiteral("😀…");
    }
    void displayText() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(::displayText(text), shown);
        QCOMPARE(cutOnCharacter(QStringLiteral("ab😀"), 3), QStringLiteral("ab"));
        // A terminal line the program writes: whole, its line breaks and tabs kept.
        QCOMPARE(terminalText(QString(250, u'x') + QStringLiteral("\x1b[2J\nb\tc\r")),
                 QString(250, u'x') + QStringLiteral("\\x1b[2J\nb\tc\\x0d"));
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "test_text_codec.moc"
