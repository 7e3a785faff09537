#pragma once

#include "submit/core/result_record.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class ResultsModel;
class QSortFilterProxyModel;
class QTableView;
class QTabWidget;
class QTreeWidget;

// The Results window (objectName "ResultsWindow"): a sortable table of the last run's records
// and, below it, the selected record's details (URL sent, page title, reason text). Above the
// table, the run's notices of engines that share what they receive, when it has any. It follows
// the run live: the owner calls recordChanged() whenever a record changes.
//
// Beside them, the list of jobs its owner gives (the last run, then the past jobs of the
// history); choosing one says so with jobChosen(), and the owner then shows that job's records.
// A second tab, "Where things stand", lists rows its owner gives for the site's engines.
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

    // The jobs listed, newest first: each row's texts (When, Job, Profile, OK, ERROR) and its id
    // (-1: the last run, followed live). The job chosen stays chosen when it is still listed;
    // otherwise the first row is.
    void setJobs(const QList<QStringList>& rows, const QList<qint64>& ids);
    // Why no past jobs are listed (no history kept, or it cannot be used); empty hides it.
    void setHistoryNote(const QString& note);
    // The rows of "Where things stand": Engine, Last Submit, Last announcement.
    void setStanding(const QList<QStringList>& rows);
    qint64 chosenJob() const;
    // Chooses the listed job of id (jobChosen() follows when it was not chosen).
    void chooseJob(qint64 id);
    QTreeWidget* jobList() const { return m_jobs; }
    QTreeWidget* standingList() const { return m_standing; }
    QTabWidget* tabs() const { return m_tabs; }

signals:
    // The user (or setJobs) chose another job of the list.
    void jobChosen(qint64 id);

private:
    void showSelectedDetails();
    void showNotices();

    ResultsModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QTableView* m_table = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QLabel* m_notice = nullptr;
    QTreeWidget* m_jobs = nullptr;
    QLabel* m_historyNote = nullptr;
    QTreeWidget* m_standing = nullptr;
    QTabWidget* m_tabs = nullptr;
    qint64 m_chosen = -1;
    const RunResults* m_resultsShown = nullptr;
};
