#include "submit/ui/results_model.h"

#include "submit/core/result_text.h"

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
        return resultEngineText(*r);
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
