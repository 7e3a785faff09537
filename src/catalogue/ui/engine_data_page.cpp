#include "catalogue/ui/engine_data_page.h"

#include "app/widget_placement.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

namespace {

QListWidget* placeEngineList(QWidget* parent, const char* name, int left, int width) {
    auto* list = placeWidget<QListWidget>(parent, name, left, 32, width, 193);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setUniformItemSizes(true);
    return list;
}

QToolButton* placeButton(QWidget* parent, const char* name, const QString& caption, int top) {
    auto* button = placeWidget<QToolButton>(parent, name, 164, top, 65, 25);
    button->setText(caption);
    return button;
}

// Alphabetical order without regard to letter case; equal texts keep their insertion order.
bool sortsBefore(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

} // namespace

EngineDataPage::EngineDataPage(QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("GroupBox3"));

    placeLabel(this, "Label17", QStringLiteral("Available search engine"), 16, 16);
    m_available = placeEngineList(this, "ListBox1", 16, 137);
    m_test = placeWidget<QPushButton>(this, "Button1", 164, 24, 65, 25);
    m_test->setText(QStringLiteral("Test"));
    m_test->hide();
    m_add = placeButton(this, "SpeedButton5", QStringLiteral("Add"), 56);
    m_addAll = placeButton(this, "SpeedButton10", QStringLiteral("Add All"), 88);
    m_remove = placeButton(this, "SpeedButton6", QStringLiteral("Remove"), 136);
    m_removeAll = placeButton(this, "SpeedButton11", QStringLiteral("Remove All"), 168);
    placeLabel(this, "Label18", QStringLiteral("Current search engine"), 240, 16);
    m_current = placeEngineList(this, "ListBox2", 240, 129);

    auto* panel = placeFrame<QGroupBox>(this, "GroupBox14", 16, 232, 353, 65);
    m_caption1 = placeLabel(panel, "Label19", QString(), 16, 16);
    m_option1 = placeWidget<QComboBox>(panel, "ComboBox1", 16, 32, 161, 21);
    m_caption2 = placeLabel(panel, "Label20", QString(), 192, 16);
    m_option2 = placeWidget<QComboBox>(panel, "ComboBox2", 192, 32, 145, 21);
    for (QComboBox* box : {m_option1, m_option2}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_caption1, m_option1, m_caption2, m_option2})
        w->hide();
}

void EngineDataPage::clearOptionTexts() {
    m_option1->setEditText(QString());
    m_option2->setEditText(QString());
}

int EngineDataPage::insertSorted(QListWidget* list, const QString& title) {
    // Binary search for the first line that sorts after title.
    int low = 0;
    int high = list->count();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (sortsBefore(title, list->item(middle)->text()))
            high = middle;
        else
            low = middle + 1;
    }
    list->insertItem(low, title);
    return low;
}
