#pragma once

#include <QGroupBox>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

// The Engine Data page (GroupBox3): the available and the current engine list, the buttons
// that move engines between them, and the option panel for the engine last clicked.
class EngineDataPage : public QGroupBox {
    Q_OBJECT

public:
    explicit EngineDataPage(QWidget* parent = nullptr);

    QListWidget* availableList() const { return m_available; }
    QListWidget* currentList() const { return m_current; }

    // Empties the texts shown in the two option boxes (their choices and the stored option
    // texts stay as they are).
    void clearOptionTexts();

    // Puts title into list at its alphabetical place (letter case not regarded) and returns
    // its row.
    static int insertSorted(QListWidget* list, const QString& title);

private:
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
