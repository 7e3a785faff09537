#include "submit/ui/results_window.h"

#include "submit/core/result_text.h"
#include "submit/ui/results_model.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
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
    auto* records = new QWidget(this);
    auto* recordsLayout = new QVBoxLayout(records);
    recordsLayout->addWidget(m_notice);
    recordsLayout->addWidget(splitter);

    const auto makeList = [this](const char* name, const QString& accessible, const QStringList& headers) {
        auto* list = new QTreeWidget(this);
        list->setObjectName(QString::fromLatin1(name));
        list->setAccessibleName(accessible);
        list->setRootIsDecorated(false);
        list->setUniformRowHeights(true);
        list->setHeaderLabels(headers);
        return list;
    };
    m_standing =
        makeList("StandingList", QStringLiteral("Where things stand"),
                 {QStringLiteral("Engine"), QStringLiteral("Last Submit"), QStringLiteral("Last announcement")});
    m_standing->setColumnWidth(0, width("IndexNow - Search Engine"));
    m_tabs = new QTabWidget(this);
    m_tabs->setAccessibleName(QStringLiteral("Records and where things stand"));
    m_tabs->addTab(records, QStringLiteral("Records"));
    m_tabs->addTab(m_standing, QStringLiteral("Where things stand"));

    m_jobs = makeList("JobList", QStringLiteral("Jobs"),
                      {QStringLiteral("When"), QStringLiteral("Job"), QStringLiteral("Profile"), QStringLiteral("OK"),
                       QStringLiteral("ERROR")});
    m_jobs->setColumnWidth(0, width("2026-12-31 23:59"));
    m_jobs->setColumnWidth(1, width("Announcement"));
    m_historyNote = new QLabel(this);
    m_historyNote->setObjectName(QStringLiteral("HistoryNote"));
    m_historyNote->setWordWrap(true);
    m_historyNote->setTextFormat(Qt::PlainText);
    m_historyNote->hide();
    auto* jobs = new QWidget(this);
    auto* jobsLayout = new QVBoxLayout(jobs);
    jobsLayout->setContentsMargins(0, 0, 0, 0);
    jobsLayout->addWidget(m_jobs);
    jobsLayout->addWidget(m_historyNote);

    auto* sides = new QSplitter(Qt::Horizontal, this);
    sides->addWidget(jobs);
    sides->addWidget(m_tabs);
    sides->setStretchFactor(0, 0);
    sides->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(sides);
    // The records keep the width they need; the jobs list comes beside them.
    const int recordsWidth = this->width();
    const int jobsWidth = width("2026-12-31 23:59 Announcement profile.tvp 100 100");
    resize(recordsWidth + jobsWidth + 40, height());
    sides->setSizes({jobsWidth, recordsWidth + 24});

    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ResultsWindow::showSelectedDetails);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &ResultsWindow::showSelectedDetails);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ResultsWindow::showSelectedDetails);
    connect(m_jobs, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        const qint64 id = item ? item->data(0, Qt::UserRole).toLongLong() : -1;
        if (id == m_chosen)
            return;
        m_chosen = id;
        emit jobChosen(id);
    });
}

void ResultsWindow::setJobs(const QList<QStringList>& rows, const QList<qint64>& ids) {
    const qint64 chosen = m_chosen;
    QTreeWidgetItem* keep = nullptr;
    {
        const QSignalBlocker quiet(m_jobs);
        m_jobs->clear();
        for (qsizetype i = 0; i < rows.size() && i < ids.size(); ++i) {
            auto* item = new QTreeWidgetItem(m_jobs, rows.at(i));
            item->setData(0, Qt::UserRole, ids.at(i));
            for (const int column : {3, 4})
                item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
            if (ids.at(i) == chosen)
                keep = item;
        }
    }
    // The job shown is gone (forgotten, or beyond the history's bound): the first row instead.
    m_jobs->setCurrentItem(keep ? keep : m_jobs->topLevelItem(0));
    if (!m_jobs->currentItem() && m_chosen != -1) {
        m_chosen = -1;
        emit jobChosen(-1);
    }
}

void ResultsWindow::setHistoryNote(const QString& note) {
    m_historyNote->setText(note);
    m_historyNote->setVisible(!note.isEmpty());
}

void ResultsWindow::setStanding(const QList<QStringList>& rows) {
    m_standing->clear();
    for (const QStringList& row : rows)
        new QTreeWidgetItem(m_standing, row);
}

qint64 ResultsWindow::chosenJob() const {
    return m_chosen;
}

void ResultsWindow::chooseJob(qint64 id) {
    for (int row = 0; row < m_jobs->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_jobs->topLevelItem(row);
        if (item->data(0, Qt::UserRole).toLongLong() == id)
            m_jobs->setCurrentItem(item);
    }
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
