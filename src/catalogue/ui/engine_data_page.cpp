#include "catalogue/ui/engine_data_page.h"

#include "catalogue/core/engine_selection.h"
#include "common/ui/typed_text_combo_box.h"
#include "common/ui/widget_placement.h"
#include "platform/message_log.h"

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolButton>

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

constexpr auto sortsBefore = engineListSortsBefore;

} // namespace

EngineDataPage::EngineDataPage(Engine_Type& catalogue, MessageLog& log, QWidget* parent)
    : QGroupBox(parent), m_catalogue(catalogue), m_log(log) {
    setObjectName(QStringLiteral("GroupBox3"));

    QLabel* label = placeLabel(this, "Label17", QStringLiteral("Available search engine"), 16, 16);
    m_available = placeEngineList(this, "ListBox1", 16, 137);
    labelControl(label, m_available);
    m_test = placeWidget<QPushButton>(this, "Button1", 164, 24, 65, 25);
    m_test->setText(QStringLiteral("Test"));
    m_test->hide();
    m_add = placeButton(this, "SpeedButton5", QStringLiteral("Add"), 56);
    m_addAll = placeButton(this, "SpeedButton10", QStringLiteral("Add All"), 88);
    m_remove = placeButton(this, "SpeedButton6", QStringLiteral("Remove"), 136);
    m_removeAll = placeButton(this, "SpeedButton11", QStringLiteral("Remove All"), 168);
    label = placeLabel(this, "Label18", QStringLiteral("Current search engine"), 240, 16);
    m_current = placeEngineList(this, "ListBox2", 240, 129);
    labelControl(label, m_current);

    auto* panel = placeFrame<QGroupBox>(this, "GroupBox14", 16, 232, 353, 65);
    m_caption1 = placeLabel(panel, "Label19", QString(), 16, 16);
    m_option1 = placeWidget<QComboBox>(panel, "ComboBox1", 16, 32, 161, 21);
    m_caption2 = placeLabel(panel, "Label20", QString(), 192, 16);
    m_option2 = placeWidget<QComboBox>(panel, "ComboBox2", 192, 32, 145, 21);
    keepTypedText(m_option1);
    keepTypedText(m_option2);
    // Named after the engine's option titles when an engine's options are shown.
    labelControl(m_caption1, m_option1);
    labelControl(m_caption2, m_option2);
    hideOptions();

    // A list click is any change the user makes to a list's selection, by mouse or keyboard,
    // and a click on a line (which may leave the selection as it was).
    connect(m_available, &QListWidget::itemSelectionChanged, this, &EngineDataPage::ListBox1Click);
    connect(m_available, &QListWidget::clicked, this, &EngineDataPage::ListBox1Click);
    connect(m_current, &QListWidget::itemSelectionChanged, this, &EngineDataPage::ListBox2Click);
    connect(m_current, &QListWidget::clicked, this, &EngineDataPage::ListBox2Click);
    // An option choice is a pick from a box's list or typed text, never text the program sets.
    connect(m_option1, &QComboBox::activated, this, &EngineDataPage::ComboBox1Change);
    connect(m_option1->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox1Change(-1); });
    connect(m_option2, &QComboBox::activated, this, &EngineDataPage::ComboBox2Change);
    connect(m_option2->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox2Change(-1); });

    connect(m_add, &QToolButton::clicked, this, &EngineDataPage::SpeedButton5Click);
    connect(m_addAll, &QToolButton::clicked, this, &EngineDataPage::SpeedButton10Click);
    connect(m_remove, &QToolButton::clicked, this, &EngineDataPage::SpeedButton6Click);
    connect(m_removeAll, &QToolButton::clicked, this, &EngineDataPage::SpeedButton11Click);
}

void EngineDataPage::showCatalogue() {
    const QScopedValueRollback guard(m_programChange, true);
    m_available->clear();
    m_current->clear();
    // Filling a list in one go and sorting once is far cheaper than a sorted insert per line.
    QStringList available;
    QStringList current;
    for (const Engine_Data& engine : std::as_const(m_catalogue.Items))
        (engine.Selected == 1 ? current : available).append(engine.Title);
    for (auto [list, lines] : {std::pair{m_available, &available}, std::pair{m_current, &current}}) {
        std::stable_sort(lines->begin(), lines->end(), sortsBefore);
        list->addItems(*lines);
    }
}

void EngineDataPage::selectFirstLines() {
    const QScopedValueRollback guard(m_programChange, true);
    for (QListWidget* list : {m_available, m_current}) {
        if (list->count() > 0)
            list->setCurrentRow(0);
    }
}

QStringList EngineDataPage::currentLines() const {
    QStringList lines;
    lines.reserve(m_current->count());
    for (int row = 0; row < m_current->count(); ++row)
        lines.append(m_current->item(row)->text());
    return lines;
}

std::optional<QString> EngineDataPage::focusedAvailableLine() const {
    const QListWidgetItem* item = m_available->currentItem();
    if (!item)
        return std::nullopt;
    return item->text();
}

void EngineDataPage::clearOptionTexts() {
    const QScopedValueRollback guard(m_programChange, true);
    m_option1->setEditText(QString());
    m_option2->setEditText(QString());
}

void EngineDataPage::refreshOptions() {
    if (m_option1->isHidden() || Current_Engine < 0 || Current_Engine >= m_catalogue.Items.size())
        return;
    showOptions(m_catalogue.Items[Current_Engine]);
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

void EngineDataPage::ListBox1Click() {
    listClick(m_available);
}

void EngineDataPage::ListBox2Click() {
    listClick(m_current);
}

void EngineDataPage::listClick(QListWidget* list) {
    if (m_programChange)
        return;
    clearOptionTexts();
    // The option display (GetEngine1 / GetEngine2) for the list's focused line.
    if (list->count() == 0 || m_catalogue.Items.isEmpty())
        return;
    const QListWidgetItem* focused = list->currentItem();
    if (!focused)
        return;
    const QString line = focused->text();
    for (int index = 0; index < m_catalogue.Items.size(); ++index) {
        if (m_catalogue.Items[index].Title != line)
            continue;
        if (!focused->isSelected()) {
            // The click has just unselected the engine.
            hideOptions();
            continue;
        }
        Current_Engine = index;
        showOptions(m_catalogue.Items[index]);
        return;
    }
}

void EngineDataPage::showOptions(const Engine_Data& engine) {
    if (engine.Option < 0 || engine.Option > kMaxOptionLists)
        return;
    if (engine.Option == 0) {
        hideOptions();
        return;
    }
    const QScopedValueRollback guard(m_programChange, true);
    const auto fill = [](QComboBox* box, QLabel* caption, const QString& title, const Item_Data& items,
                         const QString& chosen) {
        box->clear();
        box->addItems(items.Items);
        // The stored choice shows as the box's text above the full list of choices.
        box->setCurrentIndex(-1);
        box->setEditText(chosen);
        box->show();
        caption->setText(title);
        caption->adjustSize();
        labelControl(caption, box);
        if (title.isEmpty())
            nameControl(box, QStringLiteral("Engine option"));
        caption->show();
    };
    fill(m_option1, m_caption1, engine.Option_Title[0], engine.Item[0], engine.Option1);
    if (engine.Option == 2) {
        fill(m_option2, m_caption2, engine.Option_Title[1], engine.Item[1], engine.Option2);
    } else {
        m_option2->hide();
        m_caption2->hide();
    }
}

void EngineDataPage::hideOptions() {
    for (QWidget* control : std::initializer_list<QWidget*>{m_caption1, m_option1, m_caption2, m_option2})
        control->hide();
}

void EngineDataPage::ComboBox1Change(int pickedPosition) {
    optionChange(1, pickedPosition);
}

void EngineDataPage::ComboBox2Change(int pickedPosition) {
    optionChange(2, pickedPosition);
}

void EngineDataPage::optionChange(int optionList, int pickedPosition) {
    if (m_programChange || Current_Engine < 0 || Current_Engine >= m_catalogue.Items.size())
        return;
    emit modified();
    const QComboBox* box = optionList == 1 ? m_option1 : m_option2;
    chooseOption(m_catalogue.Items[Current_Engine], optionList, box->currentText(), pickedPosition);
}

template <typename Rule>
void EngineDataPage::moveSelected(QListWidget* from, QListWidget* to, Rule rule, bool selectEveryLine) {
    if (from->count() > 0) {
        m_log.clear();
        emit modified();
        QList<ListLine> before = listLines(from);
        if (selectEveryLine) {
            for (ListLine& line : before)
                line.selected = true;
        }
        QList<int> rows;
        QStringList lines;
        for (int row = static_cast<int>(before.size()) - 1; row >= 0; --row) {
            if (before[row].selected) {
                rows.append(row);
                lines.append(before[row].text);
            }
        }
        const EngineMoves moves = rule(m_catalogue, lines);
        for (const QString& line : moves.logLines)
            m_log.appendLine(line);
        if (!moves.moved.isEmpty()) {
            // Both lists are rebuilt in one go: moving lines one by one costs a model update
            // per line, which makes Add All on a full catalogue many times slower.
            QList<bool> leaves(from->count(), false);
            QList<ListLine> arriving;
            arriving.reserve(moves.moved.size());
            // Lines were visited from the last upward: reversed, the arrivals are in list order.
            for (auto position = moves.moved.crbegin(); position != moves.moved.crend(); ++position) {
                leaves[rows[*position]] = true;
                arriving.append({lines[*position], false});
            }
            QList<ListLine> source;
            source.reserve(from->count() - moves.moved.size());
            for (int row = 0; row < before.size(); ++row) {
                if (!leaves[row])
                    source.append(before[row]);
            }
            const QList<ListLine> staying = listLines(to);
            QList<ListLine> target;
            target.reserve(staying.size() + arriving.size());
            std::merge(staying.cbegin(), staying.cend(), arriving.cbegin(), arriving.cend(), std::back_inserter(target),
                       [](const ListLine& a, const ListLine& b) { return sortsBefore(a.text, b.text); });
            setListLines(from, source);
            setListLines(to, target);
        } else if (selectEveryLine) {
            // Every line was selected for the move; the refused ones stay selected.
            const QScopedValueRollback guard(m_programChange, true);
            from->selectAll();
        }
    }
    hideOptions();
}

QList<EngineDataPage::ListLine> EngineDataPage::listLines(const QListWidget* list) {
    QList<ListLine> lines;
    lines.reserve(list->count());
    for (int row = 0; row < list->count(); ++row)
        lines.append({list->item(row)->text(), false});
    // The selection is read as ranges, not asked line by line.
    const QItemSelection selection = list->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            lines[row].selected = true;
    }
    return lines;
}

void EngineDataPage::setListLines(QListWidget* list, const QList<ListLine>& lines) {
    const QScopedValueRollback guard(m_programChange, true);
    const QListWidgetItem* focused = list->currentItem();
    const QString focusedText = focused ? focused->text() : QString();
    QStringList texts;
    texts.reserve(lines.size());
    for (const ListLine& line : lines)
        texts.append(line.text);
    list->clear();
    list->addItems(texts);
    // Selected lines stay selected, in ranges rather than line by line.
    QItemSelection selection;
    for (int row = 0; row < lines.size(); ++row) {
        if (!lines[row].selected)
            continue;
        int last = row;
        while (last + 1 < lines.size() && lines[last + 1].selected)
            ++last;
        selection.select(list->model()->index(row, 0), list->model()->index(last, 0));
        row = last;
    }
    if (!selection.isEmpty())
        list->selectionModel()->select(selection, QItemSelectionModel::Select);
    if (focused) {
        const int row = static_cast<int>(texts.indexOf(focusedText));
        if (row >= 0)
            list->selectionModel()->setCurrentIndex(list->model()->index(row, 0), QItemSelectionModel::NoUpdate);
    }
}

void EngineDataPage::SpeedButton5Click() {
    moveSelected(m_available, m_current, addEngines, false);
}

void EngineDataPage::SpeedButton6Click() {
    moveSelected(m_current, m_available, removeEngines, false);
}

void EngineDataPage::SpeedButton10Click() {
    moveSelected(m_available, m_current, addEngines, true);
}

void EngineDataPage::SpeedButton11Click() {
    moveSelected(m_current, m_available, removeEngines, true);
}
