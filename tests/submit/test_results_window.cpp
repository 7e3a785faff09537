#include "submit/ui/results_model.h"
#include "submit/ui/results_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>

namespace {

ResultRecord record(const QString& title, ResultRecord::Verdict verdict, int status, qint64 ms) {
    ResultRecord r;
    r.title = title;
    r.url = "http://" + title + ".test/add?u=1";
    r.verdict = verdict;
    r.httpStatus = status;
    r.error = status ? QString() : "Connection refused";
    r.meaning = "Meaning " + title;
    r.reason = "Reason of " + title;
    r.milliseconds = ms;
    return r;
}

QStringList column(const QTableView* table, int column) {
    QStringList texts;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        texts.append(table->model()->index(row, column).data().toString());
    return texts;
}

} // namespace

class TestResultsWindow : public QObject {
    Q_OBJECT

private slots:
    void sortsAsNumbersAndShowsDetails() {
        using V = ResultRecord::Verdict;
        RunResults results;
        results.records = {record("alpha", V::Ok, 200, 1200), record("bravo", V::Error, 0, 30),
                           record("charlie", V::Error, 1000 - 1, 900), record("delta", V::Error, 42, 10000)};
        ResultsWindow window;
        window.setResults(&results);
        QTableView* table = window.table();
        QCOMPARE(column(table, ResultsModel::EngineColumn), (QStringList{"alpha", "bravo", "charlie", "delta"}));
        QCOMPARE(column(table, ResultsModel::StatusColumn), (QStringList{"200", "Connection refused", "999", "42"}));

        table->sortByColumn(ResultsModel::StatusColumn, Qt::AscendingOrder);
        QCOMPARE(column(table, ResultsModel::EngineColumn), (QStringList{"delta", "alpha", "charlie", "bravo"}));
        table->sortByColumn(ResultsModel::TimeColumn, Qt::AscendingOrder);
        QCOMPARE(column(table, ResultsModel::EngineColumn), (QStringList{"bravo", "charlie", "alpha", "delta"}));

        // The details follow the selected record, whatever the sort order.
        window.showRecord(2);
        QVERIFY(window.isVisible());
        const QString details = window.details()->toPlainText();
        QVERIFY(details.contains(results.records.at(2).url));
        QVERIFY(details.contains("Reason of charlie"));
        QVERIFY(window.details()->isReadOnly());
        QVERIFY(window.details()->textInteractionFlags() & Qt::TextSelectableByMouse);

        // Live: a changed record shows at once, in the table and the details.
        results.records[2].reason = "Changed reason";
        results.records[2].httpStatus = 503;
        window.recordChanged(2);
        QVERIFY(window.details()->toPlainText().contains("Changed reason"));
        QVERIFY(column(table, ResultsModel::StatusColumn).contains("503"));

        // The key-file check shows in the details.
        results.records[2].keyFile =
            "The key file http://s.test/k.txt was not found: the site answered with status 404.";
        window.recordChanged(2);
        QVERIFY(window.details()->toPlainText().contains("Key file: " + results.records[2].keyFile));

        // The window opens wide enough for its columns whole, a batch's engine among them.
        results.records[0].title = "IndexNow - Naver";
        results.records[0].batchSize = 10000;
        results.records[0].meaning = "The URL was received; the key is still being validated.";
        results.records[1].verdict = V::Skipped;
        window.setResults(&results);
        const QAbstractItemView* view = table;
        for (int c = 0; c < ResultsModel::ColumnCount; ++c)
            QVERIFY2(table->columnWidth(c) >= view->sizeHintForColumn(c), qPrintable(QString::number(c)));
        QVERIFY(table->horizontalHeader()->length() <= table->viewport()->width());

        // A new run replaces the rows; its notices show above them.
        QVERIFY(window.notice()->isHidden());
        results.records = {record("echo", V::Pending, 0, 0)};
        results.sharedNotices = {"These engines share what they receive; one of them is enough: A, B"};
        window.recordChanged(-1);
        QVERIFY(!window.notice()->isHidden());
        QCOMPARE(window.notice()->text(), results.sharedNotices.first());
        QTRY_VERIFY(window.notice()->geometry().bottom() < table->mapTo(&window, QPoint()).y());
        QCOMPARE(column(table, ResultsModel::EngineColumn), QStringList{"echo"});
        QCOMPARE(column(table, ResultsModel::VerdictColumn), QStringList{"PENDING"});
    }
};

QTEST_MAIN(TestResultsWindow)
#include "test_results_window.moc"
