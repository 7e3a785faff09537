#include "catalogue/core/engine_selection.h"
#include "platform/ini_file.h"

#include <QTest>

namespace {

// Alpha: one option list with values; Beta: two lists without values; Plain: no options.
const QByteArray kCatalogue =
    "[Engine]\nAmount=3\nTitle1=Alpha\nTitle2=Beta\nTitle3=Plain\n"
    "[Alpha]\nOption=1\nError1=choose a category\nItem1=3\nValue1=1\n"
    "Item1-1=Arts\nItem1-2=Business\nItem1-3=Science\n"
    "Value1-1=10\nValue1-2=20\nValue1-3=30\n"
    "[Beta]\nOption=2\nError1=choose a region\nError2=choose a language\n"
    "Item1=3\nItem1-1=Europe\nItem1-2=Asia\nItem1-3=Africa\nItem2=2\nItem2-1=English\nItem2-2=German\n"
    "[Plain]\nOption=0\n";

Engine_Type catalogue() {
    return ReadEngineFile(IniFile::fromBytes(kCatalogue));
}

Engine_Data& entry(Engine_Type& catalogue, const char* title) {
    return catalogue.Items[catalogue.indexOfTitle(QString::fromLatin1(title))];
}

} // namespace

class TestEngineSelection : public QObject {
    Q_OBJECT

private slots:
    void add_data() {
        QTest::addColumn<QString>("alphaChoice");
        QTest::addColumn<QString>("betaChoice1");
        QTest::addColumn<QString>("betaChoice2");
        QTest::addColumn<QStringList>("lines"); // selected lines, last to first
        QTest::addColumn<QList<qsizetype>>("moved");
        QTest::addColumn<QStringList>("log");

        QTest::newRow("nothing selected") << ""
                                          << ""
                                          << "" << QStringList() << QList<qsizetype>() << QStringList();
        QTest::newRow("Alpha and Beta refused, Beta's lines first")
            << ""
            << ""
            << "" << QStringList({"Plain", "Beta", "Alpha"}) << QList<qsizetype>({0})
            << QStringList({"[Beta]  choose a region", "[Beta]  choose a language", "[Alpha]  choose a category"});
        QTest::newRow("only the first list chosen is enough")
            << ""
            << "Europe"
            << "" << QStringList({"Beta"}) << QList<qsizetype>({0}) << QStringList();
        QTest::newRow("only the second list chosen is refused")
            << ""
            << ""
            << "German" << QStringList({"Beta"}) << QList<qsizetype>()
            << QStringList({"[Beta]  choose a region", "[Beta]  choose a language"});
        QTest::newRow("unknown line passed over")
            << "Arts"
            << ""
            << "" << QStringList({"Unknown", "Alpha"}) << QList<qsizetype>({1}) << QStringList();
        QTest::newRow("equal lines resolve to the first entry")
            << "Arts"
            << ""
            << "" << QStringList({"Alpha", "Alpha"}) << QList<qsizetype>({0, 1}) << QStringList();
        QTest::newRow("title lookup minds letter case")
            << "Arts"
            << ""
            << "" << QStringList({"alpha"}) << QList<qsizetype>() << QStringList();
    }
    void add() {
        QFETCH(QString, alphaChoice);
        QFETCH(QString, betaChoice1);
        QFETCH(QString, betaChoice2);
        QFETCH(QStringList, lines);
        QFETCH(QList<qsizetype>, moved);
        QFETCH(QStringList, log);
        Engine_Type engines = catalogue();
        entry(engines, "Alpha").Option1 = alphaChoice;
        entry(engines, "Beta").Option1 = betaChoice1;
        entry(engines, "Beta").Option2 = betaChoice2;

        const EngineMoves moves = addEngines(engines, lines);
        QCOMPARE(moves.moved, moved);
        QCOMPARE(moves.logLines, log);
        for (const Engine_Data& engine : engines.Items) {
            const bool wasMoved =
                std::any_of(moved.begin(), moved.end(), [&](qsizetype i) { return lines[i] == engine.Title; });
            QCOMPARE(engine.Selected, qint16(wasMoved ? 1 : 0));
        }
        QCOMPARE(entry(engines, "Beta").OptVal2, QString());
    }

    void removeKeepsChoices() {
        Engine_Type engines = catalogue();
        ::chooseOption(entry(engines, "Alpha"), 1, QStringLiteral("Science"), 2);
        QCOMPARE(addEngines(engines, {"Plain", "Alpha"}).moved, QList<qsizetype>({0, 1}));

        // Every selected line moves back, known or not.
        const EngineMoves removed = removeEngines(engines, {"Unknown", "Plain", "Alpha"});
        QCOMPARE(removed.moved, QList<qsizetype>({0, 1, 2}));
        QVERIFY(removed.logLines.isEmpty());
        QCOMPARE(entry(engines, "Alpha").Selected, qint16(0));
        QCOMPARE(entry(engines, "Plain").Selected, qint16(0));
        QCOMPARE(entry(engines, "Alpha").Option1, QStringLiteral("Science"));
        QCOMPARE(entry(engines, "Alpha").OptVal1, QStringLiteral("30"));

        // Added again without a new choice.
        const EngineMoves again = addEngines(engines, {"Alpha"});
        QCOMPARE(again.moved, QList<qsizetype>({0}));
        QVERIFY(again.logLines.isEmpty());
        QCOMPARE(entry(engines, "Alpha").Selected, qint16(1));
    }

    void chooseOption_data() {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("picked");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("value");

        QTest::newRow("third pick with values") << "Alpha" << 1 << "Science" << 2 << "Science"
                                                << "30";
        QTest::newRow("third pick without values") << "Beta" << 1 << "Africa" << 2 << "Africa"
                                                   << "Africa";
        QTest::newRow("second list without values") << "Beta" << 2 << "German" << 1 << "German"
                                                    << "German";
        QTest::newRow("typed text equal to a choice") << "Alpha" << 1 << "Business" << -1 << "Business"
                                                      << "20";
        QTest::newRow("typed text matching no choice") << "Alpha" << 1 << "Music" << -1 << "Music"
                                                       << "Music";
        QTest::newRow("typed over a pick") << "Alpha" << 1 << "Arts" << 2 << "Arts"
                                           << "10";
        QTest::newRow("pick outside the list") << "Alpha" << 1 << "Other" << 7 << "Other"
                                               << "Other";
        QTest::newRow("choice text matches exactly") << "Alpha" << 1 << "arts" << -1 << "arts"
                                                     << "arts";
        QTest::newRow("list 3 does not exist") << "Alpha" << 3 << "Arts" << 0 << ""
                                               << "";
    }
    void chooseOption() {
        QFETCH(QString, engine);
        QFETCH(int, list);
        QFETCH(QString, text);
        QFETCH(int, picked);
        QFETCH(QString, option);
        QFETCH(QString, value);
        Engine_Type engines = catalogue();
        Engine_Data& data = engines.Items[engines.indexOfTitle(engine)];
        ::chooseOption(data, list, text, picked);
        QCOMPARE(list == 2 ? data.Option2 : data.Option1, option);
        QCOMPARE(list == 2 ? data.OptVal2 : data.OptVal1, value);
        // The other list is left alone.
        QCOMPARE(list == 2 ? data.OptVal1 : data.OptVal2, QString());
    }

    void duplicateChoicesKeepTheirOwnValues() {
        Engine_Type engines =
            ReadEngineFile(IniFile::fromBytes("[Engine]\nAmount=1\nTitle1=e\n[e]\nOption=1\nItem1=2\nValue1=1\n"
                                              "Item1-1=Same\nItem1-2=Same\nValue1-1=a\nValue1-2=b\n"));
        ::chooseOption(engines.Items[0], 1, QStringLiteral("Same"), 1);
        QCOMPARE(engines.Items[0].OptVal1, QStringLiteral("b"));
    }

    // An Option outside 0 … 2 cannot reach these rules: the loader clamps it.
    void optionOutsideRangeCannotOccur() {
        Engine_Type engines = ReadEngineFile(IniFile::fromBytes("[Engine]\nAmount=2\nTitle1=Many\nTitle2=Negative\n"
                                                                "[Many]\nOption=7\nError1=e1\nError2=e2\nError3=e3\n"
                                                                "[Negative]\nOption=-1\n"));
        QCOMPARE(entry(engines, "Many").Option, 2);
        QCOMPARE(entry(engines, "Negative").Option, 0);
        const EngineMoves moves = addEngines(engines, {"Negative", "Many"});
        QCOMPARE(moves.moved, QList<qsizetype>({0}));
        QCOMPARE(moves.logLines, QStringList({"[Many]  e1", "[Many]  e2"}));
    }
};

QTEST_GUILESS_MAIN(TestEngineSelection)
#include "test_engine_selection.moc"
