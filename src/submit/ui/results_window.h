#pragma once

#include "submit/core/result_record.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QSortFilterProxyModel;
class QTableView;

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

// The Status column's text: the HTTP status, else the network error's text.
QString resultStatusText(const ResultRecord& record);
// A record's status and meaning on one line, as a tooltip shows them.
QString resultSummary(const ResultRecord& record);
// Everything a record holds, as the details pane shows it (selectable, copyable).
QString resultDetails(const ResultRecord& record);

// The Results window (objectName "ResultsWindow"): a sortable table of the last run's records
// and, below it, the selected record's details (URL sent, page title, reason text). Above the
// table, the run's notices of engines that share what they receive, when it has any. It follows
// the run live: the owner calls recordChanged() whenever a record changes.
class ResultsWindow final : public QWidget {
    Q_OBJECT

public:
    explicit ResultsWindow(QWidget* parent = nullptr);

    void setResults(const RunResults* results);
    void recordChanged(int index);
    // Shows the window in front with the record at index selected (−1: no particular record).
    void showRecord(int index);

    QTableView* table() const { return m_table; }
    QPlainTextEdit* details() const { return m_details; }
    QLabel* notice() const { return m_notice; }

private:
    void showSelectedDetails();
    void showNotices();

    ResultsModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QTableView* m_table = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QLabel* m_notice = nullptr;
    const RunResults* m_resultsShown = nullptr;
};

// Asks where to save a run's report: a save dialog in directory offering CSV and JSON files
// (the chosen filter's extension is added to a bare name). Returns the full path, or an empty
// string when the user cancels.
QString askReportFileName(QWidget* parent, const QString& directory);
using ReportFileDialogFunction = std::function<QString(QWidget* parent, const QString& directory)>;
