#include "catalogue/core/shared_groups.h"
#include "indexnow/core/indexnow_key.h"
#include "platform/ini_file.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestSharedGroups : public QObject {
    Q_OBJECT

private slots:
    void groups_data() {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("notices");
        const QString notice = u"These engines share what they receive; one of them is enough: "_s;
        QTest::newRow("one group of two") << QStringList{"A", "Plain", "B"} << QStringList{notice + u"A, B"_s};
        QTest::newRow("a group of one says nothing") << QStringList{"A", "C", "Plain"} << QStringList{};
        QTest::newRow("groups in order of their first engine")
            << QStringList{"C", "B", "D", "A"} << QStringList{notice + u"C, D"_s, notice + u"B, A"_s};
        QTest::newRow("an engine chosen twice counts once") << QStringList{"A", "A"} << QStringList{};
        QTest::newRow("unknown titles pass") << QStringList{"A", "Nobody", "B"} << QStringList{notice + u"A, B"_s};
    }
    void groups() {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, notices);
        // B spells the group in other letters; Plain is from an older catalogue without the key.
        const Engine_Type catalogue =
            ReadEngineFile(IniFile::fromBytes("[Engine]\nAmount=5\nTitle1=A\nTitle2=B\nTitle3=C\nTitle4=D\n"
                                              "Title5=Plain\n[A]\nShares=IndexNow\n[B]\nShares=indexnow\n"
                                              "[C]\nShares=Other\n[D]\nShares=Other\n[Plain]\nUrl=x\n"));
        QStringList found;
        for (const SharedGroup& group : sharedGroups(catalogue, chosen))
            found << sharedGroupNotice(group);
        QCOMPARE(found, notices);
    }

    // The shipped catalogue: its six IndexNow engines take the key and form one group.
    void shippedCatalogue() {
        const Engine_Type catalogue = ReadEngineFile(QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        QStringList all;
        QStringList takingKey;
        for (const Engine_Data& engine : catalogue.Items) {
            all << engine.Title;
            if (takesIndexNowKey(engine))
                takingKey << engine.Title;
        }
        QCOMPARE(takingKey.size(), 6);
        const QList<SharedGroup> groups = sharedGroups(catalogue, all);
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups.first().name, u"IndexNow"_s);
        QCOMPARE(groups.first().titles, takingKey);
    }
};

QTEST_GUILESS_MAIN(TestSharedGroups)
#include "test_shared_groups.moc"
