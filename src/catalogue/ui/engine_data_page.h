#pragma once

#include "catalogue/core/engine_catalogue.h"

#include <QGroupBox>
#include <optional>

class MessageLog;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

// The Engine Data page (GroupBox3): the available and the current engine list, the buttons
// that move engines between them, and the option panel for the engine last clicked. The rules
// (which engines move, what a choice stores) are the catalogue's; the page moves lines and
// shows the panel.
class EngineDataPage : public QGroupBox {
    Q_OBJECT

public:
    EngineDataPage(Engine_Type& catalogue, MessageLog& log, QWidget* parent = nullptr);

    QListWidget* availableList() const { return m_available; }
    QListWidget* currentList() const { return m_current; }
    QPushButton* testButton() const { return m_test; }

    // Fills both lists from the catalogue: an engine whose Selected is 1 is current, every
    // other one available.
    void showCatalogue();
    // Selects the first line of each list that has one, running no click handler.
    void selectFirstLines();
    // The lines of the current list, top to bottom.
    QStringList currentLines() const;
    // The available list's focused line, if it has one.
    std::optional<QString> focusedAvailableLine() const;
    // Empties the texts shown in the two option boxes (their choices and the stored option
    // texts stay as they are).
    void clearOptionTexts();
    // Shows again the choices of the engine whose options the panel shows, after the program
    // changed them; a hidden panel stays hidden.
    void refreshOptions();

    // Puts title into list at its alphabetical place (letter case not regarded) and returns
    // its row.
    static int insertSorted(QListWidget* list, const QString& title);

    // Handlers.
    void ListBox1Click();
    void ListBox2Click();
    void ComboBox1Change(int pickedPosition);
    void ComboBox2Change(int pickedPosition);
    void SpeedButton5Click();  // Add
    void SpeedButton6Click();  // Remove
    void SpeedButton10Click(); // Add All
    void SpeedButton11Click(); // Remove All

signals:
    // The engine choices changed: File > Save becomes available.
    void modified();

private:
    void listClick(QListWidget* list);
    void showOptions(const Engine_Data& engine);
    void hideOptions();
    void optionChange(int optionList, int pickedPosition);
    // Add or Remove: hands the selected lines of `from` (every line first selected, for Add All
    // and Remove All), last to first, to `rule`, then moves the lines it names to `to`. Lines
    // that stay keep their selection.
    template <typename Rule> void moveSelected(QListWidget* from, QListWidget* to, Rule rule, bool selectEveryLine);

    // A list line and whether it is selected.
    struct ListLine {
        QString text;
        bool selected = false;
    };
    static QList<ListLine> listLines(const QListWidget* list);
    // Replaces list's lines, keeping the focused line where it is still there.
    void setListLines(QListWidget* list, const QList<ListLine>& lines);

    Engine_Type& m_catalogue;
    MessageLog& m_log;
    // The catalogue index (from 0) of the engine whose options the panel last showed; -1 before.
    int Current_Engine = -1;
    // Set while the program changes the lists or boxes, whose notifications then run no handler.
    bool m_programChange = false;

    QListWidget* m_available = nullptr; // ListBox1
    QListWidget* m_current = nullptr;   // ListBox2
    QToolButton* m_add = nullptr;       // SpeedButton5
    QToolButton* m_addAll = nullptr;    // SpeedButton10
    QToolButton* m_remove = nullptr;    // SpeedButton6
    QToolButton* m_removeAll = nullptr; // SpeedButton11
    QLabel* m_caption1 = nullptr;       // Label19
    QLabel* m_caption2 = nullptr;       // Label20
    QComboBox* m_option1 = nullptr;     // ComboBox1
    QComboBox* m_option2 = nullptr;     // ComboBox2
    QPushButton* m_test = nullptr;      // Button1, hidden
};
