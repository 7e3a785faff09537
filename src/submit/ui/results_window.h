#pragma once

#include "submit/core/result_record.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class ResultsModel;
class QSortFilterProxyModel;
class QTableView;

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
