#pragma once

#include "submit/core/result_record.h"

#include <QAbstractTableModel>

// The records of a run as table rows: Engine, Verdict, Status, Meaning, Time. The display
// role gives the texts; Qt::UserRole gives what a column sorts by (numbers for Status and Time).
class ResultsModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { EngineColumn, VerdictColumn, StatusColumn, MeaningColumn, TimeColumn, ColumnCount };

    explicit ResultsModel(QObject* parent = nullptr);

    // The records shown; results must outlive the model, or be replaced first.
    void setResults(const RunResults* results);
    // The record at index changed; index −1: the records were replaced.
    void recordChanged(int index);
    const ResultRecord* record(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const RunResults* m_results = nullptr;
};
