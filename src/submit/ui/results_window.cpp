#include "submit/ui/results_window.h"

#include "submit/core/result_text.h"
#include "submit/ui/results_model.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

ResultsWindow::ResultsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ResultsWindow"));
    setWindowTitle(QStringLiteral("Results"));
    // Only the main window's closing ends the program, even while this window is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    m_model = new ResultsModel(this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(Qt::UserRole);
    m_sorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_sorted->setDynamicSortFilter(true);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("ResultsTable"));
    m_table->setAccessibleName(QStringLiteral("Results"));
    m_table->setModel(m_sorted);
    m_table->setSortingEnabled(true);
    // Run order until the user picks a column.
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(ResultsModel::MeaningColumn, QHeaderView::Stretch);
    // Wide enough for the usual texts whole: a batch's engine, "SKIPPED", a network error, "30000 ms".
    const auto width = [this](const char* text) {
        return fontMetrics().horizontalAdvance(QString::fromLatin1(text)) + 24;
    };
    m_table->setColumnWidth(ResultsModel::EngineColumn, width("IndexNow - Search Engine (10000 addresses)"));
    m_table->setColumnWidth(ResultsModel::VerdictColumn, width("SKIPPED"));
    m_table->setColumnWidth(ResultsModel::StatusColumn, width("Connection refused"));
    m_table->setColumnWidth(ResultsModel::TimeColumn, width("30000 ms"));
    int columns = 0;
    for (const int column : {ResultsModel::EngineColumn, ResultsModel::VerdictColumn, ResultsModel::StatusColumn,
                             ResultsModel::TimeColumn})
        columns += m_table->columnWidth(column);
    resize(std::max(560, columns + width("The URL was received; the key is still being validated.") + 40), 420);

    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("ResultDetails"));
    m_details->setAccessibleName(QStringLiteral("Details"));
    m_details->setReadOnly(true);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("SharedNotice"));
    m_notice->setWordWrap(true);
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notice->setFrameShape(QFrame::StyledPanel);
    m_notice->setMargin(4);
    m_notice->hide();

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_table);
    splitter->addWidget(m_details);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_notice);
    layout->addWidget(splitter);

    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ResultsWindow::showSelectedDetails);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &ResultsWindow::showSelectedDetails);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ResultsWindow::showSelectedDetails);
}

void ResultsWindow::setResults(const RunResults* results) {
    m_resultsShown = results;
    m_model->setResults(results);
    showNotices();
}

void ResultsWindow::recordChanged(int index) {
    m_model->recordChanged(index);
    if (index < 0)
        showNotices();
}

void ResultsWindow::showNotices() {
    const QStringList notices = m_resultsShown ? m_resultsShown->sharedNotices : QStringList();
    m_notice->setText(notices.join(u'\n'));
    m_notice->setVisible(!notices.isEmpty());
}

void ResultsWindow::showRecord(int index) {
    if (m_model->record(index)) {
        const QModelIndex row = m_sorted->mapFromSource(m_model->index(index, 0));
        m_table->selectionModel()->setCurrentIndex(row,
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_table->scrollTo(row);
    }
    show();
    raise();
    activateWindow();
}

void ResultsWindow::showSelectedDetails() {
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    const ResultRecord* record = current.isValid() ? m_model->record(m_sorted->mapToSource(current).row()) : nullptr;
    const QString text = record ? resultDetails(*record) : QString();
    // Rewriting the same text would drop a selection the user is about to copy.
    if (m_details->toPlainText() != text)
        m_details->setPlainText(text);
}
