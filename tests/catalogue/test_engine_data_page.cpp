#include "app/message_log_view.h"
#include "catalogue/ui/engine_data_page.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {

Engine_Data engine(const QString& title, int options, const QStringList& choices = {}, const QStringList& values = {}) {
    Engine_Data e;
    e.Title = title;
    e.Option = options;
    for (int k = 0; k < options; ++k) {
        e.Option_Title[k] = title + QStringLiteral(" option %1").arg(k + 1);
        e.Error[k] = QStringLiteral("Please choose %1 of %2").arg(QString::number(k + 1), title);
        e.Item[k].Count = static_cast<qint32>(choices.size());
        e.Item[k].Items = choices;
        e.Value[k].Count = static_cast<qint32>(values.size());
        e.Value[k].Values = values;
    }
    return e;
}

QStringList lines(const QListWidget* list) {
    QStringList result;
    for (int row = 0; row < list->count(); ++row)
        result.append(list->item(row)->text());
    return result;
}

} // namespace

class TestEngineDataPage : public QObject {
    Q_OBJECT

    Engine_Type m_catalogue;
    std::unique_ptr<QWidget> m_window;
    MessageLogView* m_log = nullptr;
    EngineDataPage* m_page = nullptr;
    QListWidget* m_available = nullptr;
    QListWidget* m_current = nullptr;

    template <typename T> T* child(const char* name) { return m_page->findChild<T*>(QString::fromLatin1(name)); }

    void click(QListWidget* list, const QString& line, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const QList<QListWidgetItem*> items = list->findItems(line, Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        const QRect rect = list->visualItemRect(items.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
    }
    void press(const char* button) { QTest::mouseClick(child<QToolButton>(button), Qt::LeftButton); }
    bool panelShown() { return child<QComboBox>("ComboBox1")->isVisibleTo(m_page); }

private slots:
    void init() {
        m_catalogue = Engine_Type();
        for (const Engine_Data& e :
             {engine(QStringLiteral("Gamma"), 0),
              engine(QStringLiteral("Alpha"), 1, {"a1", "a2", "a3"}, {"v1", "v2", "v3"}),
              engine(QStringLiteral("beta"), 2, {"b1", "b2", "b3"}), engine(QStringLiteral("Delta"), 0)})
            m_catalogue.Items.append(e);
        m_catalogue.Count = static_cast<qint32>(m_catalogue.Items.size());
        m_window = std::make_unique<QWidget>();
        m_window->resize(400, 400);
        m_log = new MessageLogView(m_window.get());
        m_log->setGeometry(0, 320, 381, 57);
        m_page = new EngineDataPage(m_catalogue, *m_log, m_window.get());
        m_page->setGeometry(0, 0, 381, 313);
        m_available = m_page->availableList();
        m_current = m_page->currentList();
        m_page->showCatalogue();
        m_page->selectFirstLines();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void listsAreSortedWithoutRegardToCase() {
        QCOMPARE(lines(m_available), (QStringList{"Alpha", "beta", "Delta", "Gamma"}));
        QVERIFY(m_available->item(0)->isSelected());
        QVERIFY(!panelShown());
    }

    void addWithNothingSelectedEmptiesLogAndMovesNothing() {
        m_available->clearSelection();
        m_log->appendLine(QStringLiteral("old line"));
        QSignalSpy modified(m_page, &EngineDataPage::modified);
        press("SpeedButton5");
        QCOMPARE(m_log->lineCount(), 0);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(m_available->count(), 4);
        QVERIFY(!panelShown());
    }

    void addAllOnEmptyListKeepsLog() {
        m_available->clear();
        m_log->appendLine(QStringLiteral("kept"));
        QSignalSpy modified(m_page, &EngineDataPage::modified);
        press("SpeedButton10");
        QCOMPARE(m_log->text(), QStringLiteral("kept"));
        QCOMPARE(modified.count(), 0);
    }

    void addAllRefusesEnginesWithoutChoiceInReverseOrder() {
        press("SpeedButton10");
        QCOMPARE(lines(m_current), (QStringList{"Delta", "Gamma"}));
        QCOMPARE(lines(m_available), (QStringList{"Alpha", "beta"}));
        QCOMPARE(m_log->text(), QStringLiteral("[beta]  Please choose 1 of beta\n"
                                               "[beta]  Please choose 2 of beta\n"
                                               "[Alpha]  Please choose 1 of Alpha"));
        QCOMPARE(m_catalogue.Items[0].Selected, qint16(1));
        QCOMPARE(m_catalogue.Items[1].Selected, qint16(0));
        QCOMPARE(m_available->selectedItems().size(), 2);
    }

    void addAllLeavesEveryRefusedLineSelected() {
        // Only engines that Add refuses are left: nothing moves.
        delete m_available->findItems(QStringLiteral("Delta"), Qt::MatchExactly).value(0);
        delete m_available->findItems(QStringLiteral("Gamma"), Qt::MatchExactly).value(0);
        press("SpeedButton10");
        QCOMPARE(lines(m_available), (QStringList{"Alpha", "beta"}));
        QCOMPARE(m_available->selectedItems().size(), 2);
    }

    void clickShowsOptionsAndPickStoresValue() {
        click(m_available, QStringLiteral("Alpha"));
        QVERIFY(panelShown());
        QVERIFY(!child<QComboBox>("ComboBox2")->isVisibleTo(m_page));
        QCOMPARE(child<QLabel>("Label19")->text(), QStringLiteral("Alpha option 1"));
        auto* box = child<QComboBox>("ComboBox1");
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->currentText(), QString());
        QSignalSpy modified(m_page, &EngineDataPage::modified);
        box->setCurrentIndex(2);
        emit box->activated(2);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(m_catalogue.Items[1].Option1, QStringLiteral("a3"));
        QCOMPARE(m_catalogue.Items[1].OptVal1, QStringLiteral("v3"));
    }

    void typedChoiceWithoutValuesIsTheText() {
        click(m_available, QStringLiteral("beta"));
        auto* second = child<QComboBox>("ComboBox2");
        QVERIFY(second->isVisibleTo(m_page));
        second->lineEdit()->setFocus();
        QTest::keyClicks(second->lineEdit(), QStringLiteral("own"));
        QCOMPARE(m_catalogue.Items[2].Option2, QStringLiteral("own"));
        QCOMPARE(m_catalogue.Items[2].OptVal2, QStringLiteral("own"));
        // Only the second list chosen: Add still refuses the engine with both lines.
        press("SpeedButton5");
        QCOMPARE(m_log->lineCount(), 2);
        QVERIFY(!panelShown());
    }

    // No inline completion: typed "a" stays "a" rather than becoming the choice "a1".
    void typedChoiceStaysAsTyped() {
        click(m_available, QStringLiteral("Alpha"));
        auto* box = child<QComboBox>("ComboBox1");
        box->lineEdit()->setFocus();
        QTest::keyClicks(box->lineEdit(), QStringLiteral("a"));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QCOMPARE(QStringList({box->currentText(), m_catalogue.Items[1].Option1, m_catalogue.Items[1].OptVal1}),
                 QStringList({"a", "a", "a"}));
    }

    void rememberedChoiceShowsAboveFullList() {
        m_catalogue.Items[1].Option1 = QStringLiteral("a2");
        click(m_available, QStringLiteral("Alpha"));
        auto* box = child<QComboBox>("ComboBox1");
        QCOMPARE(box->currentText(), QStringLiteral("a2"));
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->itemText(0), QStringLiteral("a1"));
    }

    void ctrlClickUnselectHidesPanel() {
        click(m_available, QStringLiteral("Alpha"));
        QVERIFY(panelShown());
        click(m_available, QStringLiteral("Alpha"), Qt::ControlModifier);
        QVERIFY(!m_available->item(0)->isSelected());
        QVERIFY(!panelShown());
    }

    void removeThenAddNeedsNoNewChoice() {
        m_catalogue.Items[1].Option1 = QStringLiteral("a1");
        click(m_available, QStringLiteral("Alpha"));
        press("SpeedButton5");
        QCOMPARE(lines(m_current), QStringList{"Alpha"});
        press("SpeedButton11");
        QCOMPARE(m_current->count(), 0);
        QCOMPARE(m_catalogue.Items[1].Selected, qint16(0));
        QCOMPARE(m_catalogue.Items[1].Option1, QStringLiteral("a1"));
        click(m_available, QStringLiteral("Alpha"));
        press("SpeedButton5");
        QCOMPARE(m_log->lineCount(), 0);
        QCOMPARE(lines(m_current), QStringList{"Alpha"});
    }

    void removeMovesUnknownLinesBack() {
        EngineDataPage::insertSorted(m_current, QStringLiteral("Unknown"));
        m_current->selectAll();
        press("SpeedButton6");
        QVERIFY(m_available->findItems(QStringLiteral("Unknown"), Qt::MatchExactly).size() == 1);
        QCOMPARE(m_current->count(), 0);
    }
};

QTEST_MAIN(TestEngineDataPage)
#include "test_engine_data_page.moc"
