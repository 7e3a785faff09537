#include "submit/ui/results_window.h"

#include "common/ui/discarded_user_settings.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QString engineText(const ResultRecord& record) {
    if (!record.isBatch())
        return record.title;
    return QStringLiteral("%1 (%2 addresses)").arg(record.title).arg(record.batchSize);
}

} // namespace

QString resultStatusText(const ResultRecord& record) {
    if (record.httpStatus > 0)
        return QString::number(record.httpStatus);
    return record.error;
}

QString resultSummary(const ResultRecord& record) {
    const QString status = record.httpStatus > 0 ? QStringLiteral("HTTP %1").arg(record.httpStatus) : record.error;
    return status.isEmpty() ? record.meaning : status + QStringLiteral(": ") + record.meaning;
}

QString resultDetails(const ResultRecord& record) {
    QStringList lines;
    lines << QStringLiteral("Engine: ") + record.title << QStringLiteral("URL sent: ") + record.url
          << QStringLiteral("Verdict: ") + verdictText(record.verdict);
    if (record.httpStatus > 0)
        lines << QStringLiteral("Status: %1").arg(record.httpStatus);
    if (!record.error.isEmpty())
        lines << QStringLiteral("Error: ") + record.error;
    lines << QStringLiteral("Meaning: ") + record.meaning;
    if (!record.keyFile.isEmpty())
        lines << QStringLiteral("Key file: ") + record.keyFile;
    if (!record.pageTitle.isEmpty())
        lines << QStringLiteral("Page title: ") + record.pageTitle;
    lines << QStringLiteral("Time: %1 ms").arg(record.milliseconds);
    if (record.isBatch()) {
        lines << QStringLiteral("Batch: %1 addresses, from %2 to %3")
                     .arg(record.batchSize)
                     .arg(record.batchFirst, record.batchLast);
    }
    lines << QString() << QStringLiteral("Reason (the page's text):") << record.reason;
    return lines.join(u'\n');
}

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsModel::setResults(const RunResults* results) {
    beginResetModel();
    m_results = results;
    endResetModel();
}

void ResultsModel::recordChanged(int index) {
    if (index < 0 || index >= rowCount()) {
        beginResetModel();
        endResetModel();
        return;
    }
    emit dataChanged(this->index(index, 0), this->index(index, ColumnCount - 1));
}

const ResultRecord* ResultsModel::record(int row) const {
    if (!m_results || row < 0 || row >= m_results->records.size())
        return nullptr;
    return &m_results->records.at(row);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_results ? 0 : static_cast<int>(m_results->records.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    const ResultRecord* r = record(index.row());
    if (!r)
        return {};
    if (role == Qt::ToolTipRole)
        return resultSummary(*r);
    const bool sortValue = role == Qt::UserRole;
    if (role != Qt::DisplayRole && !sortValue)
        return {};
    switch (index.column()) {
    case EngineColumn:
        return engineText(*r);
    case VerdictColumn:
        return verdictText(r->verdict);
    case StatusColumn:
        // Statuses sort as numbers, after them the records without one.
        if (sortValue)
            return r->httpStatus > 0 ? r->httpStatus : 1000;
        return resultStatusText(*r);
    case MeaningColumn:
        return r->meaning;
    case TimeColumn:
        if (sortValue)
            return r->milliseconds;
        return r->verdict == ResultRecord::Verdict::Pending ? QString() : QStringLiteral("%1 ms").arg(r->milliseconds);
    default:
        return {};
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[ColumnCount] = {"Engine", "Verdict", "Status", "Meaning", "Time"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

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

QString askReportFileName(QWidget* parent, const QString& directory) {
    const QString csvFilter = QStringLiteral("CSV Files (*.csv)");
    // Made first, so that it outlives the dialog: the dialog leaves no settings file behind.
    const DiscardedUserSettings noSettings;
    QFileDialog dialog(parent, QStringLiteral("Save Report As"), directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog); // the desktop's dialog keeps lists of its own
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({csvFilter, QStringLiteral("JSON Files (*.json)")});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csvFilter](const QString& filter) {
        dialog.setDefaultSuffix(filter == csvFilter ? QStringLiteral("csv") : QStringLiteral("json"));
    });
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}
